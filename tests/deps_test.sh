#!/bin/sh
# tools/deps with packages missing: a package name no system has, added to
# a copy of the list, and packages that stand-in dpkg-query and pkg report
# missing. On PATH the stand-ins alone (dpkg-query, apt-get, pkg, id,
# uname) and the few real tools the script uses, so a case without apt-get
# is a PATH without it, and nothing is ever installed.
#   deps_test.sh SOURCE
set -eu
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The script beside a copy of its list with one package too many.
mkdir "$work/tools"
cp "$src/tools/deps" "$work/tools/"
{ cat "$src/tools/packages"
  echo "build  tavik-no-such-package  tavik-no-such-package"; } \
  > "$work/tools/packages"

real=$PATH
mkdir "$work/bin"
for t in awk cat dirname grep mktemp rm; do
  ln -s "$(PATH=$real command -v "$t")" "$work/bin/$t"
done
# The stand-ins read the case's settings from files in $work: missing (the
# packages not installed, one a line; "-" is no package either), uid, os
# and apt-status; apt-get appends its arguments to apt.log and "installs"
# by emptying missing, unless apt-status says noop.
cat > "$work/bin/dpkg-query" <<EOF
#!/bin/sh
for p; do :; done
[ "\$p" != - ] && ! grep -qx "\$p" "$work/missing" || exit 1
echo "install ok installed"
EOF
cat > "$work/bin/pkg" <<EOF
#!/bin/sh
[ "\$1" = -N ] && exit 0
[ "\$3" != - ] && ! grep -qx "\$3" "$work/missing"
EOF
cat > "$work/bin/apt-get" <<EOF
#!/bin/sh
echo "\$*" >> "$work/apt.log"
status=\$(cat "$work/apt-status")
[ "\$status" != noop ] || exit 0
[ "\$1" != install ] || [ "\$status" -ne 0 ] || : > "$work/missing"
exit "\$status"
EOF
cat > "$work/bin/id" <<EOF
#!/bin/sh
cat "$work/uid"
EOF
cat > "$work/bin/uname" <<EOF
#!/bin/sh
cat "$work/os"
EOF
chmod +x "$work/bin/"*

# case NAME LEVEL UID OS APT MISSING STATUS STDERR APT-CALLS: runs
# tools/deps LEVEL as user UID on OS, with apt-get (APT: yes, no, noop for
# one that installs nothing, or the status it fails with) and the packages MISSING (blank-separated); it must
# exit STATUS, print STDERR on standard error, nothing on standard output,
# and leave apt-get's calls (separated by |) as APT-CALLS.
case_() {
  name=$1 level=$2 uid=$3 os=$4 apt=$5 missing=$6 status=$7 err=$8 calls=$9
  # shellcheck disable=SC2086 # one package a word
  printf '%s\n' $missing > "$work/missing"
  echo "$uid" > "$work/uid"
  echo "$os" > "$work/os"
  : > "$work/apt.log"
  case $apt in
  yes) echo 0 > "$work/apt-status" ;;
  no) mv "$work/bin/apt-get" "$work/bin/apt-get.off" ;;
  *) echo "$apt" > "$work/apt-status" ;;
  esac
  got=0
  PATH=$work/bin "$work/tools/deps" "$level" >"$work/out" 2>"$work/err" ||
    got=$?
  [ "$apt" != no ] || mv "$work/bin/apt-get.off" "$work/bin/apt-get"
  [ "$got" -eq "$status" ] || fail "$name: exit $got, not $status"
  [ ! -s "$work/out" ] || fail "$name: standard output: $(cat "$work/out")"
  [ "$(cat "$work/err")" = "$err" ] ||
    fail "$name: standard error: $(cat "$work/err")"
  got=$(tr '\n' '|' < "$work/apt.log" | sed 's/|$//')
  [ "$got" = "$calls" ] || fail "$name: apt-get calls: $got"
}

install="update -qq|install -y -qq --no-install-recommends"
as_root="deps: packages are missing; as root, run:"
case_ "nothing missing" test 1000 Linux yes "" 0 "" ""
case_ "user" test 1000 Linux yes "libexpat1-dev tavik-no-such-package" 1 \
  "$as_root apt-get install libexpat1-dev tavik-no-such-package" ""
case_ "root without apt-get" test 0 Linux no "tavik-no-such-package" 1 \
  "$as_root apt-get install tavik-no-such-package" ""
case_ "root installs" test 0 Linux yes "libgtest-dev tavik-no-such-package" 0 \
  "deps: installing libgtest-dev tavik-no-such-package (apt-get install)" \
  "$install libgtest-dev tavik-no-such-package"
case_ "apt-get fails" build 0 Linux 100 "tavik-no-such-package" 1 \
  "deps: installing tavik-no-such-package (apt-get install)
deps: apt-get could not install tavik-no-such-package" "update -qq"
case_ "apt-get installs nothing" test 0 Linux noop "tavik-no-such-package" 1 \
  "deps: installing tavik-no-such-package (apt-get install)
deps: still missing after apt-get: tavik-no-such-package" \
  "$install tavik-no-such-package"
case_ "the demo needs no test package" build 1000 Linux yes "libgtest-dev" 0 \
  "" ""
case_ "the tests need no ci package" test 1000 Linux yes "clang valgrind" 0 \
  "" ""
case_ "the tests need GoogleTest" test 1000 Linux yes "libgtest-dev" 1 \
  "$as_root apt-get install libgtest-dev" ""
case_ "ci needs the sanitizers' clang" ci 1000 Linux yes "clang" 1 \
  "$as_root apt-get install clang" ""
# FreeBSD: pkg's own names, never installed by the script, root or not.
case_ "FreeBSD" test 0 FreeBSD yes "expat googletest cmake" 1 \
  "$as_root pkg install cmake expat googletest" ""
case_ "FreeBSD base system" test 0 FreeBSD yes "libseccomp-dev" 0 "" ""

# The real dpkg-query, for the one package that no system has: a user is
# told the command, and every other package is left out of it. The list
# holds dpkg itself beside it, which every dpkg system has.
if dpkg=$(command -v dpkg-query); then
  ln -sf "$dpkg" "$work/bin/dpkg-query"
  printf '%s\n' "build dpkg -" "build tavik-no-such-package -" \
    > "$work/tools/packages"
  case_ "real dpkg-query" build 1000 Linux yes "" 1 \
    "$as_root apt-get install tavik-no-such-package" ""
fi

[ $failures -eq 0 ] || exit 1
echo "missing packages are installed or named"
