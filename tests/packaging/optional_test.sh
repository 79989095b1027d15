#!/bin/sh
# shellcheck disable=SC2317 # the cases are run by test_case
# A machine without GoogleTest still configures: a message says the tests
# are off and none are generated. An installation-only build
# (-DTAVIK_TESTS=OFF) leaves the sample server out. The sandbox is on by
# default where there is one, -DTAVIK_SANDBOX=OFF leaves it out, and so do
# AddressSanitizer's and LeakSanitizer's flags; on Linux a machine without
# libseccomp is told what to install or pass.
#   optional_test.sh SOURCE
# CMAKE and CXX in the environment name the cmake and the compiler to use.
set -eu
src=$1
cmake=${CMAKE:-cmake}
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"
flags=CMakeFiles/tavikcore.dir/flags.make
link=CMakeFiles/tavik.dir/link.txt
case $(uname -s) in
  Linux)   sandbox="Sandbox: seccomp" ;;
  FreeBSD) sandbox="Sandbox: Capsicum" ;;
  *)       sandbox="There is no sandbox on" ;;
esac

# The installation-only build, configured once: the cases only read it.
reference=$work/install-only
"$cmake" -S "$src" -B "$reference" -DTAVIK_TESTS=OFF >"$reference.log" 2>&1 ||
  { sed 's/^/# /' "$reference.log"; bail_out "configuring failed"; }

# configure DIR [ARGUMENTS]: the source configured in $case_dir/DIR, its
# output in $case_dir/DIR.log; false, and a failure of the case, when
# that fails.
configure() {
  dir=$1
  shift
  "$cmake" -S "$src" -B "$case_dir/$dir" "$@" >"$case_dir/$dir.log" 2>&1 ||
    { fail "configuring $dir failed: $(cat "$case_dir/$dir.log")"; return 1; }
}

without_googletest() {
  configure hidden -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON || return 0
  grep -q "GoogleTest was not found: the tests are off" "$case_dir/hidden.log" ||
    fail "no message that the tests are off: $(cat "$case_dir/hidden.log")"
  [ ! -e "$case_dir/hidden/CTestTestfile.cmake" ] || fail "tests generated"
  [ -d "$case_dir/hidden/CMakeFiles/tavik.dir" ] || fail "no tavik target"
}

# An installation-only build: no sample server, and the sandbox compiled
# in where the system has one (with libseccomp linked on Linux).
installation_only() {
  [ ! -e "$reference/CMakeFiles/weather-server.dir" ] ||
    fail "installation-only build has the sample server"
  grep -q "$sandbox" "$reference.log" ||
    fail "no line saying '$sandbox': $(cat "$reference.log")"
  if [ "$sandbox" != "There is no sandbox on" ]; then
    grep -q -- -DTAVIK_SANDBOX "$reference/$flags" ||
      fail "the default build has no sandbox"
  fi
  if [ "$(uname -s)" = Linux ]; then
    grep -q seccomp "$reference/$link" || fail "libseccomp is not linked"
  fi
}

sandbox_off() {
  configure off -DTAVIK_TESTS=OFF -DTAVIK_SANDBOX=OFF || return 0
  grep -q "Sandbox: off" "$case_dir/off.log" ||
    fail "no line saying the sandbox is off: $(cat "$case_dir/off.log")"
  ! grep -q TAVIK_SANDBOX "$case_dir/off/$flags" ||
    fail "the sandbox is compiled in"
  ! grep -q seccomp "$case_dir/off/$link" || fail "libseccomp is linked"
}

# Flags that ask for AddressSanitizer or LeakSanitizer, which cannot run
# inside the sandbox, turn it off with a line that says so; other
# sanitizers leave it on. One build is configured again for each row, so
# that the compiler need not link with the sanitizers' libraries.
sanitizers() {
  configure build -DTAVIK_TESTS=OFF || return 0
  sanitized CMAKE_CXX_FLAGS "-g -fsanitize=address" off
  sanitized CMAKE_CXX_FLAGS "-fsanitize=undefined,leak -g" off
  sanitized CMAKE_EXE_LINKER_FLAGS -fsanitize=leak off
  sanitized CMAKE_CXX_FLAGS -fsanitize=undefined on
}
# sanitized VARIABLE VALUE on|off: the build configured again with
# VARIABLE=VALUE (and no other flags) has the sandbox on or off.
sanitized() {
  log=$case_dir/sanitized.log
  if ! "$cmake" -S "$src" -B "$case_dir/build" -DCMAKE_CXX_FLAGS= \
      -DCMAKE_EXE_LINKER_FLAGS= "-D$1=$2" >"$log" 2>&1; then
    fail "configuring with $1=$2 failed: $(cat "$log")"
  elif [ "$3" = off ]; then
    grep -q "Sandbox: off, as the flags ask for AddressSanitizer" "$log" ||
      fail "$1=$2: no line saying the sandbox is off: $(cat "$log")"
    ! grep -q TAVIK_SANDBOX "$case_dir/build/$flags" ||
      fail "$1=$2: the sandbox is compiled in"
  else
    grep -q -- -DTAVIK_SANDBOX "$case_dir/build/$flags" ||
      fail "$1=$2: the sandbox is left out"
  fi
}

# Without libseccomp (its folders hidden from the search; expat's found as
# before), configuring a Linux build stops and says what to do.
no_libseccomp() {
  hide="$(value SECCOMP_INCLUDE_DIR);$(dirname "$(value SECCOMP_LIBRARY)")"
  if "$cmake" -S "$src" -B "$case_dir/no-seccomp" -DTAVIK_TESTS=OFF \
      -DEXPAT_INCLUDE_DIR="$(value EXPAT_INCLUDE_DIR)" \
      -DEXPAT_LIBRARY="$(value EXPAT_LIBRARY)" \
      -DCMAKE_IGNORE_PATH="$hide" >"$case_dir/no-seccomp.log" 2>&1; then
    fail "configured without libseccomp"
  fi
  message=$(tr -s ' \n' '  ' <"$case_dir/no-seccomp.log")
  case $message in
    *"libseccomp was not found"*"apt-get install libseccomp-dev"*"-DTAVIK_SANDBOX=OFF"*) ;;
    *) fail "no message naming libseccomp-dev: $(cat "$case_dir/no-seccomp.log")" ;;
  esac
}
# value NAME: the value of NAME in the installation-only build's cache.
value() {
  sed -n "s/^$1:[A-Z]*=//p" "$reference/CMakeCache.txt"
}

test_case 'without GoogleTest the tests are off, and said to be' \
  without_googletest
test_case 'an installation-only build: no server, the sandbox in' \
  installation_only
test_case '-DTAVIK_SANDBOX=OFF leaves the sandbox out' sandbox_off
if [ "$sandbox" != "There is no sandbox on" ]; then
  test_case "AddressSanitizer's and LeakSanitizer's flags turn the sandbox off" \
    sanitizers
fi
if [ "$(uname -s)" = Linux ]; then
  test_case 'without libseccomp configuring stops and says what to do' \
    no_libseccomp
fi
test_done
