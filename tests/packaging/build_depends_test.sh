#!/bin/sh
# debian/control's Build-Depends names every Debian package of the build
# and test lines of tools/packages, the test ones for the check alone
# (<!nocheck>); make and g++ come with build-essential, which Debian
# builds always have. The binary package's Depends names the run lines'
# packages and no other, beside the substitution variables.
#   build_depends_test.sh SOURCE
set -eu
src=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# field NAME: the entries of debian/control's field NAME, one a line,
# continuation lines joined.
field() {
  awk -v name="$1:" '
    index($0, name) == 1 { field = 1; sub(/^[^:]*:/, ""); print; next }
    field && /^[ \t]/ { print; next }
    { field = 0 }' "$src/debian/control" | tr ',' '\n' |
    sed -e 's/^[ \t]*//' -e 's/[ \t]*$//' -e '/^$/d'
}
depends=$(field Build-Depends)
runtime=$(field Depends | grep -v '^[$]{') || true
packages=$(grep -v '^[[:space:]]*#' "$src/tools/packages")

while read -r level deb _; do
  case $level in build | test) ;; *) continue ;; esac
  case $deb in make | g++) continue ;; esac
  entry=$(printf '%s\n' "$depends" | awk -v p="$deb" '$1 == p')
  if [ -z "$entry" ]; then
    fail "Build-Depends lacks $deb"
  elif [ "$level" = test ] && ! printf '%s\n' "$entry" | grep -q '<!nocheck>'; then
    fail "Build-Depends: $entry is for the tests alone, <!nocheck>"
  elif [ "$level" = build ] && printf '%s\n' "$entry" | grep -q '<!nocheck>'; then
    fail "Build-Depends: $entry is needed to build, not only to test"
  fi
done <<EOF
$packages
EOF

# Without netbase's /etc/services, a URL without a port fails.
run=$(printf '%s\n' "$packages" | awk '$1 == "run" { print $2 }')
for deb in $run; do
  printf '%s\n' "$runtime" | awk -v p="$deb" '$1 == p { found = 1 }
    END { exit !found }' || fail "Depends lacks $deb"
done
for deb in $(printf '%s\n' "$runtime" | awk '{ print $1 }'); do
  printf '%s\n' "$run" | grep -qxF "$deb" ||
    fail "Depends names $deb, which no run line of tools/packages needs"
done

[ $failures -eq 0 ] || exit 1
echo "Build-Depends names the build and test packages, Depends the run ones"
