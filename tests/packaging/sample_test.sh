#!/bin/sh
# shellcheck disable=SC2317 # the cases are called through test_case
# The sample configuration the build installs keeps to 80 columns whatever
# the paths it was configured with: the system-wide file's path stands on
# a line of its own, "# PATH", the one line that may be longer, and only
# when the path needs it.
#   sample_test.sh SOURCE
# CMAKE in the environment names the cmake to use.
src=$1
# shellcheck source=tests/lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"
cmake=${CMAKE:-cmake}

# sample_fits PREFIX CONFIG: configured with this prefix and system-wide
# file (the defaults where empty), the sample names the file on a line of
# its own, and every other line keeps to 80 columns.
sample_fits() {
  prefix=$1 config=$2
  set -- -S "$src" -B "$case_dir/build" -DTAVIK_TESTS=OFF
  [ -z "$prefix" ] || set -- "$@" "-DCMAKE_INSTALL_PREFIX=$prefix"
  [ -z "$config" ] || set -- "$@" "-DTAVIK_CONFIG_FILE=$config"
  config=${config:-/usr/local/etc/tavik.conf}
  # Configuring alone writes the sample the install copies.
  "$cmake" "$@" > "$case_dir/log" 2>&1 ||
    { fail "configuring failed: $(cat "$case_dir/log")"; return; }
  sample=$case_dir/build/tavik.conf.sample
  grep -qxF "# $config" "$sample" ||
    fail "the sample has no line \"# $config\""
  awk -v path="# $config" 'length($0) > 80 && $0 != path' "$sample" \
    > "$case_dir/long"
  [ ! -s "$case_dir/long" ] || fail "past 80 columns: $(cat "$case_dir/long")"
}

# A system-wide file of 78 characters, so that "# PATH" ends in column 80,
# and one of 141.
long=/opt/site-installed-software/weather-utilities/tavik-release-12
longer=$long/a-folder-name-long-enough-to-take-the-path-past-eighty-columns
test_case 'the default paths' sample_fits '' ''
test_case 'a path that fills the line to column 80' \
  sample_fits "$long" "$long/etc/tavik.conf"
test_case 'a path longer than 80 columns' \
  sample_fits "$longer" "$longer/etc/tavik.conf"
test_done
