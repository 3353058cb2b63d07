#!/usr/bin/env bash
# Builds the installer and runs it on a sandbox device root:
#   scripts/demo.sh [ROOT]      (default ROOT: /tmp/installer-demo)
# The installer changes its root with -r, so this runs as root or, failing
# that, inside "unshare -r".
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-/tmp/installer-demo}

packages=(build-essential cmake pkg-config zlib1g-dev libssl-dev util-linux)
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

cmake -S . -B build -DINSTALLER_TESTS=OFF -DINSTALLER_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target installer

run=()
[ "$(id -u)" = 0 ] || run=(unshare -r)

rm -rf "$root"
mkdir -p "$root/flash/var/pdb" "$root/ram/pdb" "$root/rw"
echo "== installer -r $root"
"${run[@]}" ./build/installer -r "$root"
echo "== installer -r $root --show"
"${run[@]}" ./build/installer -r "$root" --show
