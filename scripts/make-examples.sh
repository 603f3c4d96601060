#!/usr/bin/env bash
# Rebuilds the example disk images from nothing: the VMware VM web01's three
# sparse VMDK disks and the physical machine fileserver's two raw disks.
# Each OS disk (web01.vmdk, disk0) boots the boot checks' test guest
# (tests/boot/BootGuest.asm, assembled here with nasm): its first sector is
# the guest, whose table at 0x180 names four sectors - LBA 1, 2047, the
# middle one and the last - and each of those sectors holds its marker
# ("ZYVMMARK" and its own LBA, 64 bits little-endian) followed by text.
# The data disks hold text in their first, middle and last sectors and no
# boot signature.  The images come out the same on every run.
# Needs nasm and qemu-img.  Usage: scripts/make-examples.sh
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
nasm -f bin -o "$work/guest.bin" tests/boot/BootGuest.asm

# le64 N: N as eight little-endian bytes.
le64() {
  local n=$1 i
  for i in 0 1 2 3 4 5 6 7; do
    # shellcheck disable=SC2059  # the format is the byte's escape
    printf "\\x$(printf %02x $(((n >> (8 * i)) & 255)))"
  done
}

# text_sector TEXT [LENGTH]: TEXT padded with dots to LENGTH bytes (512).
text_sector() {
  local text=$1 length=${2:-512}
  printf '%s' "$text"
  printf '%*s' $((length - ${#text})) '' | tr ' ' .
}

# put FILE LBA: the sector on standard input written at LBA.
put() {
  dd of="$1" bs=512 seek="$2" count=1 iflag=fullblock conv=notrunc status=none
}

# guest_disk FILE SIZE NAME: the test guest and its four marked sectors.
guest_disk() {
  local file=$1 size=$2 name=$3 lba
  local lbas=(1 2047 $((size / 1024)) $((size / 512 - 1)))
  truncate -s "$size" "$file"
  {
    head -c $((0x180)) "$work/guest.bin"
    for lba in "${lbas[@]}"; do le64 "$lba"; done
    tail -c +$((0x180 + 32 + 1)) "$work/guest.bin"
  } | put "$file" 0
  for lba in "${lbas[@]}"; do
    { printf ZYVMMARK; le64 "$lba"; text_sector "$name: sector $lba" 496; } | put "$file" "$lba"
  done
}

# data_disk FILE SIZE NAME: text in the first, middle and last sectors.
data_disk() {
  local file=$1 size=$2 name=$3
  truncate -s "$size" "$file"
  text_sector "$name: first sector" | put "$file" 0
  text_sector "$name: middle" | put "$file" $((size / 1024))
  text_sector "$name: last sector" | put "$file" $((size / 512 - 1))
}

# vmdk RAW FILE: RAW as a sparse VMDK with a fixed content ID.
vmdk() {
  qemu-img convert -f raw -O vmdk \
    -o subformat=monolithicSparse,adapter_type=lsilogic "$1" "$work/out.vmdk"
  LC_ALL=C sed -i 's/^CID=[0-9a-f]\{8\}$/CID=d1241eaf/' "$work/out.vmdk"
  mv "$work/out.vmdk" "$2"
}

web01=examples/platform/vmware/web01
guest_disk "$work/web01" $((4 << 20)) "web01 disk 0"
data_disk "$work/web01_1" $((2 << 20)) "web01 disk 1"
data_disk "$work/web01_2" $((1 << 20)) "web01 disk 2"
for disk in web01 web01_1 web01_2; do vmdk "$work/$disk" "$web01/$disk.vmdk"; done

rm -f examples/physical/disk0 examples/physical/disk1
guest_disk examples/physical/disk0 $((3 << 20)) "fileserver C"
data_disk examples/physical/disk1 $((2 << 20)) "fileserver D"
