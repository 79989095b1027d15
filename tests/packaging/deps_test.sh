#!/bin/sh
# tools/deps with packages missing: a package name no system has, added to
# a copy of the list, and packages that stand-in dpkg-query and pkg report
# missing. On PATH the stand-ins alone (dpkg-query, apt-get, pkg, id,
# uname) and the few real tools the script uses, so a case without apt-get
# is a PATH without it, and nothing is ever installed. With CDPATH naming a
# decoy tree, tools/deps and tools/test still use their own tree (tools/test
# with a stand-in cmake and ctest, so nothing is built).
#   deps_test.sh SOURCE
set -eu
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The scripts beside a copy of the list with one package too many.
mkdir "$work/tools"
cp "$src/tools/deps" "$src/tools/test" "$work/tools/"
{ cat "$src/tools/packages"
  echo "build  tavik-no-such-package  tavik-no-such-package"; } \
  > "$work/tools/packages"

real=$PATH
mkdir "$work/bin"
for t in awk cat dirname grep mktemp rm; do
  ln -s "$(PATH=$real command -v "$t")" "$work/bin/$t"
done
# standin NAME: a command of the test's own in $work/bin, its script on
# standard input. Only these are made executable: chmod on the links
# above would change the real tools.
standin() {
  cat > "$work/bin/$1"
  chmod +x "$work/bin/$1"
}
# The stand-ins read the case's settings from files in $work: missing (the
# packages not installed, one a line; "-" is no package either), uid, os
# and apt-status; apt-get appends its arguments to apt.log and "installs"
# by emptying missing, unless apt-status says noop.
standin dpkg-query <<EOF
#!/bin/sh
for p; do :; done
[ "\$p" != - ] && ! grep -qx "\$p" "$work/missing" || exit 1
echo "install ok installed"
EOF
standin pkg <<EOF
#!/bin/sh
[ "\$1" = -N ] && exit 0
[ "\$3" != - ] && ! grep -qx "\$3" "$work/missing"
EOF
standin apt-get <<EOF
#!/bin/sh
echo "\$*" >> "$work/apt.log"
status=\$(cat "$work/apt-status")
[ "\$status" != noop ] || exit 0
[ "\$1" != install ] || [ "\$status" -ne 0 ] || : > "$work/missing"
exit "\$status"
EOF
standin id <<EOF
#!/bin/sh
cat "$work/uid"
EOF
standin uname <<EOF
#!/bin/sh
cat "$work/os"
EOF
# cmake and ctest note where they ran and with what.
for t in cmake ctest; do
  standin "$t" <<EOF
#!/bin/sh
echo "\$PWD: $t \$*" >> "$work/build.log"
EOF
done
# The decoy tree: its tools/deps leaves a mark, and its list names a
# package that no case has.
mkdir -p "$work/decoy/tools"
standin ../decoy/tools/deps <<EOF
#!/bin/sh
echo "\$0 \$*" >> "$work/decoy.log"
EOF
echo "build  tavik-decoy-package  -" > "$work/decoy/tools/packages"

# case NAME LEVEL UID OS APT MISSING STATUS STDERR APT-CALLS: runs
# tools/deps LEVEL from the top of its tree as user UID on OS, with apt-get
# (APT: yes, no, noop for one that installs nothing, or the status it fails
# with) and the packages MISSING (blank-separated); it must exit STATUS,
# print STDERR on standard error, nothing on standard output, and leave
# apt-get's calls (separated by |) as APT-CALLS. CDPATH is $cdpath.
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
  (cd "$work" &&
     CDPATH=$cdpath PATH=$work/bin tools/deps "$level") >"$work/out" \
    2>"$work/err" || got=$?
  [ "$apt" != no ] || mv "$work/bin/apt-get.off" "$work/bin/apt-get"
  [ "$got" -eq "$status" ] || fail "$name: exit $got, not $status"
  [ ! -s "$work/out" ] || fail "$name: standard output: $(cat "$work/out")"
  [ "$(cat "$work/err")" = "$err" ] ||
    fail "$name: standard error: $(cat "$work/err")"
  got=$(tr '\n' '|' < "$work/apt.log" | sed 's/|$//')
  [ "$got" = "$calls" ] || fail "$name: apt-get calls: $got"
}

install="update -qq|install -y -qq --no-install-recommends --no-remove"
as_root="deps: packages are missing; as root, run:"
tell="$as_root apt-get update && apt-get install"
cdpath=
case_ "nothing missing" test 1000 Linux yes "" 0 "" ""
case_ "user" test 1000 Linux yes "libexpat1-dev tavik-no-such-package" 1 \
  "$tell libexpat1-dev tavik-no-such-package" ""
case_ "root without apt-get" test 0 Linux no "tavik-no-such-package" 1 \
  "$tell tavik-no-such-package" ""
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
  "$tell libgtest-dev" ""
case_ "ci needs the sanitizers' clang" ci 1000 Linux yes "clang" 1 \
  "$tell clang" ""
# FreeBSD: pkg's own names, never installed by the script, root or not.
case_ "FreeBSD" test 0 FreeBSD yes "expat googletest cmake" 1 \
  "$as_root pkg install cmake expat googletest" ""
case_ "FreeBSD base system" test 0 FreeBSD yes "libseccomp-dev" 0 "" ""

# CDPATH naming the decoy tree, which has a tools directory too: tools/deps
# reads its own list, and tools/test runs its own tools/deps and builds its
# own tree.
cdpath=$work/decoy
case_ "CDPATH elsewhere" test 1000 Linux yes \
  "libexpat1-dev tavik-decoy-package" 1 "$tell libexpat1-dev" ""
: > "$work/missing"
got=0
(cd "$work" && CDPATH=$cdpath PATH=$work/bin tools/test) >"$work/out" 2>&1 ||
  got=$?
[ "$got" -eq 0 ] || fail "tools/test, CDPATH elsewhere: exit $got: $(cat "$work/out")"
[ ! -e "$work/decoy.log" ] ||
  fail "tools/test, CDPATH elsewhere: ran $(cat "$work/decoy.log")"
printf '%s\n' "$work: cmake -S . -B build" "$work: cmake --build build -j2" \
  "$work: ctest --test-dir build -j2 --output-on-failure" > "$work/want"
diff "$work/want" "$work/build.log" > "$work/diff" ||
  fail "tools/test, CDPATH elsewhere: built (>) not as (<): $(cat "$work/diff")"
cdpath=

# The real dpkg-query, for the one package that no system has: a user is
# told the command, and every other package is left out of it. The list
# holds dpkg itself beside it, which every dpkg system has.
if dpkg=$(command -v dpkg-query); then
  ln -sf "$dpkg" "$work/bin/dpkg-query"
  printf '%s\n' "build dpkg -" "build tavik-no-such-package -" \
    > "$work/tools/packages"
  case_ "real dpkg-query" build 1000 Linux yes "" 1 \
    "$tell tavik-no-such-package" ""
fi

[ $failures -eq 0 ] || exit 1
echo "missing packages are installed or named"
