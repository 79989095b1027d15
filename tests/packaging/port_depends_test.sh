#!/bin/sh
# The FreeBSD port's TEST_DEPENDS names every FreeBSD package of the test
# lines of tools/packages ("-" is the base system's), and LIB_DEPENDS the
# expat that the build links.
#   port_depends_test.sh SOURCE
set -eu
src=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# makevar NAME: the words of the Makefile's NAME, continuation lines
# joined, one a line.
makevar() {
  awk -v name="$1" '
    { line = $0
      while (line ~ /\\$/ && (getline more) > 0) {
        sub(/\\$/, " ", line); line = line more
      } }
    line ~ "^" name "[+]?=" {
      sub(/^[^=]*=/, "", line)
      n = split(line, word, /[ \t]+/)
      for (i = 1; i <= n; i++) if (word[i] != "") print word[i] }' \
    "$src/dist/freebsd/Makefile"
}

# The package names of TEST_DEPENDS entries such as googletest>0:devel/googletest.
tests=$(makevar TEST_DEPENDS | sed 's/[<>=:].*//')
while read -r level _ pkg; do
  case $level/$pkg in test/-) continue ;; test/*) ;; *) continue ;; esac
  printf '%s\n' "$tests" | grep -qxF "$pkg" ||
    fail "TEST_DEPENDS lacks $pkg"
done <<LIST
$(grep -v '^[[:space:]]*#' "$src/tools/packages")
LIST
makevar LIB_DEPENDS | grep -q '^libexpat\.so:' || fail "LIB_DEPENDS lacks expat"

[ $failures -eq 0 ] || exit 1
echo "the port's TEST_DEPENDS names the test packages"
