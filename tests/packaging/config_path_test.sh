#!/bin/sh
# Builds tavik configured as a packager might: another configuration path,
# an absolute sysconfdir, blanks in the paths. Then the install test's
# cases check that the path reached the help text, the manual pages and
# the sample, and that the install stayed inside DESTDIR.
#   config_path_test.sh SOURCE WORKDIR
# WORKDIR keeps the build from one run to the next. CMAKE and CXX in the
# environment name the cmake and the compiler to use.
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
src=$1 build=$2/build
cmake=${CMAKE:-cmake}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$here/../lib/test-lib.sh"
prefix="/opt/tavik test"
config="/etc/tavik test/weather.conf"
"$cmake" -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DTAVIK_TESTS=OFF -DTAVIK_SERVER=OFF -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_INSTALL_SYSCONFDIR=/etc -DTAVIK_CONFIG_FILE="$config" \
  >"$work/configure.log" 2>&1 ||
  { sed 's/^/# /' "$work/configure.log"; bail_out "configuring failed"; }
"$cmake" --build "$build" -j2 >"$work/build.log" 2>&1 ||
  { sed 's/^/# /' "$work/build.log"; bail_out "the build failed"; }
"$here/install_test.sh" "$build" "$prefix/bin" "$prefix/share/man" /etc \
  "$prefix/share/bash-completion/completions" \
  "$prefix/share/zsh/site-functions" "$config"
