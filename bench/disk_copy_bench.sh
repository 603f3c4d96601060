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
#   every pair  >= 1.0 x qemu-img convert's speed (raw to raw: >= 1.0 x cp)
#   allocation  within 1 % (+ 1 MiB of metadata) of qemu-img convert's
#   peak memory < 64 MiB
#
# Usage: bench/disk_copy_bench.sh [rounds] [size-in-MiB]    (defaults 5, 2048)
# Environment: BUILD_DIR (default <repo>/build-bench), WORK_ROOT (default /tmp).
set -euo pipefail

ROUNDS=${1:-5}
SIZE_MIB=${2:-2048}
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench}
WORK_ROOT=${WORK_ROOT:-/tmp}
RANDOM=42
FAILS=0

# Pairs: name, source image, qemu driver of the source, zy format,
# qemu-img convert -O and -o of the same destination.
PAIRS=(
  "raw>raw         raw   raw   raw       raw  -"
  "vmdk>vhdx       vmdk  vmdk  vhdx      vhdx subformat=dynamic"
  "vmdk>qcow2      vmdk  vmdk  qcow2     qcow2 compat=1.1"
  "raw>vhd-fixed   raw   raw   vhd-fixed vpc  subformat=fixed,force_size=on"
  "vhdx>vmdk       vhdx  vhdx  vmdk      vmdk subformat=monolithicSparse"
)

[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
command -v qemu-img >/dev/null || { echo "needs qemu-img (Debian package qemu-utils)" >&2; exit 1; }

echo "== building zy_clone_disk (Release) in $BUILD_DIR"
cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DZY_BUILD_TESTS=OFF -DZY_BUILD_BENCH=ON >/dev/null
ninja -C "$BUILD_DIR" zy_clone_disk >/dev/null
CLONE=$BUILD_DIR/bench/zy_clone_disk

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

echo
echo "== load after: $(cut -d' ' -f1-3 /proc/loadavg)"
for row in "${VERDICTS[@]}"; do
  IFS='|' read -r name zy qemu cp rss alloc qalloc same <<<"$row"
  if [ -n "$cp" ]; then verdict "$name: $zy MB/s >= cp's $cp" "$zy >= $cp"
  else verdict "$name: $zy MB/s >= qemu-img convert's $qemu" "$zy >= $qemu"; fi
  verdict "$name: allocates $alloc KiB, qemu-img convert $qalloc KiB" "$alloc <= $qalloc * 1.01 + 1024"
  verdict "$name: peak $((rss / 1024)) MiB < 64, guest bytes equal ($same)" "$rss < 65536 && \"$same\" == \"yes\""
done
exit $((FAILS > 0))
