#!/bin/sh
# Every manual page passes mandoc's lint with nothing to say, and fits an
# 80-column terminal: rendered by mandoc at 80 columns, and by groff as
# man-db renders it for MANWIDTH=80, no line runs past the edge, and groff
# meets no line it cannot break (a table row or a word too wide). Checked
# in the sources and in the copies the build made with its configuration
# path; a page that a directory lacks is taken from the first one, so
# that cross-references resolve.
#   manpages_test.sh DIR...
set -eu
command -v mandoc >/dev/null || { echo "mandoc is not installed"; exit 77; }
# Bytes are columns in the renderers' ASCII output.
LC_ALL=C
export LC_ALL
groff=
if command -v groff >/dev/null; then
  groff=yes
else
  echo "groff is not installed: the pages are measured by mandoc alone"
fi
first=$(cd "$1" && pwd)
bs=$(printf '\b')
status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# report DIR TEXT: a failure in DIR, when TEXT says anything.
report() {
  [ -n "$2" ] || return 0
  printf '%s: %s\n' "$1" "$2"
  status=1
}

# wide NAME: the lines of standard input wider than 80 columns, once the
# backspaces of bold and underlined text are taken out.
wide() {
  awk -v bs="$bs" -v name="$1" '
    { gsub("." bs, "") }
    length > 80 { print name ": " length " columns: " $0 }'
}

# lint: mandoc's lint of $dir's pages. mandoc finds the pages they refer
# to in the directory it runs in: a copy of $dir's pages, beside those of
# the first directory that $dir lacks. Notes on the system's own page
# database (stale after a package installed pages of the same names) say
# nothing about these pages.
lint() {
  rm -rf "$work/lint"
  mkdir "$work/lint"
  set --
  for f in "$dir"/*.[1-9]; do
    cp "$f" "$work/lint/"
    set -- "$@" "${f##*/}"
  done
  for f in "$first"/*.[1-9]; do
    [ -f "$work/lint/${f##*/}" ] || cp "$f" "$work/lint/"
  done
  (cd "$work/lint" && mandoc -T lint "$@" 2>&1) |
    grep -v '^mandoc: outdated mandoc.db' || true
}

for dir in "$@"; do
  report "$dir" "$(lint)"
  for page in "$dir"/*.[1-9]; do
    name=${page##*/}
    report "$dir" "$(mandoc -T ascii -O width=80 "$page" | wide "mandoc $name")"
    [ -n "$groff" ] || continue
    # man-db's MANWIDTH=80 is a line length of 78 ens.
    set -- -mandoc -Tascii -P-cbou -rLL=78n -rLT=78n -wbreak "$page"
    report "$dir" "$(groff "$@" 2>&1 >/dev/null)"
    report "$dir" "$(groff "$@" 2>/dev/null | wide "groff $name")"
  done
done
[ $status -ne 0 ] || echo "manual pages lint clean, 80 columns wide"
exit $status
