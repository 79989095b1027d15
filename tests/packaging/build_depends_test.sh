#!/bin/sh
# shellcheck disable=SC2317 # the cases are run by test_case
# debian/control's Build-Depends names every Debian package of the build
# and test lines of tools/packages, the test ones for the check alone
# (<!nocheck>); make and g++ come with build-essential, which Debian
# builds always have. The binary package's Depends names the run lines'
# packages and no other, beside the substitution variables.
#   build_depends_test.sh SOURCE
set -eu
src=$1
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"

# field NAME: the entries of debian/control's field NAME, one a line,
# continuation lines joined.
field() {
  awk -v name="$1:" '
    index($0, name) == 1 { field = 1; sub(/^[^:]*:/, ""); print; next }
    field && /^[ \t]/ { print; next }
    { field = 0 }' "$src/debian/control" | tr ',' '\n' |
    sed -e 's/^[ \t]*//' -e 's/[ \t]*$//' -e '/^$/d'
}

# packages LEVEL: the Debian packages of the LEVEL lines of tools/packages.
packages() {
  awk -v level="$1" '!/^[ \t]*#/ && $1 == level { print $2 }' \
    "$src/tools/packages"
}

# runtime: the packages that Depends names, beside the substitution
# variables.
runtime() {
  field Depends | awk '!/^[$]{/ { print $1 }'
}

# build_depends LEVEL: Build-Depends names each package of the LEVEL
# lines, marked <!nocheck> exactly when those are the test lines.
build_depends() {
  depends=$(field Build-Depends)
  for deb in $(packages "$1"); do
    case $deb in make | g++) continue ;; esac
    entry=$(printf '%s\n' "$depends" | awk -v p="$deb" '$1 == p')
    if [ -z "$entry" ]; then
      fail "Build-Depends lacks $deb"
    elif [ "$1" = test ] && ! printf '%s\n' "$entry" | grep -q '<!nocheck>'; then
      fail "Build-Depends: $entry is for the tests alone, <!nocheck>"
    elif [ "$1" = build ] && printf '%s\n' "$entry" | grep -q '<!nocheck>'; then
      fail "Build-Depends: $entry is needed to build, not only to test"
    fi
  done
}

# Without netbase's /etc/services, a URL without a port fails.
depends_has_run_packages() {
  runtime=$(runtime)
  for deb in $(packages run); do
    printf '%s\n' "$runtime" | grep -qxF "$deb" || fail "Depends lacks $deb"
  done
}

depends_has_nothing_else() {
  run=$(packages run)
  for deb in $(runtime); do
    printf '%s\n' "$run" | grep -qxF "$deb" ||
      fail "Depends names $deb, which no run line of tools/packages needs"
  done
}

test_case 'Build-Depends names the build packages, for the build' \
  build_depends build
test_case 'Build-Depends names the test packages, for the check alone' \
  build_depends test
test_case 'Depends names the packages the installed program needs' \
  depends_has_run_packages
test_case 'Depends names no package that the program does not need' \
  depends_has_nothing_else
test_done
