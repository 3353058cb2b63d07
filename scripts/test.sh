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

packages=(build-essential cmake pkg-config googletest libgtest-dev libbenchmark-dev
          zlib1g-dev libssl-dev libsodium-dev util-linux python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINSTALLER_WERROR=ON \
  -DINSTALLER_SANITIZE="$sanitize"
cmake --build "$build_dir" -j"$(nproc)"
cd "$build_dir"
ctest --output-on-failure -j"$(nproc)"
