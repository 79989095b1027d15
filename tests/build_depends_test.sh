#!/bin/sh
# debian/control's Build-Depends names every Debian package of the build
# and test lines of tools/packages, the test ones for the check alone
# (<!nocheck>); make and g++ come with build-essential, which Debian
# builds always have.
#   build_depends_test.sh SOURCE
set -eu
src=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The field's entries, one a line, continuation lines joined.
depends=$(awk '
  /^Build-Depends:/ { field = 1; sub(/^Build-Depends:/, ""); print; next }
  field && /^[ \t]/ { print; next }
  { field = 0 }' "$src/debian/control" | tr ',' '\n' |
  sed -e 's/^[ \t]*//' -e 's/[ \t]*$//' -e '/^$/d')

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
$(grep -v '^[[:space:]]*#' "$src/tools/packages")
EOF

[ $failures -eq 0 ] || exit 1
echo "Build-Depends names the build and test packages"
