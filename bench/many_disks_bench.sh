#!/usr/bin/env bash
# many_disks_bench.sh - the cost per disk of a restore of a VM with many
# small disks.
#
# Makes a Xen domain file naming N raw disks of 1 MiB (64 KiB of data at
# the start of each, the rest a hole) in DIR, then restores that VM to KVM
# (kind 1102, whose disks are raw and keep their names and sizes) with
#   zyvmconvert restore --xen-cfg VM.cfg --to 1102 --output OUT --os Linux_x64
# and the same VM cut down to its first disk, ROUNDS rounds, the two runs
# alternating, the output removed between runs.  One run for the whole VM is
# what a restore is: the restore agent restores a VM at a time, and the
# per-disk cost is what the disks add to it (N runs of one disk each would
# time the process's start-up N times, which the one-disk run shows apart).
# Prints the median seconds of both, the milliseconds per disk (the whole
# run over N, and the difference of the two runs over N - 1), counts the
# qemu-img processes of one run (with strace, when installed), checks every
# copy with cmp, and checks the goals:
#   ms per disk of the whole run < 5
#   no qemu-img process (raw to raw needs none)
#
# Usage: bench/many_disks_bench.sh DIR [rounds] [disks]  (defaults 5, 240)
# Environment: ZYVMCONVERT (default <repo>/build/tools/zyvmconvert).
set -euo pipefail

DIR=${1:?usage: many_disks_bench.sh DIR [rounds] [disks]}
ROUNDS=${2:-5}
DISKS=${3:-240}
REPO=$(cd "$(dirname "$0")/.." && pwd)
ZY=${ZYVMCONVERT:-$REPO/build/tools/zyvmconvert}
[ -x "$ZY" ] || { echo "no zyvmconvert at $ZY (set ZYVMCONVERT)" >&2; exit 1; }
FAILS=0

WORK=$(mktemp -d "$DIR/zy-many-disks.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Xen's names for the disks: xvda .. xvdz, xvdaa, ...
vdev() {
  local i=$(($1 + 1)) name=
  while [ "$i" -gt 0 ]; do
    i=$((i - 1))
    name=$(printf "\\$(printf %o $((97 + i % 26)))")$name
    i=$((i / 26))
  done
  echo "xvd$name"
}
domain() {  # file count
  {
    echo "name = 'many'"
    echo "uuid = '0e8d4c5a-7f3b-4d2e-9a61-3b5c7d9e1f21'"
    echo "memory = 1024"
    echo "vcpus = 1"
    echo "builder = 'hvm'"
    echo "disk = ["
    for ((i = 0; i < $2; i++)); do
      echo "    'file:$WORK/vm/d$i.img,$(vdev "$i"),w',"
    done
    echo "]"
  } >"$1"
}

echo "== $(df -T "$WORK" | awk 'NR==2 {print $1, $2}') at $WORK; load $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cpus)"
mkdir "$WORK/vm"
for ((i = 0; i < DISKS; i++)); do
  head -c 65536 /dev/urandom >"$WORK/vm/d$i.img"
  truncate -s 1M "$WORK/vm/d$i.img"
done
domain "$WORK/vm/many.cfg" "$DISKS"
domain "$WORK/vm/one.cfg" 1
sync

command_of() {  # cfg: sets CMD
  CMD=(env -u ZY_PLATFORM_CONFIG -u ZY_PLATFORM_ROOT "$ZY" --log /dev/null
       restore --xen-cfg "$WORK/vm/$1.cfg" --to 1102 --output "$WORK/out"
       --os Linux_x64)
}
seconds() {  # runs CMD, prints its wall time
  local start end
  rm -rf "$WORK/out"
  start=$(date +%s.%N)
  "${CMD[@]}" >/dev/null
  end=$(date +%s.%N)
  awk "BEGIN {printf \"%.4f\", $end - $start}"
}
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

declare -A TIMES
for ((round = 0; round < ROUNDS; round++)); do
  for cfg in $( ((round % 2)) && echo "one many" || echo "many one"); do
    command_of "$cfg"
    TIMES[$cfg]+="$(seconds) "
  done
done
# The last run was the whole VM or the one disk; check a whole VM's copies.
command_of many
seconds >/dev/null
for ((i = 0; i < DISKS; i++)); do
  cmp -s "$WORK/vm/d$i.img" "$WORK/out/d$i.img" ||
    { echo "FAIL  copy of d$i.img differs or is missing"; FAILS=$((FAILS + 1)); break; }
done

QEMU_RUNS=-
if command -v strace >/dev/null; then
  rm -rf "$WORK/out"
  strace -f -qq -e trace=execve -o "$WORK/exec.txt" "${CMD[@]}" >/dev/null
  QEMU_RUNS=$(grep -c 'execve("[^"]*qemu-img"' "$WORK/exec.txt" || true)
fi

many=$(echo "${TIMES[many]}" | tr ' ' '\n' | grep . | median)
one=$(echo "${TIMES[one]}" | tr ' ' '\n' | grep . | median)
per_disk=$(awk "BEGIN {printf \"%.2f\", $many * 1000 / $DISKS}")
added=$(awk "BEGIN {printf \"%.2f\", ($many - $one) * 1000 / ($DISKS - 1)}")
printf '\n%-22s %9s\n' run "median s"
printf '%-22s %9.3f\n' "$DISKS disks" "$many" "1 disk" "$one"
echo "ms per disk (whole run / $DISKS):          $per_disk"
echo "ms per disk added (difference / $((DISKS - 1))):  $added"
echo "qemu-img processes in one run:            $QEMU_RUNS"
echo "== load after: $(cut -d' ' -f1-3 /proc/loadavg)"
if awk "BEGIN {exit !($per_disk < 5)}"; then echo "PASS  $per_disk ms per disk < 5"; else
  echo "FAIL  $per_disk ms per disk, goal < 5"; FAILS=$((FAILS + 1)); fi
case $QEMU_RUNS in
  -) echo "SKIP  qemu-img count (no strace)" ;;
  0) echo "PASS  no qemu-img process for raw to raw" ;;
  *) echo "FAIL  $QEMU_RUNS qemu-img processes for raw to raw"; FAILS=$((FAILS + 1)) ;;
esac
[ "$FAILS" -eq 0 ]
