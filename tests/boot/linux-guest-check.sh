#!/usr/bin/env bash
# linux-guest-check.sh - boots the Linux test guest on each disk controller.
#
# Usage: tests/boot/linux-guest-check.sh GUEST_DIR
#
# GUEST_DIR is what make-linux-guest.sh made.  Each row below boots the
# guest's OS disk with two marked data disks on one controller, in qemu
# (TCG, -snapshot, two guests at a time), and the guest must report all
# three disks with their markers, sizes, the controller's driver and the
# addresses the row expects.  Exits 77 (skipped) when there is no guest (the
# packages could not be fetched) or no qemu.
set -uo pipefail

[ $# -eq 1 ] || { echo "usage: $0 GUEST_DIR" >&2; exit 2; }
guest=$1
if [ ! -f "$guest/guest.stamp" ]; then
  echo "SKIP: no test guest in $guest (its packages could not be fetched)"
  exit 77
fi
command -v qemu-system-x86_64 >/dev/null || { echo "SKIP: no qemu-system-x86_64"; exit 77; }
ovmf_code=/usr/share/OVMF/OVMF_CODE_4M.fd
ovmf_vars=/usr/share/OVMF/OVMF_VARS_4M.fd
boot_timeout=${ZY_GUEST_BOOT_TIMEOUT:-240}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The data disks: 48 and 80 MiB, each with its marker at sector 2047.
declare -A disk_file=([data1]="$tmp/data1.img" [data2]="$tmp/data2.img")
declare -A disk_sectors=([data1]=98304 [data2]=163840 [os-bios]=65536 [os-uefi]=65536)
for id in data1 data2; do
  truncate -s $((disk_sectors[$id] * 512)) "${disk_file[$id]}"
  printf 'ZYVMDISK %s\n' "$id" |
    dd of="${disk_file[$id]}" bs=512 seek=2047 conv=notrunc status=none
done

# name|firmware|driver|qemu devices, {0} the OS disk, {1} {2} the data
# disks|what the OS disk's, data1's and data2's lines hold besides the
# driver and marker (key=glob words, ";" between the disks)
rows=(
  "ide|bios|ata_piix|-drive file={0},format=raw,if=ide,index=0 -drive file={1},format=raw,if=ide,index=1 -drive file={2},format=raw,if=ide,index=2|port=ata1 scsi=*:0:0:0;port=ata1 scsi=*:0:1:0;port=ata2 scsi=*:0:0:0"
  "ahci|bios|ahci|-device ahci,id=sata -drive if=none,id=d0,file={0},format=raw -device ide-hd,drive=d0,bus=sata.0,bootindex=0 -drive if=none,id=d1,file={1},format=raw -device ide-hd,drive=d1,bus=sata.1 -drive if=none,id=d2,file={2},format=raw -device ide-hd,drive=d2,bus=sata.2|port=ata* scsi=*:0:0:0;port=ata* scsi=*:0:0:0;port=ata* scsi=*:0:0:0"
  "virtio-scsi|bios|virtio_scsi|-device virtio-scsi-pci,id=scsi -drive if=none,id=d0,file={0},format=raw -device scsi-hd,drive=d0,bus=scsi.0,scsi-id=0,bootindex=0 -drive if=none,id=d1,file={1},format=raw -device scsi-hd,drive=d1,bus=scsi.0,scsi-id=1 -drive if=none,id=d2,file={2},format=raw -device scsi-hd,drive=d2,bus=scsi.0,scsi-id=2|scsi=*:0:0:0;scsi=*:0:1:0;scsi=*:0:2:0"
  "nvme|bios|nvme|-device nvme,id=nvme0,serial=zyvm0 -drive if=none,id=d0,file={0},format=raw -device nvme-ns,drive=d0,bus=nvme0,nsid=1,bootindex=0 -drive if=none,id=d1,file={1},format=raw -device nvme-ns,drive=d1,bus=nvme0,nsid=2 -drive if=none,id=d2,file={2},format=raw -device nvme-ns,drive=d2,bus=nvme0,nsid=3|nsid=1;nsid=2;nsid=3"
  "pvscsi|bios|vmw_pvscsi|-device pvscsi,id=pvscsi -drive if=none,id=d0,file={0},format=raw -device scsi-hd,drive=d0,bus=pvscsi.0,scsi-id=0,bootindex=0 -drive if=none,id=d1,file={1},format=raw -device scsi-hd,drive=d1,bus=pvscsi.0,scsi-id=1 -drive if=none,id=d2,file={2},format=raw -device scsi-hd,drive=d2,bus=pvscsi.0,scsi-id=2|scsi=*:0:0:0;scsi=*:0:1:0;scsi=*:0:2:0"
  "virtio-blk|uefi|virtio_blk|-drive if=none,id=d0,file={0},format=raw -device virtio-blk-pci,drive=d0,bootindex=0 -drive if=none,id=d1,file={1},format=raw -device virtio-blk-pci,drive=d1 -drive if=none,id=d2,file={2},format=raw -device virtio-blk-pci,drive=d2|pci=0000:*;pci=0000:*;pci=0000:*"
)

field() { echo "$1" | cut -d'|' -f"$2"; }

boot() {  # row -> $tmp/<name>.log, $tmp/<name>.time
  local row=$1 name firmware devices os args
  name=$(field "$row" 1)
  firmware=$(field "$row" 2)
  devices=$(field "$row" 4)
  os="$guest/$firmware.img"
  devices=${devices//\{0\}/$os}
  devices=${devices//\{1\}/${disk_file[data1]}}
  devices=${devices//\{2\}/${disk_file[data2]}}
  args=(-machine pc -accel tcg -m 256 -nodefaults -display none -no-reboot
        -snapshot -serial "file:$tmp/$name.log")
  if [ "$firmware" = uefi ]; then
    cp "$ovmf_vars" "$tmp/$name.vars"
    args=(-machine q35 "${args[@]:2}"
          -drive "if=pflash,format=raw,readonly=on,file=$ovmf_code"
          -drive "if=pflash,format=raw,file=$tmp/$name.vars")
  fi
  local start=$SECONDS
  # shellcheck disable=SC2086  # the row's devices are words
  timeout --kill-after=10 "$boot_timeout" qemu-system-x86_64 "${args[@]}" $devices \
    >"$tmp/$name.qemu" 2>&1
  echo "$? $((SECONDS - start))" >"$tmp/$name.time"
}

# Does the guest's line for the disk marked id hold every key=glob word?
disk_matches() {
  local line=$1 want word key
  shift
  for want in "$@"; do
    key=${want%%=*}
    for word in $line; do
      # shellcheck disable=SC2053  # the expected value is a glob
      [[ $word == "$key="* ]] && [[ ${word#*=} == ${want#*=} ]] && continue 2
    done
    return 1
  done
}

check() {  # row -> prints the failures, returns 1 on any
  local row=$1 name firmware driver log ids expects i id line count
  name=$(field "$row" 1)
  firmware=$(field "$row" 2)
  driver=$(field "$row" 3)
  IFS=';' read -r -a expects <<<"$(field "$row" 5)"
  log="$tmp/$name.log"
  ids=("os-$firmware" data1 data2)
  local bad=0
  if ! grep -aq "^ZYVM BOOT .*firmware=$firmware" "$log"; then
    echo "  no 'ZYVM BOOT ... firmware=$firmware' line"; bad=1
  fi
  for i in 0 1 2; do
    id=${ids[$i]}
    line=$(tr -d '\r' <"$log" | grep -a "^ZYVM DISK .* marker=$id\$")
    count=$(printf '%s' "$line" | grep -c .)
    if [ "$count" -ne 1 ]; then
      echo "  $count lines for the disk marked $id"; bad=1; continue
    fi
    # shellcheck disable=SC2086  # the expectations are words
    if ! disk_matches "$line" "driver=$driver" "sectors=${disk_sectors[$id]}" ${expects[$i]}; then
      echo "  $id: '$line' lacks driver=$driver sectors=${disk_sectors[$id]} ${expects[$i]}"; bad=1
    fi
  done
  if ! tr -d '\r' <"$log" | grep -aqx "ZYVM DONE disks=3"; then
    echo "  no 'ZYVM DONE disks=3' line"; bad=1
  fi
  return $bad
}

# Two guests at a time.
running=0
for row in "${rows[@]}"; do
  if [ "$running" -ge 2 ]; then
    wait -n
    running=$((running - 1))
  fi
  boot "$row" &
  running=$((running + 1))
done
wait

failed=0 passed=0
for row in "${rows[@]}"; do
  name=$(field "$row" 1)
  read -r rc secs <"$tmp/$name.time"
  if problems=$(check "$row"); then
    echo "PASS $name ($(field "$row" 2), ${secs}s)"
    tr -d '\r' <"$tmp/$name.log" | grep -a '^ZYVM DISK' | sed 's/^/  /'
    passed=$((passed + 1))
  else
    echo "FAIL $name ($(field "$row" 2), ${secs}s, qemu exit $rc)"
    echo "$problems"
    echo "  --- the guest's console:"
    tr -d '\r' <"$tmp/$name.log" | tail -n 40 | sed 's/^/  | /'
    sed 's/^/  qemu: /' "$tmp/$name.qemu"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
