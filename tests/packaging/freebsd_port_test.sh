#!/bin/sh
# The FreeBSD port's pkg-plist lists exactly what the build installs with
# the port's CMAKE_ARGS, CMAKE_ON and CMAKE_OFF, under a PREFIX of its own,
# with the modes a package needs and ${PREFIX}/etc/tavik.conf as the
# configuration path in the help text, the manual pages and the sample; the
# port's version is the project's.
#   freebsd_port_test.sh SOURCE-DIR BUILD-DIR
# CMAKE and CXX in the environment name the cmake and the compiler to use.
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
src=$1 build=$2
cmake=${CMAKE:-cmake}
here=$(cd "$(dirname "$0")" && pwd)
port=$src/dist/freebsd
prefix=/usr/tavik-port
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The port's cmake arguments, one a line, with ${PREFIX} filled in: what the
# ports framework passes besides the prefix and the build type.
args=$(awk '
  { line = $0
    while (line ~ /\\$/ && (getline next_line) > 0) {
      sub(/\\$/, " ", line); line = line next_line
    } }
  line ~ /^CMAKE_(ARGS|ON|OFF)[+]?=/ {
    name = line; sub(/[+]?=.*/, "", name)
    value = line; sub(/^[^=]*=/, "", value)
    n = split(value, word, /[ \t]+/)
    for (i = 1; i <= n; i++) {
      if (word[i] == "") continue
      if (name == "CMAKE_ARGS") print word[i]
      else print "-D" word[i] ":BOOL=" (name == "CMAKE_ON" ? "ON" : "OFF")
    } }' "$port/Makefile" | sed "s|\${PREFIX}|$prefix|g")
echo "port arguments: $args"

# A fresh cache, so that no setting of an earlier run outlives the Makefile.
rm -f "$build/CMakeCache.txt"
# shellcheck disable=SC2086
"$cmake" -S "$src" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release $args > "$stage/configure.log" 2>&1 ||
  { cat "$stage/configure.log"; exit 1; }
"$cmake" --build "$build" -j2 > "$stage/build.log" 2>&1 ||
  { cat "$stage/build.log"; exit 1; }

# The layout, the configuration path the port promises in the help text,
# the manual pages and the sample, and the sample's mode, which @sample
# copies: checked as for any install, into the tree looked at below.
"$here/install_test.sh" "$build" "$stage/root" "$prefix/bin" \
  "$prefix/share/man" "$prefix/etc" "$prefix/share/bash-completion/completions" \
  "$prefix/share/zsh/site-functions" "$prefix/etc/tavik.conf" ||
  fail "the install with the port's arguments"

outside=$(cd "$stage/root" && find . ! -type d | grep -v "^\.$prefix/") || true
[ -z "$outside" ] || fail "installed outside PREFIX: $outside"

# The ports framework compresses manual pages after the install.
(cd "$stage/root$prefix" && find . ! -type d) | sed 's|^\./||' |
  sed 's|^\(share/man/man[1-9]/.*\.[1-9]\)$|\1.gz|' | sort > "$stage/installed"
sed -e 's/^@sample\(([^)]*)\)\{0,1\} //' -e '/^@/d' "$port/pkg-plist" |
  sort > "$stage/plist"
diff -u "$stage/plist" "$stage/installed" > "$stage/diff" ||
  fail "pkg-plist (-) and the installed files (+) differ: $(cat "$stage/diff")"

mode() { stat -c %a "$1" 2>/dev/null || stat -f %Lp "$1"; }
for f in bin/tavik bin/tavik-status; do
  [ ! -f "$stage/root$prefix/$f" ] || [ "$(mode "$stage/root$prefix/$f")" = 755 ] ||
    fail "$f is mode $(mode "$stage/root$prefix/$f"), not 755"
done

! grep -n /usr/local "$port/files/pkg-message.in" ||
  fail "pkg-message names /usr/local instead of %%PREFIX%%"
version=$(sed -n 's/^project(tavik VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
grep -q "^DISTVERSION=[[:space:]]*$version\$" "$port/Makefile" ||
  fail "the port's DISTVERSION is not the project's version $version"

[ $failures -eq 0 ] || exit 1
echo "pkg-plist matches the install with the port's arguments"
