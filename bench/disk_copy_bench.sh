#!/usr/bin/env bash
# disk_copy_bench.sh - how fast and how sparse the disk image component copies.
#
# Builds zy_clone_disk (Release), makes a dense image (random data) and a
# sparse one (10 % data in scattered 1 MiB runs) in /tmp, and copies each
# with zy_clone_disk, `cp --sparse=always` and `qemu-img convert -O raw`,
# several rounds, the tools' order rotating each round.  Prints for every
# tool the median MB/s (MB = 10^6 bytes), the ratio to cp, the peak resident
# memory, whether the copy is byte-identical (cmp) and how much it allocates
# (du), then checks the targets:
#   dense copy  >= 0.9 x cp's speed
#   sparse copy >= cp's speed, and no more allocated than the source
#   peak memory <  64 MiB
#
# Usage: bench/disk_copy_bench.sh [rounds] [size-in-MiB]    (defaults 7, 2048)
# Environment: BUILD_DIR (default <repo>/build-bench), WORK_ROOT (default /tmp).
set -euo pipefail

ROUNDS=${1:-7}
SIZE_MIB=${2:-2048}
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench}
WORK_ROOT=${WORK_ROOT:-/tmp}
TOOLS=(zy cp qemu)
declare -A ZY_RATIO ZY_RSS ZY_ALLOC ZY_SAME SRC_ALLOC
RANDOM=42

need_package() {  # command package
  command -v "$1" >/dev/null 2>&1 && return
  echo "installing $2 for $1" >&2
  if [ "$(id -u)" = 0 ]; then apt-get install -y -q "$2" >/dev/null
  else sudo apt-get install -y -q "$2" >/dev/null; fi
}
need_package qemu-img qemu-utils
[ -x /usr/bin/time ] || need_package /usr/bin/time time

echo "== building zy_clone_disk (Release) in $BUILD_DIR"
cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DZY_BUILD_TESTS=OFF -DZY_BUILD_BENCH=ON >/dev/null
ninja -C "$BUILD_DIR" zy_clone_disk >/dev/null
CLONE=$BUILD_DIR/bench/zy_clone_disk

WORK=$(mktemp -d "$WORK_ROOT/zy-disk-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

echo "== load before: $(cut -d' ' -f1-3 /proc/loadavg)   ($(nproc) cpus)"
echo "== making images of $SIZE_MIB MiB in $WORK"
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$WORK/dense.img"
truncate -s "${SIZE_MIB}M" "$WORK/sparse.img"
RUNS=$((SIZE_MIB / 10))
# Scattered runs: a random MiB each, shifted by a random number of 4 KiB
# blocks, so most runs straddle two of the component's blocks.
for mib in $(shuf -i 0-$((SIZE_MIB - 2)) -n "$RUNS" --random-source=<(yes)); do
  shift_blocks=$((RANDOM % 256))
  dd if=/dev/urandom of="$WORK/sparse.img" bs=4096 count=256 \
     seek=$((mib * 256 + shift_blocks)) conv=notrunc status=none
done
sync

command_of() {  # tool source destination: sets CMD
  case $1 in
    zy)   CMD=("$CLONE" "$2" "$3") ;;
    cp)   CMD=(cp --sparse=always "$2" "$3") ;;
    qemu) CMD=(qemu-img convert -f raw -O raw "$2" "$3") ;;
  esac
}

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

for image in dense sparse; do
  src=$WORK/$image.img
  bytes=$(stat -c %s "$src")
  declare -A SPEEDS=() RSS=() SAME=() ALLOC=()
  # One untimed round first: the first copy after the images were made
  # otherwise pays for bringing the source back into the page cache.
  for tool in "${TOOLS[@]}"; do
    command_of "$tool" "$src" "$WORK/warmup.copy"
    "${CMD[@]}"
    rm -f "$WORK/warmup.copy"
  done
  for ((round = 0; round < ROUNDS; round++)); do
    for ((i = 0; i < ${#TOOLS[@]}; i++)); do
      tool=${TOOLS[$(((i + round) % ${#TOOLS[@]}))]}
      dst=$WORK/$image.$tool.copy
      rm -f "$dst"
      sync
      command_of "$tool" "$src" "$dst"
      start=$(date +%s.%N)
      /usr/bin/time -v -o "$WORK/time.txt" "${CMD[@]}"
      end=$(date +%s.%N)
      SPEEDS[$tool]+="$(awk -v b="$bytes" -v s="$start" -v e="$end" 'BEGIN {printf "%.1f", b / (e - s) / 1e6}') "
      kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$WORK/time.txt")
      [ "${RSS[$tool]:-0}" -ge "$kb" ] || RSS[$tool]=$kb
      if [ "$round" = 0 ]; then
        if cmp -s "$src" "$dst"; then SAME[$tool]=yes; else SAME[$tool]=NO; fi
        ALLOC[$tool]=$(du -k "$dst" | cut -f1)
      fi
      rm -f "$dst"
    done
  done
  src_alloc=$(du -k "$src" | cut -f1)
  cp_median=$(tr ' ' '\n' <<<"${SPEEDS[cp]}" | grep . | median)
  echo
  echo "== $image image: $((bytes / 1048576)) MiB, source allocates $src_alloc KiB, $ROUNDS rounds"
  printf '%-6s %10s %8s %10s %10s %14s   %s\n' tool "MB/s" "x cp" "peak MiB" identical "alloc KiB" "rounds MB/s"
  for tool in "${TOOLS[@]}"; do
    med=$(tr ' ' '\n' <<<"${SPEEDS[$tool]}" | grep . | median)
    ratio=$(awk -v a="$med" -v b="$cp_median" 'BEGIN {printf "%.2f", a / b}')
    printf '%-6s %10.1f %8s %10.1f %10s %14s   %s\n' "$tool" "$med" "$ratio" \
      "$(awk -v k="${RSS[$tool]}" 'BEGIN {print k / 1024}')" "${SAME[$tool]}" \
      "${ALLOC[$tool]}" "${SPEEDS[$tool]}"
    if [ "$tool" = zy ]; then
      ZY_RATIO[$image]=$ratio
      ZY_RSS[$image]=${RSS[$tool]}
      ZY_ALLOC[$image]=${ALLOC[$tool]}
      ZY_SAME[$image]=${SAME[$tool]}
      SRC_ALLOC[$image]=$src_alloc
    fi
  done
  unset SPEEDS RSS SAME ALLOC
done 2>&1

echo
echo "== load after: $(cut -d' ' -f1-3 /proc/loadavg)"
verdict() { if awk "BEGIN {exit !($2)}"; then echo "PASS  $1"; else echo "FAIL  $1"; fi; }
verdict "dense copy at ${ZY_RATIO[dense]} x cp (>= 0.9)" "${ZY_RATIO[dense]} >= 0.9"
verdict "sparse copy at ${ZY_RATIO[sparse]} x cp (>= 1.0)" "${ZY_RATIO[sparse]} >= 1.0"
verdict "sparse copy allocates ${ZY_ALLOC[sparse]} KiB, source ${SRC_ALLOC[sparse]} KiB" \
        "${ZY_ALLOC[sparse]} <= ${SRC_ALLOC[sparse]}"
verdict "copies identical (${ZY_SAME[dense]}, ${ZY_SAME[sparse]})" \
        "\"${ZY_SAME[dense]}${ZY_SAME[sparse]}\" == \"yesyes\""
verdict "peak memory $((ZY_RSS[dense] / 1024)) / $((ZY_RSS[sparse] / 1024)) MiB (< 64)" \
        "${ZY_RSS[dense]} < 65536 && ${ZY_RSS[sparse]} < 65536"
