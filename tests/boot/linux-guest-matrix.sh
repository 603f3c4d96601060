#!/usr/bin/env bash
# linux-guest-matrix.sh - the OS check of restored VMs on every destination.
#
# Usage: tests/boot/linux-guest-matrix.sh TOOL EXAMPLES_DIR GUEST_DIR
#
# Makes three sources with three disks each - the Linux test guest's OS disk
# (GUEST_DIR, from make-linux-guest.sh) and two data disks marked "data1"
# and "data2" at sector 2047: the VMware VM web01 on PVSCSI with BIOS and
# with EFI firmware, and the physical machine fileserver (IDE OS disk, SCSI
# data disks) - plus web01 on its own LSI SAS 1068 to VMware.  Each is
# restored by TOOL to every destination family, and "TOOL boot-check" runs
# on each result, two at a time (qemu's images stay unwritten: the check
# boots over overlays).  Prints the matrix (source, destination, firmware,
# controllers, firmware boot, OS boot, disks seen, seconds, what started
# the VM: libvirt for the libvirt domains, else qemu) and fails for
# every cell whose outcome is not the one its row expects.
# Exits 77 (skipped) without a guest or qemu.
set -uo pipefail

[ $# -eq 3 ] || { echo "usage: $0 TOOL EXAMPLES_DIR GUEST_DIR" >&2; exit 2; }
tool=$1 examples=$2 guest=$3
if [ ! -f "$guest/guest.stamp" ]; then
  echo "SKIP: no test guest in $guest (its packages could not be fetched)"
  exit 77
fi
command -v qemu-system-x86_64 >/dev/null || { echo "SKIP: no qemu-system-x86_64"; exit 77; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

destinations=(vmware hyperv amazon azure openstack rhev nutanix oraclevm 1101 1301 1401)

# What a cell must end as when it does not pass: "source destination" ->
# boot-check's exit status and words of its output.  A cell not listed
# must pass (exit 0, all three disks seen).
declare -A expected=(
  # A VMware destination keeps a VMware source's SCSI model (PVSCSI here)
  # and puts the others' SCSI disks on LSI SAS 1068, which Linux 6.1's
  # mptsas never brings up on qemu; SeaBIOS and OVMF boot from it.
  ["vmware-lsisas vmware"]="3 OS check not possible on qemu: lsisas1068"
  ["physical vmware"]="3 OS check not possible on qemu: lsisas1068"
  # Hyper-V's and Azure's data disks are on Hyper-V's synthetic SCSI, which
  # qemu has no model of: only the OS disk (IDE 0:0) is attached and seen;
  # Generation 2 (EFI) puts the OS disk there too.
  ["vmware-bios hyperv"]="0 OS check: 1 disk seen"
  ["vmware-bios azure"]="0 OS check: 1 disk seen"
  ["physical hyperv"]="0 OS check: 1 disk seen"
  ["physical azure"]="0 OS check: 1 disk seen"
  ["vmware-efi hyperv"]="3 \"hyper-v scsi\""
  ["vmware-efi azure"]="3 \"hyper-v scsi\""
)

# marked_disk FILE MIB ID: a sparse raw disk with its marker at sector 2047.
marked_disk() {
  truncate -s "$2M" "$1"
  printf 'ZYVMDISK %s\n' "$3" | dd of="$1" bs=512 seek=2047 conv=notrunc status=none
}

here=$(cd "$(dirname "$0")" && pwd)
for source in vmware-bios:bios:pvscsi vmware-efi:efi:pvscsi vmware-lsisas:bios:lsisas1068; do
  IFS=: read -r name firmware controller <<<"$source"
  bash "$here/../../scripts/linux-guest-vm.sh" "$examples" "$guest" "$tmp/$name" \
    "$firmware" "$controller" || exit 1
done

# The physical machine: disk0 (IDE 0:0) the OS, disk1 and disk2 on SCSI.
mkdir -p "$tmp/physical" "$tmp/physical-root"
cp -r "$examples/platform/." "$tmp/physical-root/"
cp "$guest/bios.img" "$tmp/physical/disk0"
marked_disk "$tmp/physical/disk1" 2 data1
marked_disk "$tmp/physical/disk2" 1 data2
disk2='<DiskInfo><isScsi>1</isScsi><bus>0</bus><slot>1</slot><deviceType>1</deviceType><sizeMB>1</sizeMB><keepFlag>0</keepFlag><name>disk2</name><selected>1</selected><provisioning>1</provisioning></DiskInfo>'
sed -e "s|</scsiDisks>|$disk2</scsiDisks>|" -e 's|<scsiCount>1</scsiCount>|<scsiCount>2</scsiCount>|' \
  "$examples/physical/fileserver-request.xml" >"$tmp/physical/request.xml"

request="$examples/requests/web01-restore.json"
sed 's/"strVMName": "web01"/"strVMName": "web01-copy"/' "$request" >"$tmp/copy.json"

# restore SOURCE DESTINATION -> the restored VM's folder on stdout.
restore() {
  local source=$1 to=$2 root="$tmp/$1" log="$tmp/$1-$2"
  local run=("$tool" --root "$root" --platform-config "$examples/platform-config.json" --log "$log.log")
  if [ "$source" = physical ]; then
    root="$tmp/physical-root"
    run=("$tool" --root "$root" --platform-config "$examples/platform-config.json" --log "$log.log")
    "${run[@]}" p2v "$tmp/physical/request.xml" --to "$to" --save-request "$log.p2v.json" >/dev/null 2>"$log.err" &&
      "${run[@]}" restore "$log.p2v.json" --from physical --source "$tmp/physical" --to "$to" --json >"$log.json" 2>>"$log.err"
  else
    local req=$request; [ "$to" = vmware ] && req="$tmp/copy.json"
    "${run[@]}" restore "$req" --from vmware --to "$to" --json >"$log.json" 2>"$log.err"
  fi || return 1
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["folder"])' "$log.json"
}

cells=()
for source in vmware-bios vmware-efi physical; do
  for to in "${destinations[@]}"; do cells+=("$source $to"); done
done
cells+=("vmware-lsisas vmware")

# Restores one after another (they are quick), boot checks two at a time.
declare -A folder
for cell in "${cells[@]}"; do
  read -r source to <<<"$cell"
  if ! folder[$cell]=$(restore "$source" "$to"); then
    folder[$cell]=""
    echo "restore of $source to $to failed: $(tail -n 1 "$tmp/$source-$to.err")" >"$tmp/$source-$to.boot"
  fi
done
check() {  # cell -> $tmp/<cell>.boot (boot-check --json), .rc
  local source=$1 to=$2 f=${folder["$1 $2"]}
  [ -n "$f" ] || { echo 1 >"$tmp/$source-$to.rc"; return; }
  "$tool" --json boot-check "$f" >"$tmp/$source-$to.boot" 2>&1
  echo $? >"$tmp/$source-$to.rc"
}
running=0
for cell in "${cells[@]}"; do
  if [ "$running" -ge 2 ]; then wait -n; running=$((running - 1)); fi
  # shellcheck disable=SC2086  # the cell is two words
  check $cell &
  running=$((running + 1))
done
wait

# The matrix, and each cell against its expectation.
failed=0
for cell in "${cells[@]}"; do
  read -r source to <<<"$cell"
  rc=$(cat "$tmp/$source-$to.rc")
  out="$tmp/$source-$to.boot"
  row=$(python3 - "$out" "$source" "$to" <<'EOF'
import json, sys
path, source, to = sys.argv[1:]
try:
    r = json.load(open(path))
except Exception:
    print(f"| {source} | {to} | - | - | error | - | - | - |")
    sys.exit()
ctrl = sorted({d.split(" on ")[1].rsplit(" ", 1)[0].split(" ")[0] for d in r["disks"]})
os = r["osCheck"] or "not run"
fw = r["result"] + (": " + r["detail"] if r["detail"] else "")
print(f"| {source} | {to} | {r['firmware']} | {','.join(ctrl)} | {fw} | {os} | "
      f"{len(r['seen'])} | {r['seconds']:.1f} | {r['startedBy']} |")
EOF
)
  want=${expected[$cell]:-0 OS check: 3 disks seen}
  if [ "$rc" = "${want%% *}" ] && grep -qF "${want#* }" "$out"; then
    echo "$row"
  else
    echo "$row FAIL (exit $rc, expected: $want)"
    sed 's/^/    /' "$out"
    failed=$((failed + 1))
  fi
done
echo "${#cells[@]} cells, $failed not as expected"
[ "$failed" -eq 0 ]
