#!/bin/sh
# shellcheck disable=SC2317 # the cases are run by test_case
# Installs this build, each case into a DESTDIR of its own under umask
# 077, as root's may be, and checks the tree, its modes (every user can
# read it), the configuration path the build set, that DESTDIR holds what
# the install lists alone, and that an install into a DESTDIR whose
# parents do not exist yet makes them and ends. The build's record of the
# directories installs made is put back as it was at the end, so that the
# scratch DESTDIRs leave nothing in it.
#   install_test.sh BUILD BINDIR MANDIR SAMPLEDIR BASHDIR ZSHDIR CONFIG
# The directories are the absolute ones the build installs into. CMAKE in
# the environment names the cmake to use.
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
build=$1 bindir=$2 mandir=$3 sampledir=$4 bashdir=$5 zshdir=$6 config=$7
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"
# shellcheck source-path=SCRIPTDIR source=../lib/install.sh
. "$(dirname "$0")/../lib/install.sh"
save_install_record "$build"

# installed: this build installed into a new, empty DESTDIR, $case_dir/dest;
# false, and a failure of the case, when it fails.
installed() {
  mkdir "$case_dir/dest"
  install_into "$build" "$case_dir/dest"
}

# An install into a DESTDIR that does not exist yet, nor do its parents.
parents_made() {
  dest=$case_dir/not/there/yet
  install_into "$build" "$dest" || return 0
  [ -f "$dest$bindir/tavik" ] || fail "missing: $bindir/tavik"
}

# Every file where the build's directories put it.
files_in_place() {
  dest=$case_dir/dest
  installed || return 0
  for f in "$bindir/tavik" "$bindir/tavik-status" "$mandir/man1/tavik.1" \
           "$mandir/man5/tavik.conf.5" "$mandir/man1/tavik-status.1" \
           "$sampledir/tavik.conf.sample" "$bashdir/tavik" \
           "$zshdir/_tavik"; do
    [ -f "$dest$f" ] || fail "missing: $f"
  done
}

# DESTDIR holds every file the install lists, whatever the build made
# absolute, and nothing else.
lists_alone() {
  dest=$case_dir/dest
  installed || return 0
  [ -s "$build/install_manifest.txt" ] || { fail "no install manifest"; return; }
  sort "$build/install_manifest.txt" > "$case_dir/manifest"
  (cd "$dest" && find . -type f) | sed 's|^\.||' | sort > "$case_dir/installed"
  diff "$case_dir/manifest" "$case_dir/installed" > "$case_dir/diff" ||
    fail "the install manifest (<) and DESTDIR (>) differ: $(cat "$case_dir/diff")"
}

# Directories 755, programs 755 and every other file 644, whatever the
# umask: other users run tavik and read its pages.
modes() {
  dest=$case_dir/dest
  installed || return 0
  (cd "$dest" && find . ! -path .) | sed 's|^\.||' | while read -r f; do
    if [ -d "$dest$f" ]; then
      want=755
    else
      case $f in "$bindir/tavik" | "$bindir/tavik-status") want=755 ;; *) want=644 ;; esac
    fi
    got=$(stat -c %a "$dest$f" 2>/dev/null || stat -f %Lp "$dest$f")
    [ "$got" = "$want" ] || echo "$f is mode $got, not $want"
  done > "$case_dir/modes"
  [ ! -s "$case_dir/modes" ] || fail "under umask 077: $(cat "$case_dir/modes")"
}

# The install never writes the configuration itself, so a reinstall keeps
# the user's.
no_configuration() {
  dest=$case_dir/dest
  installed || return 0
  [ ! -e "$dest$config" ] || fail "installed $config"
}

help_names_the_path() {
  dest=$case_dir/dest
  installed || return 0
  status=0
  "$dest$bindir/tavik" -h 2>"$case_dir/help" || status=$?
  [ "$status" -eq 0 ] || fail "tavik -h exited $status"
  head -1 "$case_dir/help" | grep -qx 'tavik: Weather utility' || fail "bad help"
  grep -qxF "Default configuration file is $config" "$case_dir/help" ||
    fail "help text: $(grep Default "$case_dir/help")"
}

# The status-bar helper's page too: it reads the file tavik reads.
pages_name_the_path() {
  dest=$case_dir/dest
  installed || return 0
  for f in "$mandir/man1/tavik.1" "$mandir/man5/tavik.conf.5" \
           "$mandir/man1/tavik-status.1" "$sampledir/tavik.conf.sample"; do
    grep -qF "$config" "$dest$f" || fail "$f does not name $config"
    if [ "$config" != /usr/local/etc/tavik.conf ] &&
       grep -qF /usr/local/etc/tavik.conf "$dest$f"; then
      fail "$f still names /usr/local/etc/tavik.conf"
    fi
  done
}

test_case 'an install into a DESTDIR whose parents do not exist yet' \
  parents_made
test_case "every file where the build's directories put it" files_in_place
test_case 'DESTDIR holds what the install lists, and nothing else' lists_alone
test_case 'under umask 077, every user can read the tree and run the programs' \
  modes
test_case 'the install leaves the configuration file alone' no_configuration
test_case "the help text names the build's configuration path" \
  help_names_the_path
test_case "the pages and the sample name the build's configuration path" \
  pages_name_the_path
restore_install_record "$build"
test_done
