# shellcheck shell=sh
# shellcheck disable=SC2154 # $work and $case_dir are test-lib.sh's
# Installing a build in a case, for the packaging tests; sourced after
# test-lib.sh:
#
#   # shellcheck source-path=SCRIPTDIR source=../lib/install.sh
#   . "$(dirname "$0")/../lib/install.sh"
#
# CMAKE in the environment names the cmake to use.
#
# An install adds the directories it made to the build's record
# (install_directories.txt), which the uninstall target reads. Those of a
# case's DESTDIR mean nothing once the case's folder is gone:
# save_install_record BUILD, before the cases, and restore_install_record
# BUILD, after them, leave the record as it was.

# install_into BUILD DESTDIR: BUILD installed into DESTDIR under umask 077,
# as root's may be (the case's umask, which ends with the case), in a
# minute at most; false, and a failure of the case, when it fails.
install_into() {
  umask 077
  # shellcheck disable=SC2016 # the inner sh's arguments
  within 60 sh -c 'exec env DESTDIR="$1" "$2" --install "$3" >"$4" 2>&1' \
    _ "$2" "${CMAKE:-cmake}" "$1" "$case_dir/install.log" ||
    { fail "the install failed: $(cat "$case_dir/install.log")"; return 1; }
}

# save_install_record BUILD
save_install_record() {
  if [ -e "$1/install_directories.txt" ]; then
    cp "$1/install_directories.txt" "$work/install_directories.txt"
  fi
}

# restore_install_record BUILD
restore_install_record() {
  if [ -e "$work/install_directories.txt" ]; then
    cp "$work/install_directories.txt" "$1/install_directories.txt"
  else
    rm -f "$1/install_directories.txt"
  fi
}
