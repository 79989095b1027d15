#!/bin/sh
# shellcheck disable=SC2317 # the cases are run by test_case
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
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"

# The world each case runs in, made once here and copied into the case's
# folder: tools/, the scripts beside a copy of the list with one package
# too many; bin/, stand-ins and the few real tools the scripts use;
# decoy/, another tree with a tools directory, whose tools/deps leaves a
# mark (decoy/ran) and whose list names a package that no case has. The
# stand-ins read the case's settings from files beside bin/: missing (the
# packages not installed, one a line; "-" is no package either), uid, os
# and apt-status; apt-get appends its arguments to apt.log and "installs"
# by emptying missing, unless apt-status says noop; cmake and ctest note
# in build.log where they ran and with what.
template=$work/world
mkdir "$template" "$template/tools" "$template/bin" "$template/decoy" \
  "$template/decoy/tools"
cp "$src/tools/deps" "$src/tools/test" "$template/tools/"
{ cat "$src/tools/packages"
  echo "build  tavik-no-such-package  tavik-no-such-package"; } \
  > "$template/tools/packages"
for t in awk cat dirname grep mktemp rm; do
  ln -s "$(command -v "$t")" "$template/bin/$t"
done
# standin NAME: a command of the world's own, its script on standard
# input. Only these are made executable: chmod on the links to the real
# tools would change those.
standin() {
  cat > "$template/bin/$1"
  chmod +x "$template/bin/$1"
}
standin dpkg-query <<'EOF'
#!/bin/sh
for p; do :; done
[ "$p" != - ] && ! grep -qx "$p" "${0%/*}/../missing" || exit 1
echo "install ok installed"
EOF
standin pkg <<'EOF'
#!/bin/sh
[ "$1" = -N ] && exit 0
[ "$3" != - ] && ! grep -qx "$3" "${0%/*}/../missing"
EOF
standin apt-get <<'EOF'
#!/bin/sh
echo "$*" >> "${0%/*}/../apt.log"
status=$(cat "${0%/*}/../apt-status")
[ "$status" != noop ] || exit 0
[ "$1" != install ] || [ "$status" -ne 0 ] || : > "${0%/*}/../missing"
exit "$status"
EOF
standin id <<'EOF'
#!/bin/sh
cat "${0%/*}/../uid"
EOF
standin uname <<'EOF'
#!/bin/sh
cat "${0%/*}/../os"
EOF
for t in cmake ctest; do
  standin "$t" <<EOF
#!/bin/sh
echo "\$PWD: $t \$*" >> "\${0%/*}/../build.log"
EOF
done
standin ../decoy/tools/deps <<'EOF'
#!/bin/sh
echo "$0 $*" >> "${0%/*}/../ran"
EOF
echo "build  tavik-decoy-package  -" > "$template/decoy/tools/packages"

# world: a copy of the world in the case's folder.
world() {
  cp -RP "$template/." "$case_dir/"
}

# machine UID OS APT MISSING: the world's settings: the user UID on OS,
# apt-get (APT: yes, no, noop for one that installs nothing, or the status
# it fails with) and the packages MISSING (blank-separated).
machine() {
  echo "$1" > "$case_dir/uid"
  echo "$2" > "$case_dir/os"
  case $3 in
  yes) echo 0 > "$case_dir/apt-status" ;;
  no) rm "$case_dir/bin/apt-get" ;;
  *) echo "$3" > "$case_dir/apt-status" ;;
  esac
  # shellcheck disable=SC2086 # one package a word
  printf '%s\n' $4 > "$case_dir/missing"
  : > "$case_dir/apt.log"
}

# deps LEVEL STATUS STDERR APT-CALLS [CDPATH]: runs tools/deps LEVEL from
# the top of the world's tree; it must exit STATUS, print STDERR on
# standard error, nothing on standard output, and leave apt-get's calls
# (separated by |) as APT-CALLS.
deps() {
  got=0
  (cd "$case_dir" &&
     CDPATH=${5:-} PATH=$case_dir/bin tools/deps "$1") >"$case_dir/out" \
    2>"$case_dir/err" || got=$?
  [ "$got" -eq "$2" ] || fail "exit $got, not $2"
  [ ! -s "$case_dir/out" ] || fail "standard output: $(cat "$case_dir/out")"
  [ "$(cat "$case_dir/err")" = "$3" ] ||
    fail "standard error: $(cat "$case_dir/err")"
  got=$(tr '\n' '|' < "$case_dir/apt.log" | sed 's/|$//')
  [ "$got" = "$4" ] || fail "apt-get calls: $got"
}

# deps_case LEVEL UID OS APT MISSING STATUS STDERR APT-CALLS: tools/deps
# LEVEL on that machine, as deps checks it.
deps_case() {
  world
  machine "$2" "$3" "$4" "$5"
  deps "$1" "$6" "$7" "$8"
}

install="update -qq|install -y -qq --no-install-recommends --no-remove"
as_root="deps: packages are missing; as root, run:"
tell="$as_root apt-get update && apt-get install"
test_case 'nothing missing' deps_case test 1000 Linux yes "" 0 "" ""
test_case 'user' deps_case test 1000 Linux yes \
  "libexpat1-dev tavik-no-such-package" 1 \
  "$tell libexpat1-dev tavik-no-such-package" ""
test_case 'root without apt-get' deps_case test 0 Linux no \
  "tavik-no-such-package" 1 "$tell tavik-no-such-package" ""
test_case 'root installs' deps_case test 0 Linux yes \
  "libgtest-dev tavik-no-such-package" 0 \
  "deps: installing libgtest-dev tavik-no-such-package (apt-get install)" \
  "$install libgtest-dev tavik-no-such-package"
test_case 'apt-get fails' deps_case build 0 Linux 100 \
  "tavik-no-such-package" 1 \
  "deps: installing tavik-no-such-package (apt-get install)
deps: apt-get could not install tavik-no-such-package" "update -qq"
test_case 'apt-get installs nothing' deps_case test 0 Linux noop \
  "tavik-no-such-package" 1 \
  "deps: installing tavik-no-such-package (apt-get install)
deps: still missing after apt-get: tavik-no-such-package" \
  "$install tavik-no-such-package"
test_case 'the demo needs no test package' deps_case build 1000 Linux yes \
  "libgtest-dev" 0 "" ""
test_case 'the tests need no ci package' deps_case test 1000 Linux yes \
  "clang valgrind" 0 "" ""
test_case 'the tests need GoogleTest' deps_case test 1000 Linux yes \
  "libgtest-dev" 1 "$tell libgtest-dev" ""
test_case "ci needs the sanitizers' clang" deps_case ci 1000 Linux yes \
  "clang" 1 "$tell clang" ""
# FreeBSD: pkg's own names, never installed by the script, root or not.
test_case 'FreeBSD' deps_case test 0 FreeBSD yes "expat googletest cmake" 1 \
  "$as_root pkg install cmake expat googletest" ""
test_case 'FreeBSD base system' deps_case test 0 FreeBSD yes \
  "libseccomp-dev" 0 "" ""

# CDPATH naming the decoy tree, which has a tools directory too: tools/deps
# reads its own list.
cdpath_elsewhere() {
  world
  machine 1000 Linux yes "libexpat1-dev tavik-decoy-package"
  deps test 1 "$tell libexpat1-dev" "" "$case_dir/decoy"
}
test_case 'CDPATH elsewhere' cdpath_elsewhere

# tools/test, with CDPATH naming the decoy tree, runs its own tools/deps
# and builds its own tree.
test_cdpath_elsewhere() {
  world
  machine 1000 Linux yes ""
  got=0
  (cd "$case_dir" && CDPATH=$case_dir/decoy PATH=$case_dir/bin tools/test) \
    >"$case_dir/out" 2>&1 || got=$?
  [ "$got" -eq 0 ] || fail "exit $got: $(cat "$case_dir/out")"
  [ ! -e "$case_dir/decoy/ran" ] || fail "ran $(cat "$case_dir/decoy/ran")"
  printf '%s\n' "$case_dir: cmake -S . -B build" \
    "$case_dir: cmake --build build -j2" \
    "$case_dir: ctest --test-dir build -j2 --output-on-failure" \
    > "$case_dir/want"
  diff "$case_dir/want" "$case_dir/build.log" > "$case_dir/diff" ||
    fail "built (>) not as (<): $(cat "$case_dir/diff")"
}
test_case 'tools/test, CDPATH elsewhere' test_cdpath_elsewhere

# The real dpkg-query, for the one package that no system has: a user is
# told the command, and every other package is left out of it. The list
# holds dpkg itself beside it, which every dpkg system has.
real_dpkg_query() {
  world
  ln -sf "$(command -v dpkg-query)" "$case_dir/bin/dpkg-query"
  printf '%s\n' "build dpkg -" "build tavik-no-such-package -" \
    > "$case_dir/tools/packages"
  machine 1000 Linux yes ""
  deps build 1 "$tell tavik-no-such-package" ""
}
if command -v dpkg-query >/dev/null; then
  test_case 'real dpkg-query' real_dpkg_query
fi
test_done
