#!/usr/bin/env bash
# Installation benchmark, run by hand (not in CI):
#   bench/install_bench.sh [RUNS]        (default 5 runs of each measurement)
# Builds three packages with tpk: 100 MiB in about 2,000 files of mixed
# compressibility, 10,000 small files, and 1 MiB. Each is staged on a fresh
# scratch root and installed with "installer -r" RUNS times. Beside it, on the
# same data, it times the floor: sha1sum of the package file twice (the
# installer reads and hashes it twice: verification, then installation) plus
# inflating the same tree and extracting it from a gzip'd tar archive. Prints
# per package the median of each, their ratio and the installer's peak
# resident memory.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}

bash scripts/install-packages.sh build-essential cmake pkg-config zlib1g-dev libssl-dev util-linux time
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target installer tpk >/dev/null
tpk=$PWD/build/tpk
installer=$PWD/build/installer
key=$PWD/tests/data/dev-signer.secret
run=()
[ "$(id -u)" = 0 ] || run=(unshare -r)

work=$(mktemp -d /var/tmp/install-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1704067200

# Trees: random (does not compress), text-like (compresses well) and zeros.
make_tree() {  # DIR FILES BYTES-PER-FILE
  python3 - "$@" <<'PY'
import os, random, sys
root, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(1)
words = [b"route", b"flash", b"packet", b"bridge", b"vlan", b"queue", b"firewall", b"\n"]
for i in range(count):
    d = os.path.join(root, "opt/bench/d%03d" % (i // 100))
    os.makedirs(d, exist_ok=True)
    kind = i % 5  # three in five random, one text-like, one zeros
    if kind < 3:
        data = rng.randbytes(size)
    elif kind == 3:
        data = b" ".join(rng.choice(words) for _ in range(size // 6))[:size]
    else:
        data = bytes(size)
    with open(os.path.join(d, "f%05d" % i), "wb") as f:
        f.write(data)
PY
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc -l; }

bench() {  # NAME FILES BYTES-PER-FILE
  local name=$1 tree=$work/$1
  make_tree "$tree" "$2" "$3"
  "$tpk" build -o "$work/$name.tpk" --name "$name" --version 1.0 --owner root:root \
    --mtime "$SOURCE_DATE_EPOCH" --key "$key" "$tree" >/dev/null
  tar -C "$tree" -czf "$work/$name.tar.gz" .
  local inst=() floor=() peak=()
  for _ in $(seq "$runs"); do
    local root=$work/root
    rm -rf "$root" && mkdir -p "$root/flash/var/pdb" "$root/ram/pdb" "$root/rw" "$root/flash/rw/pckg"
    cp "$work/$name.tpk" "$root/flash/rw/pckg/"
    sync
    local s e
    s=$(date +%s.%N)
    /usr/bin/time -f '%M' -o "$work/rss" "${run[@]}" "$installer" -q -r "$root" >/dev/null
    e=$(date +%s.%N)
    inst+=("$(echo "$e - $s" | bc -l)")
    peak+=("$(cat "$work/rss")")
    [ -e "$root/flash/var/pdb/$name/files" ] || { echo "installation of $name failed" >&2; exit 1; }
    rm -rf "$work/out" && mkdir "$work/out"
    s=$(date +%s.%N)
    sha1sum "$work/$name.tpk" >/dev/null
    sha1sum "$work/$name.tpk" >/dev/null
    tar -C "$work/out" -xzf "$work/$name.tar.gz"
    e=$(date +%s.%N)
    floor+=("$(echo "$e - $s" | bc -l)")
  done
  local mi mf mp
  mi=$(printf '%s\n' "${inst[@]}" | median)
  mf=$(printf '%s\n' "${floor[@]}" | median)
  mp=$(printf '%s\n' "${peak[@]}" | median)
  printf '%-8s %10s bytes  installer %.3f s  floor %.3f s  ratio %.2f  peak RSS %s KiB\n' \
    "$name" "$(stat -c %s "$work/$name.tpk")" "$mi" "$mf" "$(echo "$mi / $mf" | bc -l)" "$mp"
  rm -rf "$tree" "$work/out" "$work/root"
}

bench big 2000 78643      # a package of about 100 MiB in 2,000 files
bench small 10000 200     # 10,000 small files
bench one 2000 525        # a package of about 1 MiB, as many files as the big one
