#!/usr/bin/env bash
# Unpacks Debian's zlib source package into DIR (made if missing) and prints the
# path of the source tree:   scripts/zlib-source.sh DIR
# When apt knows no source packages yet, a deb-src entry is added that repeats
# the URI and key of the machine's own Debian entry for its release.
set -euo pipefail
dir=$1
existing=$(find "$dir" -maxdepth 2 -name zlib.h -path '*/zlib-*' 2>/dev/null | head -n 1 || true)
if [ -n "$existing" ]; then
  dirname "$existing"
  exit 0
fi

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
if ! apt-cache showsrc zlib >/dev/null 2>&1; then
  . /etc/os-release
  # The first Debian entry of the machine, in either source format.
  uri="" key=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    read -r uri key < <(awk -v suite="$VERSION_CODENAME" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && uri != "" && !done) {
          print uri, key; done = 1
        }
        types = suites = uri = key = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
      /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
      /^URIs:/ { uri = $2 }
      /^Signed-By:/ { key = $2 }
      END { flush() }' "$f") || true
    [ -n "$uri" ] && break
  done
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    # deb [option=value ...] URI SUITE COMPONENTS...
    read -r uri key < <(awk -v suite="$VERSION_CODENAME" '
      $1 != "deb" { next }
      {
        key = ""; i = 2
        if ($2 ~ /^\[/) {
          for (; i <= NF; i++) {
            if ($i ~ /signed-by=/) { key = $i; sub(/.*signed-by=/, "", key); sub(/\]$/, "", key) }
            if ($i ~ /\]$/) { i++; break }
          }
        }
        if ($(i + 1) == suite) { print $i, key; exit }
      }' /etc/apt/sources.list) || true
  fi
  if [ -z "$uri" ]; then
    echo "zlib-source: no Debian apt entry for $VERSION_CODENAME found to take the URI from" >&2
    exit 1
  fi
  {
    echo "Types: deb-src"
    echo "URIs: $uri"
    echo "Suites: $VERSION_CODENAME"
    echo "Components: main"
    [ -z "$key" ] || echo "Signed-By: $key"
  } | $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
  $sudo apt-get update -qq >&2
fi

mkdir -p "$dir"
(cd "$dir" && apt-get source -qq zlib >&2)
dirname "$(find "$dir" -maxdepth 2 -name zlib.h -path '*/zlib-*' | head -n 1)"
