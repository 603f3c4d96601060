#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: installs the missing Debian
# packages, builds the command-line tool and runs its end-to-end
# demonstration (restores of a VMware VM to Hyper-V, Amazon and kind 1401,
# and of a physical machine to VMware, on a temporary folder platform).
# Usage: scripts/demo.sh [demo options, e.g. --keep or --json]
# With the Linux test guest made (ctest -L linux_guest), the KVM destination
# is also booted with a real OS: the disks its kernel sees are listed.
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
tool="$build/tools/zyvmconvert"
"$tool" demo "$@"

# Where the Linux test guest has been made (the tests make it into the
# build folder; ZY_LINUX_GUEST names another), web01 is restored once more
# to kind 1401 (KVM) with the guest on its OS disk, and the boot check's OS
# check shows the disks the guest's kernel sees.
guest=${ZY_LINUX_GUEST:-$build/tests/linux-guest}
case " $* " in *" --json "*) exit 0 ;; esac
[ -f "$guest/guest.stamp" ] || exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash scripts/linux-guest-vm.sh examples "$guest" "$work/root" bios pvscsi
"$tool" --root "$work/root" --platform-config examples/platform-config.json \
  --log "$work/log" restore examples/requests/web01-restore.json --from vmware \
  --to 1401 --json >"$work/restore.json"
folder=$(sed -n 's/^ *"folder": *"\(.*\)",*$/\1/p' "$work/restore.json")
echo "== web01 with the Linux test guest, restored to kind 1401: OS check =="
"$tool" boot-check "$folder" || true
