#!/bin/sh
# shellcheck disable=SC2317 # the cases are run by test_case
# Every manual page passes mandoc's lint with nothing to say, and fits an
# 80-column terminal: rendered by mandoc at 80 columns, and by groff as
# man-db renders it for MANWIDTH=80, no line runs past the edge, and groff
# meets no line it cannot break (a table row or a word too wide). Checked
# in the sources and in the copies the build made with its configuration
# path; a page that a directory lacks is taken from the first one, so
# that cross-references resolve.
#   manpages_test.sh DIR...
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"
command -v mandoc >/dev/null || skip_all "mandoc is not installed"
# Bytes are columns in the renderers' ASCII output.
LC_ALL=C
export LC_ALL
groff=
if command -v groff >/dev/null; then
  groff=yes
else
  echo "# groff is not installed: the pages are measured by mandoc alone"
fi
first=$(cd "$1" && pwd)
bs=$(printf '\b')

# report TEXT: a failure, when TEXT says anything.
report() {
  [ -z "$1" ] || fail "$1"
}

# wide NAME: the lines of standard input wider than 80 columns, once the
# backspaces of bold and underlined text are taken out.
wide() {
  awk -v bs="$bs" -v name="$1" '
    { gsub("." bs, "") }
    length > 80 { print name ": " length " columns: " $0 }'
}

# lint DIR: mandoc's lint of DIR's pages. mandoc finds the pages they
# refer to in the directory it runs in: a copy of DIR's pages, beside
# those of the first directory that DIR lacks. Notes on the system's own
# page database (stale after a package installed pages of the same names)
# say nothing about these pages.
lint() {
  mkdir "$case_dir/lint"
  dir=$1
  set --
  for f in "$dir"/*.[1-9]; do
    cp "$f" "$case_dir/lint/"
    set -- "$@" "${f##*/}"
  done
  for f in "$first"/*.[1-9]; do
    [ -f "$case_dir/lint/${f##*/}" ] || cp "$f" "$case_dir/lint/"
  done
  report "$( (cd "$case_dir/lint" && mandoc -T lint "$@" 2>&1) |
    grep -v '^mandoc: outdated mandoc.db' || true)"
}

# mandoc_fits PAGE
mandoc_fits() {
  report "$(mandoc -T ascii -O width=80 "$1" | wide "mandoc ${1##*/}")"
}

# groff PAGE: groff's rendering of PAGE, as man-db's for MANWIDTH=80: a
# line length of 78 ens.
groff_page() {
  groff -mandoc -Tascii -P-cbou -rLL=78n -rLT=78n -wbreak "$1"
}

# groff_breaks PAGE
groff_breaks() {
  report "$(groff_page "$1" 2>&1 >/dev/null)"
}

# groff_fits PAGE
groff_fits() {
  report "$(groff_page "$1" 2>/dev/null | wide "groff ${1##*/}")"
}

for dir in "$@"; do
  test_case "$dir: mandoc's lint says nothing" lint "$dir"
  for page in "$dir"/*.[1-9]; do
    test_case "$page: 80 columns in mandoc" mandoc_fits "$page"
    [ -n "$groff" ] || continue
    test_case "$page: groff breaks every line" groff_breaks "$page"
    test_case "$page: 80 columns in groff" groff_fits "$page"
  done
done
test_done
