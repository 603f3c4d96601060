#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: installs the missing Debian
# packages, builds the command-line tool and runs its end-to-end
# demonstration (restores of a VMware VM to Hyper-V, Amazon and kind 1401,
# and of a physical machine to VMware, on a temporary folder platform).
# Usage: scripts/demo.sh [demo options, e.g. --keep or --json]
# Only what the demo needs is installed and built (no test suites or
# benchmarks; scripts/test.sh builds them in the same folder).
# The build folder is "build", or ZY_BUILD_DIR.  The build's own output goes
# to <build>/build.log and is shown only when the build fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZY_BUILD_DIR:-build}

bash scripts/install-deps.sh demo
mkdir -p "$build"
log="$build/build.log"
echo "Building zyvmconvert (log: $log) ..."
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DZY_WARNINGS_AS_ERRORS=ON -DZY_BUILD_TESTS=OFF -DZY_BUILD_BENCH=OFF &&
       cmake --build "$build" --target zyvmconvert; } >"$log" 2>&1; then
  cat "$log"
  echo "The build failed; its output is above and in $log." >&2
  exit 1
fi
exec "$build/tools/zyvmconvert" demo "$@"
