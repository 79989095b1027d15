#!/bin/sh
# A machine without GoogleTest still configures: a message says the tests
# are off and none are generated. An installation-only build
# (-DTAVIK_TESTS=OFF) leaves the sample server out. The sandbox is on by
# default where there is one, -DTAVIK_SANDBOX=OFF leaves it out, and so do
# AddressSanitizer's and LeakSanitizer's flags; on Linux a machine without
# libseccomp is told what to install or pass.
#   optional_test.sh SOURCE WORKDIR
# CMAKE and CXX in the environment name the cmake and the compiler to use.
set -eu
src=$1 work=$2
cmake=${CMAKE:-cmake}
fail() { echo "$*"; exit 1; }
rm -rf "$work"
mkdir -p "$work"
configure() {
  dir=$1
  shift
  "$cmake" -S "$src" -B "$work/$dir" "$@" >"$work/$dir.log" 2>&1 ||
    { cat "$work/$dir.log"; fail "configuring $dir failed"; }
}
configure hidden -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
grep -q "GoogleTest was not found: the tests are off" "$work/hidden.log" ||
  { cat "$work/hidden.log"; fail "no message that the tests are off"; }
[ ! -e "$work/hidden/CTestTestfile.cmake" ] || fail "tests generated"
[ -d "$work/hidden/CMakeFiles/tavik.dir" ] || fail "no tavik target"
configure install-only -DTAVIK_TESTS=OFF
[ ! -e "$work/install-only/CMakeFiles/weather-server.dir" ] ||
  fail "installation-only build has the sample server"

# The sandbox: compiled in by default where the system has one (with
# libseccomp linked on Linux), left out with -DTAVIK_SANDBOX=OFF.
flags=CMakeFiles/tavikcore.dir/flags.make
link=CMakeFiles/tavik.dir/link.txt
case $(uname -s) in
  Linux)   want="Sandbox: seccomp" ;;
  FreeBSD) want="Sandbox: Capsicum" ;;
  *)       want="There is no sandbox on" ;;
esac
grep -q "$want" "$work/install-only.log" ||
  { cat "$work/install-only.log"; fail "no line saying '$want'"; }
if [ "$want" != "There is no sandbox on" ]; then
  grep -q -- -DTAVIK_SANDBOX "$work/install-only/$flags" ||
    fail "the default build has no sandbox"
fi
if [ "$(uname -s)" = Linux ]; then
  grep -q seccomp "$work/install-only/$link" || fail "libseccomp is not linked"
fi
configure off -DTAVIK_TESTS=OFF -DTAVIK_SANDBOX=OFF
grep -q "Sandbox: off" "$work/off.log" ||
  { cat "$work/off.log"; fail "no line saying the sandbox is off"; }
! grep -q TAVIK_SANDBOX "$work/off/$flags" || fail "the sandbox is compiled in"
! grep -q seccomp "$work/off/$link" || fail "libseccomp is linked"

# Flags that ask for AddressSanitizer or LeakSanitizer, which cannot run
# inside the sandbox, turn it off with a line that says so; other
# sanitizers leave it on. The build above is configured again, so that the
# compiler need not link with the sanitizers' libraries.
sanitized() {
  "$cmake" -S "$src" -B "$work/install-only" -DCMAKE_CXX_FLAGS= \
    -DCMAKE_EXE_LINKER_FLAGS= "-D$1=$2" >"$work/sanitized.log" 2>&1 ||
    { cat "$work/sanitized.log"; fail "configuring with $1=$2 failed"; }
  if [ "$3" = off ]; then
    grep -q "Sandbox: off, as the flags ask for AddressSanitizer" \
      "$work/sanitized.log" ||
      { cat "$work/sanitized.log"; fail "$1=$2: no line saying the sandbox is off"; }
    ! grep -q TAVIK_SANDBOX "$work/install-only/$flags" ||
      fail "$1=$2: the sandbox is compiled in"
  else
    grep -q -- -DTAVIK_SANDBOX "$work/install-only/$flags" ||
      fail "$1=$2: the sandbox is left out"
  fi
}
if [ "$want" != "There is no sandbox on" ]; then
  sanitized CMAKE_CXX_FLAGS "-g -fsanitize=address" off
  sanitized CMAKE_CXX_FLAGS "-fsanitize=undefined,leak -g" off
  sanitized CMAKE_EXE_LINKER_FLAGS -fsanitize=leak off
  sanitized CMAKE_CXX_FLAGS -fsanitize=undefined on
fi

# Without libseccomp (its folders hidden from the search; expat's found as
# before), configuring a Linux build stops and says what to do.
if [ "$(uname -s)" = Linux ]; then
  cache=$work/install-only/CMakeCache.txt
  value() { sed -n "s/^$1:[A-Z]*=//p" "$cache"; }
  hide="$(value SECCOMP_INCLUDE_DIR);$(dirname "$(value SECCOMP_LIBRARY)")"
  if "$cmake" -S "$src" -B "$work/no-seccomp" -DTAVIK_TESTS=OFF \
      -DEXPAT_INCLUDE_DIR="$(value EXPAT_INCLUDE_DIR)" \
      -DEXPAT_LIBRARY="$(value EXPAT_LIBRARY)" \
      -DCMAKE_IGNORE_PATH="$hide" >"$work/no-seccomp.log" 2>&1; then
    fail "configured without libseccomp"
  fi
  message=$(tr -s ' \n' '  ' <"$work/no-seccomp.log")
  case $message in
    *"libseccomp was not found"*"apt-get install libseccomp-dev"*"-DTAVIK_SANDBOX=OFF"*) ;;
    *) cat "$work/no-seccomp.log"; fail "no message naming libseccomp-dev" ;;
  esac
fi
echo "tests, server and sandbox follow the configuration"
