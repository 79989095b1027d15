#!/bin/sh
# The manual pages pass mandoc's lint with nothing to say.
set -eu
command -v mandoc >/dev/null || { echo "mandoc is not installed"; exit 77; }
# Run from the pages' directory so that each finds the other.
# With tavik's pages installed on the machine (the Debian package, say)
# mandoc finds them there and notes that the manual database lacks them:
# a remark on the machine, not on these pages.
out=$(cd "$1" && mandoc -T lint tavik.1 tavik.conf.5 2>&1 |
      grep -v '^mandoc: outdated mandoc.db lacks ') || true
if [ -n "$out" ]; then echo "$out"; exit 1; fi
echo "manual pages lint clean"
