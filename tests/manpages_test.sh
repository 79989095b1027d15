#!/bin/sh
# The manual pages pass mandoc's lint with nothing to say: the sources and
# the copies the build made with its configuration path. Where man-db's man
# is there, the pages listed in $fit also fit 80 columns: troff breaks
# every line.
#   manpages_test.sh DIR...
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
command -v mandoc >/dev/null || { echo "mandoc is not installed"; exit 77; }
pages='tavik.1 tavik-status.1 tavik.conf.5'
fit=tavik-status.1
status=0
for dir in "$@"; do
  # Run from the pages' directory so that each finds the other. Notes on
  # the system's own page database (stale after a package installed pages
  # of the same names) say nothing about these pages.
  # shellcheck disable=SC2086 # the list of names
  out=$(cd "$dir" && mandoc -T lint $pages 2>&1 |
        grep -v '^mandoc: outdated mandoc.db') || true
  if [ -n "$out" ]; then echo "$dir: $out"; status=1; fi
  if man --help 2>&1 | grep -q -e --warnings; then
    for page in $fit; do
      out=$(MANWIDTH=80 man --warnings -l "$dir/$page" 2>&1 >/dev/null) || true
      if [ -n "$out" ]; then echo "$dir/$page at 80 columns: $out"; status=1; fi
    done
  else
    echo "no man-db man: the width at 80 columns is not checked"
  fi
done
[ $status -ne 0 ] || echo "manual pages lint clean"
exit $status
