#!/usr/bin/env bash
# make-linux-guest.sh - makes the Linux test guest from Debian packages.
#
# Usage: tests/boot/make-linux-guest.sh BUILD_DIR
#
# Writes into BUILD_DIR:
#   bios.img     MBR disk: syslinux's MBR, one active FAT partition at 1 MiB
#                holding syslinux, the kernel and the initramfs
#   uefi.img     GPT disk: one EFI system partition at 1 MiB holding
#                systemd-boot as the removable-media loader, the kernel and
#                the initramfs
#   vmlinuz, initrd.img   the same kernel and initramfs, for -kernel boots
#   guest.stamp  the package versions and inputs the guest was made from
# Both disks are 32 MiB and carry the marker "ZYVMDISK os-bios" or
# "ZYVMDISK os-uefi" at sector 2047; linux-guest-init says what the guest
# reports.  The kernel command line is "console=ttyS0 quiet panic=-1
# no_timer_check".
#
# The packages are fetched with apt-get download into BUILD_DIR/debs (or
# $ZY_GUEST_DEB_CACHE) and unpacked with dpkg-deb; nothing is installed and
# nothing needs root: the disks are files, partitioned by sfdisk, formatted
# by mkfs.fat and filled by mtools.  A second run with the same package
# versions and inputs does nothing.  Exits 77 when the packages cannot be
# had (no apt lists, no network) and no guest was made before.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
out=$(mkdir -p "$1" && cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
debs=${ZY_GUEST_DEB_CACHE:-$out/debs}
mkdir -p "$debs"

# The storage drivers the guest loads, in this order; their dependencies
# come from the kernel's modules.dep.  sym53c8xx drives qemu's LSI 53C895A,
# which stands in for VMware's LSI Logic.
drivers=(scsi_mod sd_mod sr_mod ata_piix ahci virtio_pci virtio_blk
         virtio_scsi nvme vmw_pvscsi sym53c8xx mptsas mptspi)
# no_timer_check: under emulation on a loaded machine the kernel's check
# of the IO-APIC timer can time out and panic ("IO-APIC + timer doesn't
# work!").
cmdline="console=ttyS0 quiet panic=-1 no_timer_check"
disk_mib=32

exec 9>"$out/.lock"
flock 9

unavailable() {
  if [ -f "$out/guest.stamp" ]; then
    echo "make-linux-guest: $*; keeping the guest made before" >&2
    exit 0
  fi
  echo "make-linux-guest: $*" >&2
  exit 77
}

# The candidate versions, one apt-cache call for all (it is slow to start).
# A machine whose apt has no lists yet gets them when we are root.
declare -A version
read_versions() {
  local p v
  while read -r p v; do
    version[$p]=$v
  done < <(apt-cache policy linux-image-amd64 busybox-static syslinux \
             syslinux-common systemd-boot-efi 2>/dev/null |
           awk '/^[^ ]/ { sub(":$", "", $1); p = $1 } /Candidate:/ { print p, $2 }')
}
read_versions
case ${version[linux-image-amd64]:-} in
  ''|'(none)') [ "$(id -u)" -ne 0 ] || { apt-get update -qq >&2 || true; read_versions; } ;;
esac

# The kernel is the one Debian's linux-image-amd64 points at today, of the
# same version.
meta_version=${version[linux-image-amd64]:-}
case $meta_version in ''|'(none)') unavailable "apt knows no linux-image-amd64 (run apt-get update)" ;; esac
read -r kernel_pkg kernel_version < <(apt-cache show "linux-image-amd64=$meta_version" |
  sed -n 's/^Depends: \(linux-image-[^ ,]*\) (= \([^)]*\)).*/\1 \2/p' | head -n 1) ||
  unavailable "no kernel package behind linux-image-amd64 $meta_version"
version[$kernel_pkg]=$kernel_version

packages=("$kernel_pkg" busybox-static syslinux syslinux-common systemd-boot-efi)
stamp=""
for p in "${packages[@]}"; do
  case ${version[$p]:-} in ''|'(none)') unavailable "apt knows no $p" ;; esac
  stamp+="$p=${version[$p]}"$'\n'
done
stamp+="inputs=$(cat "$0" "$here/linux-guest-init" | sha256sum | cut -d' ' -f1)"$'\n'

if [ -f "$out/guest.stamp" ] && [ "$(cat "$out/guest.stamp")" = "${stamp%$'\n'}" ] &&
   [ -f "$out/bios.img" ] && [ -f "$out/uefi.img" ]; then
  exit 0
fi

# One folder per package and version, so a new version is fetched once and
# an old one is dropped.  apt drops root to its own user to download, who
# may not write here.
sandbox=()
[ "$(id -u)" -ne 0 ] || sandbox=(-o APT::Sandbox::User=root)
deb_of() {
  local p=$1 v=${version[$1]} dir
  dir="$debs/$p"
  if [ ! -f "$dir/version" ] || [ "$(cat "$dir/version")" != "$v" ] ||
     ! ls "$dir"/*.deb >/dev/null 2>&1; then
    rm -rf "$dir" && mkdir -p "$dir"
    (cd "$dir" && apt-get download -q=2 "${sandbox[@]}" "$p=$v") >&2 || return 1
    echo "$v" >"$dir/version"
  fi
  ls "$dir"/*.deb
}
declare -A deb
for p in "${packages[@]}"; do
  deb[$p]=$(deb_of "$p") || unavailable "apt-get download $p=${version[$p]} failed"
done

work="$out/work"
rm -rf "$work"
mkdir -p "$work/root" "$work/pkg"
trap 'rm -rf "$work"' EXIT

echo "make-linux-guest: unpacking ${packages[*]}" >&2
for p in busybox-static syslinux syslinux-common systemd-boot-efi; do
  dpkg-deb -x "${deb[$p]}" "$work/pkg"
done
dpkg-deb --fsys-tarfile "${deb[$kernel_pkg]}" |
  tar -x -C "$work/pkg" './boot/' './lib/modules/'
busybox="$work/pkg/bin/busybox"
kversion=$(ls "$work/pkg/lib/modules")
"$busybox" depmod -b "$work/pkg" "$kversion"

# The initramfs: busybox, the drivers with what they need (dependencies
# before their users, each once) and the init.
root="$work/root"
mkdir -p "$root"/{bin,dev,etc,proc,sys,lib/modules}
cp "$busybox" "$root/bin/busybox"
for applet in $("$busybox" --list); do
  [ "$applet" = busybox ] || ln -s busybox "$root/bin/$applet"
done
install -m 0755 "$here/linux-guest-init" "$root/init"

moddir="$work/pkg/lib/modules/$kversion"
declare -A loaded
load_order=()
add_module() {  # path relative to $moddir
  local rel=$1 dep
  [ -n "${loaded[$rel]:-}" ] && return 0
  loaded[$rel]=1
  # shellcheck disable=SC2013  # modules.dep lists paths, one word each
  for dep in $(sed -n "s|^$rel: *||p" "$moddir/modules.dep"); do
    add_module "$dep"
  done
  load_order+=("$rel")
}
for d in "${drivers[@]}"; do
  rel=$(grep -E "^([^:]*/)?$d\\.ko:" "$moddir/modules.dep" | cut -d: -f1)
  [ -n "$rel" ] || { echo "make-linux-guest: no module $d in $kernel_pkg" >&2; exit 1; }
  add_module "$rel"
done
for rel in "${load_order[@]}"; do
  name=$(basename "$rel" .ko)
  cp "$moddir/$rel" "$root/lib/modules/$name.ko"
  echo "$name" >>"$root/etc/modules.load"
done

(cd "$root" && find . | LC_ALL=C sort | "$busybox" cpio -o -H newc -R 0:0 2>/dev/null) |
  gzip -9 -n >"$work/initrd.img"
cp "$work/pkg/boot/vmlinuz-$kversion" "$work/vmlinuz"

# A FAT file system of the partition's size, offset 1 MiB, filled with the
# files in "name=source" pairs.
make_fat() {
  local image=$1; shift
  local sectors=$(( (disk_mib - 2) * 2048 ))
  rm -f "$image"
  mkfs.fat -C -F 16 -h 2048 -i 5a594d56 -n ZYVMGUEST "$image" $((sectors / 2)) >/dev/null
  local pair
  for pair in "$@"; do
    local name=${pair%%=*} dir="" part
    for part in $(dirname "$name" | tr / ' '); do
      dir+="/$part"
      mdir -i "$image" "::$dir" >/dev/null 2>&1 || mmd -i "$image" "::$dir"
    done
    mcopy -o -i "$image" "${pair#*=}" "::$name"
  done
}

# A disk of disk_mib MiB with the partition image at 1 MiB, sfdisk's script
# as its table, and the OS disk's marker.
make_disk() {
  local image=$1 table=$2 part=$3 marker=$4
  rm -f "$image"
  truncate -s "${disk_mib}M" "$image"
  sfdisk -q "$image" <<<"$table"
  dd if="$part" of="$image" bs=1M seek=1 conv=notrunc,sparse status=none
  printf 'ZYVMDISK %s\n' "$marker" |
    dd of="$image" bs=512 seek=2047 conv=notrunc status=none
}

kernel_files=("/vmlinuz=$work/vmlinuz" "/initrd.img=$work/initrd.img")

printf 'DEFAULT linux\nPROMPT 0\nTIMEOUT 0\nLABEL linux\n  KERNEL /vmlinuz\n  INITRD /initrd.img\n  APPEND %s\n' \
  "$cmdline" >"$work/syslinux.cfg"
make_fat "$work/bios.fat" "${kernel_files[@]}" "/syslinux.cfg=$work/syslinux.cfg"
"$work/pkg/usr/bin/syslinux" --install "$work/bios.fat"
make_disk "$work/bios.img" $'label: dos\nstart=2048, size=61440, type=e, bootable' "$work/bios.fat" os-bios
dd if="$work/pkg/usr/lib/syslinux/mbr/mbr.bin" of="$work/bios.img" bs=440 count=1 \
   conv=notrunc status=none

printf 'timeout 0\ndefault zyvm.conf\n' >"$work/loader.conf"
printf 'title ZyVM test guest\nlinux /vmlinuz\ninitrd /initrd.img\noptions %s\n' \
  "$cmdline" >"$work/zyvm.conf"
make_fat "$work/uefi.fat" "${kernel_files[@]}" \
  "/EFI/BOOT/BOOTX64.EFI=$work/pkg/usr/lib/systemd/boot/efi/systemd-bootx64.efi" \
  "/loader/loader.conf=$work/loader.conf" "/loader/entries/zyvm.conf=$work/zyvm.conf"
make_disk "$work/uefi.img" $'label: gpt\nstart=2048, size=61440, type=U, name=ESP' "$work/uefi.fat" os-uefi

for f in bios.img uefi.img vmlinuz initrd.img; do
  mv -f "$work/$f" "$out/$f"
done
printf '%s' "$stamp" >"$out/guest.stamp"
echo "make-linux-guest: $out/bios.img and $out/uefi.img ($kernel_pkg, $(wc -l <"$root/etc/modules.load") modules)" >&2
