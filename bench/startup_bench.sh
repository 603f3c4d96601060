#!/usr/bin/env bash
# startup_bench.sh - what a run of zyvmconvert costs before and around its
# work: the process's start-up.
#
# Times, with `perf stat` (CPU time of the process and its children, which
# a loaded machine disturbs far less than wall time), ROUNDS rounds of 20
# runs each, the commands' order rotating each round:
#   version   zyvmconvert --version          (start-up and the parser only)
#   kinds     zyvmconvert kinds
#   clone     zyvmconvert clone-disk of a 1 MiB raw image to raw
#   libs      an empty program linked against the shared objects
#             zyvmconvert loads (what loading them alone costs)
#   empty     an empty C++ program
# and prints the median milliseconds of each.  With valgrind installed it
# also counts the instructions of `kinds` (exact, whatever the load) and
# splits them: the dynamic linker (loading and relocating the shared
# objects), the shared objects' constructors, and main.  It lists the
# shared objects loaded, with the dynamic linker's own statistics.
#
# Usage: bench/startup_bench.sh [rounds]  (default 5)
# Environment: ZYVMCONVERT (default <repo>/build/tools/zyvmconvert).
set -euo pipefail

ROUNDS=${1:-5}
REPO=$(cd "$(dirname "$0")/.." && pwd)
ZY=${ZYVMCONVERT:-$REPO/build/tools/zyvmconvert}
[ -x "$ZY" ] || { echo "no zyvmconvert at $ZY (set ZYVMCONVERT)" >&2; exit 1; }
command -v perf >/dev/null || { echo "needs perf (Debian package linux-perf)" >&2; exit 1; }
export ZY_LOG_FILE=/dev/null
unset ZY_PLATFORM_CONFIG ZY_PLATFORM_ROOT

WORK=$(mktemp -d /tmp/zy-startup-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
truncate -s 1M "$WORK/disk.img"

# The same shared objects, by the names zyvmconvert needs (ldd resolves
# them the way its own run does), under an empty main.
echo 'int main() { return 0; }' >"$WORK/empty.cpp"
g++ -O2 "$WORK/empty.cpp" -o "$WORK/empty"
mapfile -t OBJECTS < <(ldd "$ZY" | awk '$2 == "=>" && $3 ~ /^\// {print $3}')
g++ -O2 "$WORK/empty.cpp" -o "$WORK/libs" -Wl,--no-as-needed "${OBJECTS[@]}" \
    -Wl,-rpath,"$(printf '%s:' "${OBJECTS[@]%/*}" | sed 's/:$//')"

command_of() {  # name: sets CMD
  case $1 in
    version) CMD=("$ZY" --version) ;;
    kinds)   CMD=("$ZY" kinds) ;;
    clone)   CMD=(sh -c "rm -f '$WORK/copy.img'; exec '$ZY' clone-disk '$WORK/disk.img' '$WORK/copy.img' --to-format raw") ;;
    libs)    CMD=("$WORK/libs") ;;
    empty)   CMD=("$WORK/empty") ;;
  esac
}
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

echo "== load $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cpus); $ZY"
NAMES=(version kinds clone libs empty)
declare -A MS
for ((round = 0; round < ROUNDS; round++)); do
  for ((i = 0; i < ${#NAMES[@]}; i++)); do
    name=${NAMES[(i + round) % ${#NAMES[@]}]}
    command_of "$name"
    MS[$name]+="$(perf stat -x, -e task-clock -r 20 "${CMD[@]}" 2>&1 >/dev/null |
                  awk -F, '/task-clock/ {print $1}') "
  done
done
printf '\n%-8s %12s\n' run "CPU ms"
for name in "${NAMES[@]}"; do
  printf '%-8s %12.2f\n' "$name" "$(echo "${MS[$name]}" | tr ' ' '\n' | grep . | median)"
done

echo
echo "shared objects loaded: $(ldd "$ZY" | grep -c '=>')"
LD_DEBUG=statistics "$ZY" kinds 2>&1 >/dev/null |
  grep -E 'total startup time|relocations:|relative relocations' | sed 's/^ *[0-9]*:[[:space:]]*/  /' | sort -u

if command -v valgrind >/dev/null; then
  valgrind --tool=callgrind --callgrind-out-file="$WORK/kinds.cg" "$ZY" kinds \
    >/dev/null 2>"$WORK/valgrind.txt"
  callgrind_annotate --inclusive=yes "$WORK/kinds.cg" 2>/dev/null |
    awk -v total="$(awk '/Collected/ {print $NF}' "$WORK/valgrind.txt")" '
      function count(s) { gsub(",", "", s); return s + 0 }
      !linker && /rtld\.c:_dl_start( |$)/ {linker = count($1)}
      !init && /dl-init\.c:_dl_init( |$)/ {init = count($1)}
      !own && /tools\/main\.cpp:main( |$)/ {own = count($1)}
      END {
        printf "\ninstructions of kinds: %d\n", total
        printf "  dynamic linker   %6.1f %%\n", 100 * linker / total
        printf "  constructors     %6.1f %%\n", 100 * init / total
        printf "  main             %6.1f %%\n", 100 * own / total
      }'
fi
