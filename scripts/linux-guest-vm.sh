#!/usr/bin/env bash
# linux-guest-vm.sh - a folder platform whose VMware VM web01 runs the Linux
# test guest, for the boot check's OS check.
#
# Usage: scripts/linux-guest-vm.sh EXAMPLES_DIR GUEST_DIR ROOT bios|efi CONTROLLER
#
# Copies EXAMPLES_DIR/platform to ROOT (which must not exist) and replaces
# web01's three disks: web01.vmdk becomes the guest's OS disk (GUEST_DIR,
# made by tests/boot/make-linux-guest.sh: bios.img, or uefi.img for efi),
# web01_1.vmdk and web01_2.vmdk data disks of the sizes its VMConfig.zyf
# gives, marked "data1" and "data2" at sector 2047 (the guest reports each
# disk's marker).  The .vmx and VMConfig.zyf get the firmware and the SCSI
# controller model (pvscsi, lsilogic, lsisas1068 ...).  Needs qemu-img.
set -euo pipefail

[ $# -eq 5 ] || { echo "usage: $0 EXAMPLES_DIR GUEST_DIR ROOT bios|efi CONTROLLER" >&2; exit 2; }
examples=$1 guest=$2 root=$3 firmware=$4 controller=$5
[ ! -e "$root" ] || { echo "$0: $root exists" >&2; exit 1; }
os=bios
[ "$firmware" = efi ] && os=uefi

cp -r "$examples/platform" "$root"
vm="$root/vmware/web01"

# vmdk_disk FILE MIB ID: a sparse VMDK with the marker ID at sector 2047.
vmdk_disk() {
  local raw="$vm/.$3.raw"
  truncate -s "$2M" "$raw"
  printf 'ZYVMDISK %s\n' "$3" | dd of="$raw" bs=512 seek=2047 conv=notrunc status=none
  qemu-img convert -q -f raw -O vmdk -o subformat=monolithicSparse "$raw" "$1"
  rm -f "$raw"
}
qemu-img convert -q -f raw -O vmdk -o subformat=monolithicSparse "$guest/$os.img" "$vm/web01.vmdk"
vmdk_disk "$vm/web01_1.vmdk" 2 data1
vmdk_disk "$vm/web01_2.vmdk" 1 data2
os_bytes=$(stat -c %s "$guest/$os.img")
sed -i -e "s/lsisas1068/$controller/" -e "s/^firmware = .*/firmware = \"$firmware\"/" "$vm/web01.vmx"
sed -i -e "s/lsisas1068/$controller/" \
       -e "s/\"strBootFirmware\": \"bios\"/\"strBootFirmware\": \"$firmware\"/" \
       -e "s/\"i64MaxSizeInBytes\": 4194304/\"i64MaxSizeInBytes\": $os_bytes/" "$vm/VMConfig.zyf"
