#!/bin/sh
# mount_bench.sh - what a live mount costs, against the work it replaces.
#
#   mount time    VMs of one 1 GiB sparse, one 256 GiB sparse and one 8 GiB
#                 dense (allocated) raw disk, and one with the two sparse
#                 disks, mounted to OpenStack (median of 15 runs each, the
#                 tool's whole run); the one-disk VMs should not differ by
#                 more than 1.2x, each under 1 s
#   written       bytes the mounted VM's folder allocates, per disk
#   boot-check    the example VM mounted against the same VM restored
#                 (median of 15, interleaved)
#   promote       a mounted 1 GiB disk of random data (with 64 MiB the
#                 guest wrote) made whole, against `qemu-img convert` of
#                 the same chain and a sync (median of 3)
#
# Usage: bench/mount_bench.sh [BUILD_DIR]   (default: build)
set -eu

build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
tool=$(cd "$build" && pwd)/tools/zyvmconvert
work=$(mktemp -d "${TMPDIR:-/tmp}/zyvm-mount-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/root
export ZY_PLATFORM_CONFIG=$here/examples/platform-config.json
cp -r "$here/examples/platform" "$root"

now() { date +%s.%N; }
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
zy() { "$tool" --root "$root" --log "$work/log" "$@"; }

# A VMware VM of the platform with the given raw images.
make_vm() {
  vm=$1; shift
  mkdir -p "$root/vmware/$vm"
  disks=""
  slot=0
  for disk in "$@"; do
    name=${disk%%:*}
    disks="$disks${disks:+,}{\"fileName\": \"$name\", \"strControllerType\": \"scsi\", \"nBus\": 0, \"nSlot\": $slot, \"isOSDisk\": $([ $slot = 0 ] && echo true || echo false)}"
    slot=$((slot + 1))
  done
  cat > "$root/vmware/$vm/VMConfig.zyf" <<EOF
{"format": "ZyVMConfig", "version": 1,
 "vm": {"strVMName": "$vm", "strGUID": "bench-$vm", "strBootFirmware": "bios",
        "i64NumCPUs": 1, "i64MemoryMB": 512, "vDisks": [$disks],
        "guestOSInfo": {"OSType": "Linux", "CPUArch": "x64", "GuestOSName": "Debian"}}}
EOF
}

make_vm small "disk0.img"
truncate -s 1G "$root/vmware/small/disk0.img"
make_vm large "disk0.img"
truncate -s 256G "$root/vmware/large/disk0.img"
make_vm dense "disk0.img"
fallocate -l 8G "$root/vmware/dense/disk0.img"
make_vm both "disk0.img" "disk1.img"
truncate -s 1G "$root/vmware/both/disk0.img"
truncate -s 256G "$root/vmware/both/disk1.img"

time_mount() {
  for i in $(seq 15); do
    start=$(now)
    zy mount "vmware/$1" --to openstack --name "m-$1" > /dev/null
    end=$(now)
    echo "$end - $start" | bc
    if [ "$i" = 15 ]; then
      du -sB1 "$root/openstack/m-$1" | cut -f1 > "$work/alloc-$1"
    fi
    zy unmount "openstack/m-$1" > /dev/null
  done | median
}
t_small=$(time_mount small)
t_large=$(time_mount large)
t_dense=$(time_mount dense)
t_both=$(time_mount both)
printf 'mount, 1 GiB sparse:           %.3f s\n' "$t_small"
printf 'mount, 256 GiB sparse:         %.3f s\n' "$t_large"
printf 'mount, 8 GiB dense:            %.3f s\n' "$t_dense"
printf 'mount, 1 GiB + 256 GiB sparse: %.3f s (two disks)\n' "$t_both"
printf 'ratio largest/smallest:        %.2f\n' "$(printf '%s\n' "$t_small" "$t_large" "$t_dense" | sort -n | awk 'NR==1{l=$1} {m=$1} END {print m/l}')"
printf 'written by mount, per disk:    %d KiB (1 GiB), %d KiB (256 GiB), %d KiB (8 GiB dense), %d KiB (two disks, each)\n' \
  $(($(cat "$work/alloc-small") / 1024)) $(($(cat "$work/alloc-large") / 1024)) \
  $(($(cat "$work/alloc-dense") / 1024)) $(($(cat "$work/alloc-both") / 2 / 1024))

# boot-check: mounted against restored.
zy mount vmware/web01 --to openstack --name live > /dev/null
sed '0,/"strVMName": "web01"/s//"strVMName": "restored"/' \
  "$here/examples/requests/web01-restore.json" > "$work/request.json"
zy restore "$work/request.json" --from vmware --to openstack > /dev/null
# Interleaved, so that the machine's other load falls on both alike.
for i in $(seq 15); do
  for vm in live restored; do
    start=$(now)
    zy boot-check "$root/openstack/$vm" > /dev/null
    end=$(now)
    echo "$end - $start" | bc >> "$work/boot-$vm"
  done
done
b_mounted=$(median < "$work/boot-live")
b_restored=$(median < "$work/boot-restored")
printf 'boot-check mounted / restored: %.3f s / %.3f s = %.2f\n' \
  "$b_mounted" "$b_restored" "$(echo "$b_mounted / $b_restored" | bc -l)"

# promote against qemu-img convert of the same chain.
make_vm data "disk0.img"
head -c 1G /dev/urandom > "$root/vmware/data/disk0.img"
promote_once() {
  zy mount vmware/data --to openstack --name p > /dev/null
  overlay=$root/openstack/p/disk0
  qemu-io -f qcow2 -c 'write -P 0x5a 256M 64M' "$overlay" > /dev/null
  cat "$root/vmware/data/disk0.img" > /dev/null
  start=$(now)
  qemu-img convert -f qcow2 -O qcow2 "$overlay" "$work/reference.qcow2"
  sync "$work/reference.qcow2"
  end=$(now)
  reference=$(echo "$end - $start" | bc)
  rm -f "$work/reference.qcow2"
  start=$(now)
  zy promote openstack/p > /dev/null
  end=$(now)
  echo "$reference $(echo "$end - $start" | bc)"
  rm -rf "$root/openstack/p"
}
for i in 1 2 3; do promote_once; done > "$work/promote"
p_ref=$(cut -d' ' -f1 "$work/promote" | median)
p_tool=$(cut -d' ' -f2 "$work/promote" | median)
printf 'promote / qemu-img convert:    %.3f s / %.3f s = %.2f\n' \
  "$p_tool" "$p_ref" "$(echo "$p_tool / $p_ref" | bc -l)"
