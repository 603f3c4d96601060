#!/usr/bin/env bash
# raw_copy_bench.sh - raw to raw copies: zyvmconvert against cp.
#
# Makes a dense image (random data) and a sparse one (10 % data in
# scattered 1 MiB runs, a hole tail) in DIR, then copies each with
#   zy       zyvmconvert clone-disk SRC DST --to-format raw
#   sparse   cp --sparse=always SRC DST
#   reflink  cp --reflink=auto SRC DST
# ROUNDS rounds, the tools' order rotating each round, the destination
# removed (and the page cache left as it is) between copies.  Prints per
# image and tool the median seconds and MB/s of virtual bytes (MB = 10^6
# bytes), and the median of the per-round ratios of cp's time to ours
# (above 1.0: we are faster), then checks the goal: raw to raw at least
# 1.0 x both cp commands, dense and sparse.  Every copy is checked with cmp.
# Beside the wall time, the CPU time (user and system, with the children
# it waited for) and its ratio: other work on a shared machine stretches
# the wall time of a copy from the page cache far more than its CPU time,
# and a fixed cost (start-up, a qemu-img run) shows there as it is.
#
# Usage: bench/raw_copy_bench.sh DIR [rounds] [size-in-MiB]  (defaults 5, 2048)
# Environment: ZYVMCONVERT (default <repo>/build/tools/zyvmconvert).
set -euo pipefail

DIR=${1:?usage: raw_copy_bench.sh DIR [rounds] [size-in-MiB]}
ROUNDS=${2:-5}
SIZE_MIB=${3:-2048}
REPO=$(cd "$(dirname "$0")/.." && pwd)
ZY=${ZYVMCONVERT:-$REPO/build/tools/zyvmconvert}
[ -x "$ZY" ] || { echo "no zyvmconvert at $ZY (set ZYVMCONVERT)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
RANDOM=42
FAILS=0

WORK=$(mktemp -d "$DIR/zy-raw-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

echo "== $(df -T "$WORK" | awk 'NR==2 {print $1, $2}') at $WORK; load $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cpus)"
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$WORK/dense.img"
truncate -s "${SIZE_MIB}M" "$WORK/sparse.img"
for mib in $(shuf -i 0-$((SIZE_MIB * 9 / 10)) -n "$((SIZE_MIB / 10))" --random-source=<(yes)); do
  dd if=/dev/urandom of="$WORK/sparse.img" bs=4096 count=256 \
     seek=$((mib * 256 + RANDOM % 256)) conv=notrunc status=none
done
sync

command_of() {  # tool source destination: sets CMD
  case $1 in
    zy)      CMD=("$ZY" clone-disk "$2" "$3" --to-format raw) ;;
    sparse)  CMD=(cp --sparse=always "$2" "$3") ;;
    reflink) CMD=(cp --reflink=auto "$2" "$3") ;;
  esac
}
seconds() {  # runs CMD, prints its wall time and its CPU time
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o "$WORK/cpu.txt" "${CMD[@]}" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" '{printf "%.4f %.2f", e - s, $1 + $2}' "$WORK/cpu.txt"
}
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

TOOLS=(zy sparse reflink)
declare -A TIMES RATIOS CPUS CPU_RATIOS
for image in dense sparse; do
  for ((round = 0; round < ROUNDS; round++)); do
    declare -A took=() cpu=()
    for ((i = 0; i < ${#TOOLS[@]}; i++)); do
      tool=${TOOLS[(i + round) % ${#TOOLS[@]}]}
      rm -f "$WORK/copy.img"
      command_of "$tool" "$WORK/$image.img" "$WORK/copy.img"
      read -r took[$tool] cpu[$tool] <<<"$(seconds)"
      cmp -s "$WORK/$image.img" "$WORK/copy.img" || { echo "FAIL  $tool copy of $image differs"; FAILS=$((FAILS + 1)); }
      TIMES[$image,$tool]+="${took[$tool]} "
      CPUS[$image,$tool]+="${cpu[$tool]} "
    done
    for tool in sparse reflink; do
      RATIOS[$image,$tool]+="$(awk "BEGIN {print ${took[$tool]} / ${took[zy]}}") "
      CPU_RATIOS[$image,$tool]+="$(awk "BEGIN {print (${cpu[$tool]} + 0.005) / (${cpu[zy]} + 0.005)}") "
    done
  done
done
rm -f "$WORK/copy.img"

printf '\n%-7s %-8s %9s %9s %12s %9s %12s\n' image tool "median s" "MB/s" "zy x this" "CPU s" "CPU x this"
for image in dense sparse; do
  for tool in "${TOOLS[@]}"; do
    t=$(echo "${TIMES[$image,$tool]}" | tr ' ' '\n' | grep . | median)
    c=$(echo "${CPUS[$image,$tool]}" | tr ' ' '\n' | grep . | median)
    ratio=- cpu_ratio=-
    [ "$tool" = zy ] || ratio=$(echo "${RATIOS[$image,$tool]}" | tr ' ' '\n' | grep . | median)
    [ "$tool" = zy ] || cpu_ratio=$(echo "${CPU_RATIOS[$image,$tool]}" | tr ' ' '\n' | grep . | median)
    printf '%-7s %-8s %9.3f %9.0f %12s %9.2f %12s\n' "$image" "$tool" "$t" \
      "$(awk "BEGIN {print $SIZE_MIB * 1.048576 / $t}")" "$ratio" "$c" "$cpu_ratio"
    if [ "$tool" != zy ]; then
      if awk "BEGIN {exit !($ratio >= 1.0)}"; then :; else
        echo "FAIL  $image: zy is $ratio x cp ($tool)"; FAILS=$((FAILS + 1)); fi
    fi
  done
done
echo "== load after: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$FAILS" -eq 0 ] && echo "PASS  raw to raw >= 1.0 x cp, dense and sparse" || exit 1
