#!/bin/sh
# The manual pages pass mandoc's lint with nothing to say: the sources and
# the copies the build made with its configuration path.
#   manpages_test.sh DIR...
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
command -v mandoc >/dev/null || { echo "mandoc is not installed"; exit 77; }
status=0
for dir in "$@"; do
  # Run from the pages' directory so that each finds the other. Notes on
  # the system's own page database (stale after a package installed pages
  # of the same names) say nothing about these pages.
  out=$(cd "$dir" && mandoc -T lint tavik.1 tavik.conf.5 2>&1 |
        grep -v '^mandoc: outdated mandoc.db') || true
  if [ -n "$out" ]; then echo "$dir: $out"; status=1; fi
done
[ $status -ne 0 ] || echo "manual pages lint clean"
exit $status
