#!/usr/bin/env bash
# Installs the missing build dependencies (Debian 12, non-interactive), builds
# everything with warnings as errors and runs every test.
#   scripts/test.sh             plain build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
sanitize=OFF
if [ "${1:-}" = "--sanitize" ]; then
  build_dir=build-asan
  sanitize=ON
fi

bash scripts/install-packages.sh build-essential cmake pkg-config googletest libgtest-dev libbenchmark-dev zlib1g-dev libssl-dev libsodium-dev util-linux python3

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINSTALLER_WERROR=ON \
  -DINSTALLER_TESTS=ON -DINSTALLER_BENCHMARKS=ON \
  -DINSTALLER_SANITIZE="$sanitize"
cmake --build "$build_dir" -j"$(nproc)"
cd "$build_dir"
ctest --output-on-failure -j"$(nproc)"
