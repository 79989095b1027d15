#!/bin/sh
# shellcheck disable=SC2317 # the cases are run by test_case
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
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$here/../lib/test-lib.sh"
# shellcheck source-path=SCRIPTDIR source=../lib/install.sh
. "$here/../lib/install.sh"
port=$src/dist/freebsd
prefix=/usr/tavik-port

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
printf '%s\n' "port arguments:" "$args" | sed 's/^/# /'

# A fresh cache, so that no setting of an earlier run outlives the Makefile.
rm -f "$build/CMakeCache.txt"
# shellcheck disable=SC2086 # one argument a word
"$cmake" -S "$src" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release $args > "$work/configure.log" 2>&1 ||
  { sed 's/^/# /' "$work/configure.log"; bail_out "configuring failed"; }
"$cmake" --build "$build" -j2 > "$work/build.log" 2>&1 ||
  { sed 's/^/# /' "$work/build.log"; bail_out "the build failed"; }
save_install_record "$build"

# The layout and the configuration path the port promises in the help
# text, the manual pages and the sample, checked as for any install.
install_checks() {
  "$here/install_test.sh" "$build" "$prefix/bin" "$prefix/share/man" \
    "$prefix/etc" "$prefix/share/bash-completion/completions" \
    "$prefix/share/zsh/site-functions" "$prefix/etc/tavik.conf" \
    > "$case_dir/out" 2>&1 ||
    fail "the install with the port's arguments:
$(cat "$case_dir/out")"
}

inside_prefix() {
  install_into "$build" "$case_dir/root" || return 0
  outside=$(cd "$case_dir/root" && find . ! -type d | grep -v "^\.$prefix/") ||
    true
  [ -z "$outside" ] || fail "installed outside PREFIX: $outside"
}

# The ports framework compresses manual pages after the install.
plist() {
  install_into "$build" "$case_dir/root" || return 0
  (cd "$case_dir/root$prefix" && find . ! -type d) | sed 's|^\./||' |
    sed 's|^\(share/man/man[1-9]/.*\.[1-9]\)$|\1.gz|' | sort \
    > "$case_dir/installed"
  sed -e 's/^@sample\(([^)]*)\)\{0,1\} //' -e '/^@/d' "$port/pkg-plist" |
    sort > "$case_dir/plist"
  diff -u "$case_dir/plist" "$case_dir/installed" > "$case_dir/diff" ||
    fail "pkg-plist (-) and the installed files (+) differ: $(cat "$case_dir/diff")"
}

# Under umask 077, as install_into installs.
programs_mode() {
  install_into "$build" "$case_dir/root" || return 0
  for f in bin/tavik bin/tavik-status; do
    file=$case_dir/root$prefix/$f
    [ -f "$file" ] || continue
    got=$(stat -c %a "$file" 2>/dev/null || stat -f %Lp "$file")
    [ "$got" = 755 ] || fail "$f is mode $got, not 755"
  done
}

pkg_message() {
  ! grep -n /usr/local "$port/files/pkg-message.in" ||
    fail "pkg-message names /usr/local instead of %%PREFIX%%"
}

distversion() {
  version=$(sed -n 's/^project(tavik VERSION \([0-9.]*\).*/\1/p' \
              "$src/CMakeLists.txt")
  grep -q "^DISTVERSION=[[:space:]]*$version\$" "$port/Makefile" ||
    fail "the port's DISTVERSION is not the project's version $version"
}

test_case "the install with the port's arguments passes the install test" \
  install_checks
test_case 'nothing is installed outside PREFIX' inside_prefix
test_case 'pkg-plist lists what the build installs' plist
test_case 'the programs are mode 755' programs_mode
test_case 'pkg-message names %%PREFIX%%, not /usr/local' pkg_message
test_case "the port's version is the project's" distversion
restore_install_record "$build"
test_done
