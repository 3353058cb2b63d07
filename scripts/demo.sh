#!/usr/bin/env bash
# The main job on a sandbox device root, from nothing:
#   scripts/demo.sh [ROOT]      (default ROOT: /tmp/installer-demo)
# Installs the missing build dependencies, builds the installer and tpk, makes
# sample packages with tpk (built, signed with the development key, bundled and
# checked), stages them in ROOT/flash/rw/pckg/, runs the installer on ROOT and
# shows what it installed; then stages a second release of one package and runs
# the installer again, which upgrades it.
# The installer changes its root with -r, so it runs as root or, failing that,
# inside "unshare -r".
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-/tmp/installer-demo}

bash scripts/install-packages.sh build-essential cmake pkg-config zlib1g-dev libssl-dev util-linux

cmake -S . -B build -DINSTALLER_TESTS=OFF -DINSTALLER_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target installer tpk
tpk=$PWD/build/tpk
key=$PWD/tests/data/dev-signer.secret   # development key: for sandboxes only

run=()
[ "$(id -u)" = 0 ] || run=(unshare -r)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1704067200

echo "== building sample packages with tpk"
mkdir -p "$work/hello/opt/hello/bin" "$work/extras/opt/hello/share"
printf '#!/bin/sh\necho hello\n' > "$work/hello/opt/hello/bin/hello"
chmod 0755 "$work/hello/opt/hello/bin/hello"
ln -s hello "$work/hello/opt/hello/bin/hi"
printf 'greeting=hello\n' > "$work/extras/opt/hello/share/hello.conf"
printf 'echo installed > /var/log/hello.log\n' > "$work/oninstall"

"$tpk" build -o "$work/hello.tpk" --name hello --version 1.2beta3 --note "greets the world" \
  --provides 'hello-api=1.2:1' --oninstall "$work/oninstall" --owner root:root \
  --mtime "$SOURCE_DATE_EPOCH" --key "$key" "$work/hello"
"$tpk" build -o "$work/hello-extras.tpk" --name hello-extras --version 1.2beta3 \
  --depends 'hello>=1.2beta3' --owner root:root --mtime "$SOURCE_DATE_EPOCH" --key "$key" \
  "$work/extras"
"$tpk" bundle -o "$work/hello-suite.tpk" --name hello-suite --version 1.2beta3 \
  --note "hello and its extras" --disabled hello-extras --key "$key" \
  "$work/hello.tpk" "$work/hello-extras.tpk"

echo "== checking them as the installer will"
"$tpk" verify "$work/hello.tpk" "$work/hello-extras.tpk" "$work/hello-suite.tpk"
"$tpk" info "$work/hello-suite.tpk"
"$tpk" contents "$work/hello.tpk"

echo "== staging them on a sandbox device root: $root"
rm -rf "$root"
mkdir -p "$root/flash/var/pdb" "$root/ram/pdb" "$root/rw" "$root/flash/rw/pckg"
cp "$work/hello-suite.tpk" "$root/flash/rw/pckg/"
# Install scripts run with bash in a child whose root is /flash: give the
# sandbox's /flash a bash, the libraries it needs, and a /dev.
mkdir -p "$root/flash/bin" "$root/flash/dev" "$root/flash/var/log"
cp /bin/bash "$root/flash/bin/bash"
for lib in $(ldd /bin/bash | grep -o '/[^ ]*'); do
  mkdir -p "$root/flash$(dirname "$lib")" && cp -L "$lib" "$root/flash$lib"
done

show() {
  echo "== installer -r $root --show"
  "${run[@]}" ./build/installer -r "$root" --show
  echo "== the files below $root/flash (the database in var/pdb aside)"
  (cd "$root/flash" && find . \( -path ./var/pdb -o -path ./bin -o -path ./lib -o -path ./lib64 \
    -o -path ./usr -o -path ./dev \) -prune -o ! -type d -print | sort)
}

echo "== installer -r $root"
"${run[@]}" ./build/installer -r "$root"
show

echo "== a second release of hello-extras, staged and installed over the first"
printf 'greeting=hello again\n' > "$work/extras/opt/hello/share/hello.conf"
"$tpk" build -o "$work/hello-extras-1.3.tpk" --name hello-extras --version 1.3 \
  --depends 'hello>=1.2beta3' --owner root:root --mtime "$SOURCE_DATE_EPOCH" --key "$key" \
  "$work/extras"
cp "$work/hello-extras-1.3.tpk" "$root/flash/rw/pckg/"
"${run[@]}" ./build/installer -r "$root"
show
echo "== $root/flash/opt/hello/share/hello.conf"
cat "$root/flash/opt/hello/share/hello.conf"
echo "== what the install script of hello wrote: $root/flash/var/log/hello.log"
cat "$root/flash/var/log/hello.log"
echo "== the message log $root/flash/postlog"
cat "$root/flash/postlog"
