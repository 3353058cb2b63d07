#!/usr/bin/env bash
# Checks the install rules and the tpk Debian package of a finished build:
# cmake --install into a scratch prefix must give exactly the programs, the
# manual pages and the trust configuration; cpack must make a package "tpk"
# with tpk and its page and computed dependencies, and the tpk unpacked from it
# into a scratch root must run and report the package's version.
#   scripts/install-check.sh [BUILD_DIR]      (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "install check: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
expected="bin/tpk
sbin/installer
share/installer/hash256-constants.txt
share/installer/known-digests.txt
share/installer/signer.public
share/man/man1/tpk.1.gz
share/man/man8/installer.8.gz"
installed=$(cd "$scratch/prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$expected" ] || fail "cmake --install gave:
$installed
expected:
$expected"

(cd "$build" && cpack -G DEB -B "$scratch/deb" >"$scratch/cpack.log" 2>&1) ||
  fail "cpack failed: $(cat "$scratch/cpack.log")"
packages=("$scratch"/deb/*.deb)
[ "${#packages[@]}" = 1 ] || fail "cpack made ${#packages[@]} packages: ${packages[*]}"
deb=${packages[0]}
[ "$(dpkg-deb -f "$deb" Package)" = tpk ] || fail "the package is not called tpk"
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libc6* ]] || fail "dependencies not computed: '$depends'"
contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | LC_ALL=C sort)
[ "$contents" = "./usr/bin/tpk
./usr/share/man/man1/tpk.1.gz" ] || fail "package contents:
$contents"

# The scratch root's package database is this machine's, so dpkg checks the
# computed dependencies against the libraries the unpacked tpk will run with.
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
dpkg --root="$root" --install "$deb" >"$scratch/dpkg.log" 2>&1 ||
  fail "dpkg could not install the package: $(cat "$scratch/dpkg.log")"
zcat "$root/usr/share/man/man1/tpk.1.gz" | grep -q '^\.TH TPK 1 ' || fail "the installed page is not tpk(1)"
version=$(dpkg-deb -f "$deb" Version)
reported=$("$root/usr/bin/tpk" --version)
[ "$reported" = "tpk $version" ] || fail "installed tpk reports '$reported', the package is $version"
echo "install check: $(basename "$deb") ($depends) installs and runs"
