#!/bin/sh
# shellcheck disable=SC2317 # the cases are run by test_case
# The FreeBSD port's TEST_DEPENDS names every FreeBSD package of the test
# lines of tools/packages ("-" is the base system's), and LIB_DEPENDS the
# expat that the build links.
#   port_depends_test.sh SOURCE
set -eu
src=$1
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"

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

test_depends() {
  # The package names of entries such as googletest>0:devel/googletest.
  tests=$(makevar TEST_DEPENDS | sed 's/[<>=:].*//')
  wanted=$(awk '!/^[ \t]*#/ && $1 == "test" && $3 != "-" { print $3 }' \
             "$src/tools/packages")
  for pkg in $wanted; do
    printf '%s\n' "$tests" | grep -qxF "$pkg" || fail "TEST_DEPENDS lacks $pkg"
  done
}

lib_depends() {
  makevar LIB_DEPENDS | grep -q '^libexpat\.so:' || fail "LIB_DEPENDS lacks expat"
}

test_case 'TEST_DEPENDS names the test packages' test_depends
test_case 'LIB_DEPENDS names expat' lib_depends
test_done
