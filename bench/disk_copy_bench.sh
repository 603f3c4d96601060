#!/usr/bin/env bash
# disk_copy_bench.sh - how fast and how sparse the disk image component copies.
#
# Builds zy_clone_disk (Release), makes a dense image (random data) and a
# sparse one (10 % data in scattered 1 MiB runs) in /tmp, converts them into
# the source formats with qemu-img, and copies every pair below with
# zy_clone_disk and with `qemu-img convert` (raw to raw also with
# `cp --sparse=always`), several rounds, the tools' order rotating each
# round.  Prints per pair and tool the median MB/s of virtual bytes
# (MB = 10^6 bytes), the ratio to qemu-img convert (and to cp for raw), the
# peak resident memory, whether qemu-img compare finds the guest bytes equal
# and the destination's allocation, then checks the goals:
#   every pair  >= 1.0 x qemu-img convert's speed dense, >= 0.97 x sparse
#               (raw to raw: >= 1.0 x cp)
#   allocation  within 1 % (+ 1 MiB of metadata) of qemu-img convert's
#   peak memory < 64 MiB
# Then a whole VM: web01.vmx of the examples with three VMDK disks of the
# same size (dense, sparse, dense), converted to openstack (qcow2) by
#   zy-seq   zyvmconvert convert --jobs 1
#   zy-par   zyvmconvert convert (its disks side by side)
#   q-seq    three `qemu-img convert` one after another
#   q-par    the same three at once
# ROUNDS rounds, order rotating; prints the median seconds, the ratios and
# the peak memory of zyvmconvert's whole process tree (the sum of the
# resident sizes of its session, sampled), and checks the goal:
#   zy-par within 1.15 x the time of q-par
#
# Usage: bench/disk_copy_bench.sh [rounds] [size-in-MiB] [folder]
#        (defaults 5, 2048, $WORK_ROOT or /tmp)
# Environment: BUILD_DIR (default <repo>/build-bench); ZY_CLONE_DISK and
# ZYVMCONVERT name built programs to use instead of building them;
# SECTIONS=vm runs the whole VM only.
set -euo pipefail

ROUNDS=${1:-5}
SIZE_MIB=${2:-2048}
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench}
WORK_ROOT=${3:-${WORK_ROOT:-/tmp}}
RANDOM=42
FAILS=0
VERDICTS=()

# Pairs: name, source image, qemu driver of the source, zy format,
# qemu-img convert -O and -o of the same destination.
PAIRS=(
  "raw>raw         raw   raw   raw       raw  -"
  "vmdk>vhdx       vmdk  vmdk  vhdx      vhdx subformat=dynamic"
  "vmdk>qcow2      vmdk  vmdk  qcow2     qcow2 compat=1.1"
  "raw>vhd-fixed   raw   raw   vhd-fixed vpc  subformat=fixed,force_size=on"
  "vhdx>vmdk       vhdx  vhdx  vmdk      vmdk subformat=monolithicSparse"
  "qcow2>raw       qcow2 qcow2 raw       raw  -"
  "raw>qcow2       raw   raw   qcow2     qcow2 compat=1.1"
  "vhd>vhdx        vhd   vpc   vhdx      vhdx subformat=dynamic"
  "qcow2>vhd       qcow2 qcow2 vhd       vpc  subformat=dynamic,force_size=on"
)

[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
command -v qemu-img >/dev/null || { echo "needs qemu-img (Debian package qemu-utils)" >&2; exit 1; }

if [ -n "${ZY_CLONE_DISK:-}" ] && [ -n "${ZYVMCONVERT:-}" ]; then
  CLONE=$ZY_CLONE_DISK ZY=$ZYVMCONVERT
else
  echo "== building zy_clone_disk and zyvmconvert (Release) in $BUILD_DIR"
  cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DZY_BUILD_TESTS=OFF -DZY_BUILD_BENCH=ON >/dev/null
  ninja -C "$BUILD_DIR" zy_clone_disk zyvmconvert >/dev/null
  CLONE=$BUILD_DIR/bench/zy_clone_disk ZY=$BUILD_DIR/tools/zyvmconvert
fi

WORK=$(mktemp -d "$WORK_ROOT/zy-disk-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

echo "== load before: $(cut -d' ' -f1-3 /proc/loadavg)   ($(nproc) cpus)"
echo "== making images of $SIZE_MIB MiB in $WORK"
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$WORK/dense.raw"
truncate -s "${SIZE_MIB}M" "$WORK/sparse.raw"
# Scattered runs: a random MiB each, shifted by a random number of 4 KiB
# blocks, so most runs straddle two of the component's blocks.
for mib in $(shuf -i 0-$((SIZE_MIB - 2)) -n "$((SIZE_MIB / 10))" --random-source=<(yes)); do
  dd if=/dev/urandom of="$WORK/sparse.raw" bs=4096 count=256 \
     seek=$((mib * 256 + RANDOM % 256)) conv=notrunc status=none
done
for image in dense sparse; do
  qemu-img convert -f raw -O vmdk -o subformat=monolithicSparse "$WORK/$image.raw" "$WORK/$image.vmdk"
  qemu-img convert -f raw -O vhdx "$WORK/$image.raw" "$WORK/$image.vhdx"
  qemu-img convert -f raw -O qcow2 "$WORK/$image.raw" "$WORK/$image.qcow2"
  qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on "$WORK/$image.raw" "$WORK/$image.vhd"
done
sync

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
verdict() { if awk "BEGIN {exit !($2)}"; then echo "PASS  $1"; else echo "FAIL  $1"; FAILS=$((FAILS + 1)); fi; }

command_of() {  # tool source destination: sets CMD
  case $1 in
    zy)   CMD=("$CLONE" "$2" "$3" "$ZYFMT") ;;
    cp)   CMD=(cp --sparse=always "$2" "$3") ;;
    qemu) CMD=(qemu-img convert -f "$SRCDRV" -O "$DSTDRV")
          [ "$DSTOPT" = - ] || CMD+=(-o "$DSTOPT")
          CMD+=("$2" "$3") ;;
  esac
}

[ "${SECTIONS:-pairs vm}" = vm ] && PAIRS=()
printf '\n%-16s %-7s %-5s %9s %7s %7s %9s %5s %12s\n' pair image tool "MB/s" "x qemu" "x cp" "peak MiB" same "alloc KiB"
for pair in "${PAIRS[@]}"; do
  read -r NAME SRCEXT SRCDRV ZYFMT DSTDRV DSTOPT <<<"$pair"
  TOOLS=(zy qemu)
  [ "$NAME" = "raw>raw" ] && TOOLS=(zy cp qemu)
  for image in dense sparse; do
    src=$WORK/$image.$SRCEXT
    bytes=$((SIZE_MIB * 1024 * 1024))
    declare -A SPEEDS=() RSS=() SAME=() ALLOC=()
    for ((round = 0; round < ROUNDS; round++)); do
      for ((i = 0; i < ${#TOOLS[@]}; i++)); do
        tool=${TOOLS[$(((i + round) % ${#TOOLS[@]}))]}
        dst=$WORK/copy.$tool
        rm -f "$dst"
        sync
        command_of "$tool" "$src" "$dst"
        start=$(date +%s.%N)
        /usr/bin/time -v -o "$WORK/time.txt" "${CMD[@]}" >/dev/null
        end=$(date +%s.%N)
        SPEEDS[$tool]+="$(awk -v b="$bytes" -v s="$start" -v e="$end" 'BEGIN {printf "%.1f", b / (e - s) / 1e6}') "
        kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$WORK/time.txt")
        [ "${RSS[$tool]:-0}" -ge "$kb" ] || RSS[$tool]=$kb
        if [ "$round" = 0 ]; then
          if qemu-img compare -q -f "$SRCDRV" -F "$DSTDRV" "$src" "$dst" 2>/dev/null; then SAME[$tool]=yes; else SAME[$tool]=NO; fi
          ALLOC[$tool]=$(du -k "$dst" | cut -f1)
        fi
        rm -f "$dst"
      done
    done
    qemu_med=$(tr ' ' '\n' <<<"${SPEEDS[qemu]}" | grep . | median)
    cp_med=
    [ -n "${SPEEDS[cp]:-}" ] && cp_med=$(tr ' ' '\n' <<<"${SPEEDS[cp]}" | grep . | median)
    for tool in "${TOOLS[@]}"; do
      med=$(tr ' ' '\n' <<<"${SPEEDS[$tool]}" | grep . | median)
      xq=$(awk -v a="$med" -v b="$qemu_med" 'BEGIN {printf "%.2f", a / b}')
      xc=-; [ -n "$cp_med" ] && xc=$(awk -v a="$med" -v b="$cp_med" 'BEGIN {printf "%.2f", a / b}')
      printf '%-16s %-7s %-5s %9.1f %7s %7s %9.1f %5s %12s\n' "$NAME" "$image" "$tool" "$med" "$xq" "$xc" \
        "$(awk -v k="${RSS[$tool]}" 'BEGIN {print k / 1024}')" "${SAME[$tool]}" "${ALLOC[$tool]}"
    done
    zy_med=$(tr ' ' '\n' <<<"${SPEEDS[zy]}" | grep . | median)
    VERDICTS+=("$NAME $image|$zy_med|$qemu_med|${cp_med:-}|${RSS[zy]}|${ALLOC[zy]}|${ALLOC[qemu]}|${SAME[zy]}")
    unset SPEEDS RSS SAME ALLOC
  done
done

# The whole VM.
VM=$WORK/vm
mkdir -p "$VM"
cp "$REPO/examples/platform/vmware/web01/web01.vmx" "$VM/"
cp "$WORK/dense.vmdk" "$VM/web01.vmdk"
cp "$WORK/sparse.vmdk" "$VM/web01_1.vmdk"
cp "$WORK/dense.vmdk" "$VM/web01_2.vmdk"
DISKS=(web01 web01_1 web01_2)
rm -f "$WORK"/*.raw "$WORK"/*.vhd "$WORK"/*.vhdx "$WORK"/*.qcow2
vm_run() {  # tool: one conversion of the VM into $WORK/out
  rm -rf "$WORK/out"
  case $1 in
    zy-seq) env -u ZY_PLATFORM_CONFIG -u ZY_PLATFORM_ROOT "$ZY" --log /dev/null convert \
              --vmx "$VM/web01.vmx" --to openstack --output "$WORK/out" --jobs 1 >/dev/null ;;
    zy-par) env -u ZY_PLATFORM_CONFIG -u ZY_PLATFORM_ROOT "$ZY" --log /dev/null convert \
              --vmx "$VM/web01.vmx" --to openstack --output "$WORK/out" >/dev/null ;;
    q-seq)  mkdir "$WORK/out"
            for d in "${DISKS[@]}"; do
              qemu-img convert -f vmdk -O qcow2 -o compat=1.1 "$VM/$d.vmdk" "$WORK/out/$d.qcow2"
            done ;;
    q-par)  mkdir "$WORK/out"
            for d in "${DISKS[@]}"; do
              qemu-img convert -f vmdk -O qcow2 -o compat=1.1 "$VM/$d.vmdk" "$WORK/out/$d.qcow2" &
            done
            wait ;;
  esac
}
# The peak of the summed resident sizes of a process's session, in KiB.
tree_peak() {  # command...
  local peak=0 kb
  setsid "$@" &
  local sid=$!
  while kill -0 "$sid" 2>/dev/null; do
    kb=$(ps -o rss= -s "$sid" 2>/dev/null | awk '{s += $1} END {print s + 0}')
    [ "$kb" -le "$peak" ] || peak=$kb
    sleep 0.02
  done
  wait "$sid"
  echo "$peak"
}
VM_TOOLS=(zy-seq zy-par q-seq q-par)
declare -A VM_TIMES=() VM_MED=()
for ((round = 0; round < ROUNDS; round++)); do
  for ((i = 0; i < ${#VM_TOOLS[@]}; i++)); do
    tool=${VM_TOOLS[$(((i + round) % ${#VM_TOOLS[@]}))]}
    sync
    start=$(date +%s.%N)
    vm_run "$tool"
    end=$(date +%s.%N)
    VM_TIMES[$tool]+="$(awk -v s="$start" -v e="$end" 'BEGIN {printf "%.3f", e - s}') "
  done
done
vm_run zy-par  # the destination names its disks without an extension
for d in "${DISKS[@]}"; do
  qemu-img compare -q -f vmdk -F qcow2 "$VM/$d.vmdk" "$WORK/out/$d" || { echo "FAIL  $d differs"; FAILS=$((FAILS + 1)); }
done
export -f vm_run
export ZY VM WORK
ZY_PEAK=$(tree_peak bash -c 'DISKS=(web01 web01_1 web01_2); vm_run zy-par')
Q_PEAK=$(tree_peak bash -c 'DISKS=(web01 web01_1 web01_2); vm_run q-par')
printf '\n3-disk VM (%s MiB each, vmdk to qcow2)\n%-8s %9s %9s %9s %12s\n' "$SIZE_MIB" tool "median s" "x q-seq" "x q-par" "tree peak MiB"
for tool in "${VM_TOOLS[@]}"; do
  VM_MED[$tool]=$(tr ' ' '\n' <<<"${VM_TIMES[$tool]}" | grep . | median)
done
for tool in "${VM_TOOLS[@]}"; do
  peak=-
  [ "$tool" = zy-par ] && peak=$(awk -v k="$ZY_PEAK" 'BEGIN {printf "%.1f", k / 1024}')
  [ "$tool" = q-par ] && peak=$(awk -v k="$Q_PEAK" 'BEGIN {printf "%.1f", k / 1024}')
  # Speed ratios: above 1.0, this tool is faster than the one compared.
  printf '%-8s %9.3f %9.2f %9.2f %12s\n' "$tool" "${VM_MED[$tool]}" \
    "$(awk -v a="${VM_MED[$tool]}" -v b="${VM_MED[q-seq]}" 'BEGIN {printf "%.2f", b / a}')" \
    "$(awk -v a="${VM_MED[$tool]}" -v b="${VM_MED[q-par]}" 'BEGIN {printf "%.2f", b / a}')" "$peak"
done

echo
echo "== load after: $(cut -d' ' -f1-3 /proc/loadavg)"
verdict "3-disk VM: zy-par ${VM_MED[zy-par]} s within 1.15 x q-par's ${VM_MED[q-par]} s" "${VM_MED[zy-par]} <= ${VM_MED[q-par]} * 1.15"
for row in "${VERDICTS[@]}"; do
  IFS='|' read -r name zy qemu cp rss alloc qalloc same <<<"$row"
  if [ -n "$cp" ]; then verdict "$name: $zy MB/s >= cp's $cp" "$zy >= $cp"
  else goal=1.0; [[ $name == *sparse ]] && goal=0.97
    verdict "$name: $zy MB/s >= $goal x qemu-img convert's $qemu" "$zy >= $qemu * $goal"; fi
  verdict "$name: allocates $alloc KiB, qemu-img convert $qalloc KiB" "$alloc <= $qalloc * 1.01 + 1024"
  verdict "$name: peak $((rss / 1024)) MiB < 64, guest bytes equal ($same)" "$rss < 65536 && \"$same\" == \"yes\""
done
exit $((FAILS > 0))
