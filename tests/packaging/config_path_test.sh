#!/bin/sh
# Builds and installs tavik configured as a packager might: another
# configuration path, an absolute sysconfdir, blanks in the paths. Then the
# install test checks that the path reached the help text, the manual pages
# and the sample, and that the install stayed inside DESTDIR.
#   config_path_test.sh SOURCE WORKDIR
# CMAKE and CXX in the environment name the cmake and the compiler to use.
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
src=$1 work=$2
cmake=${CMAKE:-cmake}
here=$(cd "$(dirname "$0")" && pwd)
prefix="/opt/tavik test"
config="/etc/tavik test/weather.conf"
mkdir -p "$work"
"$cmake" -S "$src" -B "$work/build" -DCMAKE_BUILD_TYPE=Debug \
  -DTAVIK_TESTS=OFF -DTAVIK_SERVER=OFF -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_INSTALL_SYSCONFDIR=/etc -DTAVIK_CONFIG_FILE="$config" \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
"$cmake" --build "$work/build" -j2 >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; exit 1; }
exec "$here/install_test.sh" "$work/build" "$work/dest" "$prefix/bin" \
  "$prefix/share/man" /etc "$prefix/share/bash-completion/completions" \
  "$prefix/share/zsh/site-functions" "$config"
