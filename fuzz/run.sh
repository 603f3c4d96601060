#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS from its starting-input folders
# and regression corpus.  Fails when any target finds a crash, a leak, an
# input of up to 1 MiB that takes over a second, an allocation over 64 MiB or
# a memory use over the RSS limit; the input is kept in
# <build>/findings/<target>/ (copy it into fuzz/regressions/<target>/ with the
# fix).  Usage: fuzz/run.sh SECONDS [TARGET...]
#   ZY_FUZZ_BUILD  build folder (default build-fuzz)
#   ZY_FUZZ_JOBS   targets run at once (default 1)
#   ZY_FUZZ_TIMEOUT  seconds an input may take (default 1; a longer run on
#                  a machine busy with other work may need more, and then
#                  replays what it keeps alone with the default)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
build=${ZY_FUZZ_BUILD:-build-fuzz}
jobs=${ZY_FUZZ_JOBS:-1}
targets=("$@")

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZY_FUZZ=ON -DZY_BUILD_TESTS=OFF \
  -DZY_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_targets
# The build lists the targets and each one's starting inputs (configuration
# files only: the example VMs' disk images would only slow the fuzzer down).
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets <"$build/fuzz/targets"
fi

run_one() {
  local target=$1 corpus="$build/corpus/$1" findings="$build/findings/$1/"
  mkdir -p "$corpus" "$findings"
  local inputs="$build/starting-inputs/$1"
  rm -rf "$inputs" && mkdir -p "$inputs"
  local dirs=("$corpus" "$inputs") file
  while read -r file; do
    if [ -d "$file" ]; then dirs+=("$file")
    elif [ -f "$file" ]; then ln -s "$file" "$inputs/$(echo "$file" | tr / _)"
    fi
  done <"$build/fuzz/$target.inputs"
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout="${ZY_FUZZ_TIMEOUT:-1}" \
      -malloc_limit_mb=64 -rss_limit_mb=1024 -max_len=1048576 \
      -dict="fuzz/dict/$target.dict" -artifact_prefix="$findings" \
      -print_final_stats=1 "${dirs[@]}" >"$build/fuzz-$target.log" 2>&1
  local status=$?
  local runs cov
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz-$target.log" | grep -o '[0-9]*$' || true)
  cov=$(grep -o 'cov: [0-9]*' "$build/fuzz-$target.log" | tail -1 || true)
  echo "$target: exit $status, ${runs:-?} executions, ${cov:-cov: ?}, log $build/fuzz-$target.log"
  return $status
}
export -f run_one
export build seconds

printf '%s\n' "${targets[@]}" |
  xargs -P "$jobs" -I{} bash -c 'run_one {}' && exit 0
echo "fuzz findings: see $build/findings/" >&2
exit 1
