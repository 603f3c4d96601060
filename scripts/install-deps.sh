#!/usr/bin/env bash
# Installs the Debian packages a job needs, when they are missing, without
# the packages they merely recommend (qemu's emulator would bring a desktop
# stack with it otherwise).  Runs as root (or through sudo when it is
# available).
# Usage: scripts/install-deps.sh [demo|test|all]
#   demo  building the tool and running its demonstration: the compiler and
#         libraries, qemu's block layer (qemu-utils, libnbd) for disk
#         images, qemu's x86 emulator and its UEFI firmware for the boot
#         checks (the default)
#   test  the demo's packages and what the test suites and benchmarks add:
#         GoogleTest, Google Benchmark, libvirt's validator and its
#         embedded QEMU driver for the domain XML we write, nasm for the boot checks' test guest, mtools,
#         mkfs.fat and sfdisk to make the Linux test guest's disks,
#         botocore's EC2 model for the import request we write
#   all   the tests' packages and clang with its libFuzzer runtime for the
#         fuzz targets (continuous integration)
set -euo pipefail

need=${1:-demo}
packages=(
  build-essential cmake ninja-build pkg-config
  libxerces-c-dev nlohmann-json3-dev libcli11-dev
  qemu-utils libnbd-dev
  qemu-system-x86 ovmf
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  binutils
  libvirt-clients libvirt-daemon-driver-qemu
  nasm
  mtools dosfstools fdisk
  python3-botocore
)
fuzz_packages=(
  clang libclang-rt-14-dev
)
case "$need" in
  demo) ;;
  test) packages+=("${test_packages[@]}") ;;
  all) packages+=("${test_packages[@]}" "${fuzz_packages[@]}") ;;
  *)
    echo "usage: $0 [demo|test|all]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
  --no-install-recommends "${missing[@]}"
