#!/bin/sh
# A machine without GoogleTest still configures: a message says the tests
# are off and none are generated. An installation-only build
# (-DTAVIK_TESTS=OFF) leaves the sample server out.
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
echo "tests and server follow the configuration"
