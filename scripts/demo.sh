#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: installs the missing Debian
# packages, builds the command-line tool and runs its end-to-end
# demonstration (restores of a VMware VM to Hyper-V, Amazon and kind 1401,
# and of a physical machine to VMware, on a temporary folder platform).
# Usage: scripts/demo.sh [demo options, e.g. --keep or --json]
# The build folder is "build", or ZY_BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZY_BUILD_DIR:-build}

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DZY_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" --target zyvmconvert
exec "$build/tools/zyvmconvert" demo "$@"
