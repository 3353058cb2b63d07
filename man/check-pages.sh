#!/bin/sh
# Checks manual pages: the roff linter must have nothing to say about them, and
# rendering them must give no warning. Exits 77 (the test is skipped) when the
# linter is not installed.
#   check-pages.sh PAGE...
if ! command -v mandoc >/dev/null 2>&1; then
  echo "mandoc is not installed: the manual pages are not checked"
  exit 77
fi
status=0
for page in "$@"; do
  findings=$(mandoc -T lint -W warning "$page" 2>&1) || status=1
  if command -v man >/dev/null 2>&1; then
    rendering=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || status=1
    [ -z "$rendering" ] || findings="$findings${findings:+
}$rendering"
  fi
  if [ -n "$findings" ]; then
    printf '%s\n' "$findings"
    status=1
  fi
done
exit $status
