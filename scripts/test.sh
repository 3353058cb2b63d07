#!/usr/bin/env bash
# Installs the missing build dependencies (Debian 12, non-interactive), builds
# everything with warnings as errors and runs every test.
#   scripts/test.sh             plain build in build/; then the install rules and
#                               the tpk Debian package (scripts/install-check.sh)
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh --powerpc   the device's build (32-bit big-endian PowerPC, static) in
#                               build-ppc/, every test program run under qemu-ppc;
#                               prints the size of the stripped installer
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
sanitize=OFF
powerpc=no
case "${1:-}" in
  --sanitize) build_dir=build-asan sanitize=ON ;;
  --powerpc) build_dir=build-ppc powerpc=yes ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--sanitize | --powerpc]" >&2; exit 2 ;;
esac

if [ "$powerpc" = no ]; then
  bash scripts/install-packages.sh build-essential cmake pkg-config googletest libgtest-dev libbenchmark-dev zlib1g-dev libssl-dev libsodium-dev util-linux python3 mandoc dpkg-dev
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINSTALLER_WERROR=ON \
    -DINSTALLER_TESTS=ON -DINSTALLER_BENCHMARKS=ON \
    -DINSTALLER_SANITIZE="$sanitize"
else
  # The device has neither libcrypto nor libsodium, and Debian has no PowerPC zlib
  # package: the build uses the built-in SHA-1 and compiles zlib's sources, taken
  # from Debian's zlib source package.
  bash scripts/install-packages.sh build-essential dpkg-dev cmake g++-powerpc-linux-gnu qemu-user googletest util-linux python3
  zlib_dir=$(bash scripts/zlib-source.sh "$build_dir/zlib")
  cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc-linux-gnu.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINSTALLER_WERROR=ON \
    -DINSTALLER_TESTS=ON -DINSTALLER_BENCHMARKS=OFF -DINSTALLER_BUILTIN_SHA1=ON \
    -DINSTALLER_ZLIB_SOURCE_DIR="$PWD/$zlib_dir"
fi
cmake --build "$build_dir" -j"$(nproc)"
if [ "$powerpc" = yes ]; then
  # What the device's flash has to hold, so that growth shows in CI's output.
  stripped=$(mktemp)
  powerpc-linux-gnu-strip -o "$stripped" "$build_dir/installer"
  echo "installer (powerpc, static, stripped): $(stat -c %s "$stripped") bytes"
  rm -f "$stripped"
fi
(cd "$build_dir" && ctest --output-on-failure -j"$(nproc)")
if [ "$build_dir" = build ]; then
  bash scripts/install-check.sh "$build_dir"
fi
