#!/usr/bin/env bash
# Installs the Debian packages the build, tests and benchmarks need, when
# they are missing: qemu's block layer (qemu-utils, libnbd) for disk images,
# libvirt's validator for the domain XML we write, qemu's x86 emulator and
# nasm for the boot checks, clang for the fuzz targets, botocore's EC2 model
# for the import request we write.  Runs as root (or through sudo when it is available).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libxerces-c-dev nlohmann-json3-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  binutils
  qemu-utils libnbd-dev
  libvirt-clients
  qemu-system-x86 ovmf nasm
  python3-botocore
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
