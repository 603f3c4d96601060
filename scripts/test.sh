#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and
# runs every test suite.  Usage: scripts/test.sh [build-folder]
# The build's own output goes to <build>/build.log and is shown only when the
# build fails; the tests' output goes to <build>/test.log, and what is shown
# is the failed tests' output and the summary.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/install-deps.sh test
mkdir -p "$build"
log="$build/build.log"
echo "Building (log: $log) ..."
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DZY_WARNINGS_AS_ERRORS=ON -DZY_BUILD_TESTS=ON -DZY_BUILD_BENCH=ON &&
       cmake --build "$build"; } >"$log" 2>&1; then
  cat "$log"
  echo "The build failed; its output is above and in $log." >&2
  exit 1
fi
echo "Running the tests (log: $build/test.log) ..."
if ctest --test-dir "$build" -j "$(nproc)" --output-on-failure \
     >"$build/test.log" 2>&1; then
  sed -n '/tests passed/,$p' "$build/test.log"
  exit 0
fi
# The failed tests' output from this run, then the failed tests once more on
# their own, which tells a test that fails only beside others.
echo "The failed tests' output:"
sed '/tests passed/,$d' "$build/test.log" |
  grep -Ev '^ *Start +[0-9]+: |Passed +[0-9.]+ sec$|Skipped +[0-9.]+ sec$' || true
echo "The failed tests again, alone:"
ctest --test-dir "$build" --rerun-failed --output-on-failure 2>&1 |
  grep -E 'Test +#|tests passed' || true
sed -n '/tests passed/,$p' "$build/test.log"
exit 1
