#!/bin/sh
# shellcheck disable=SC2317 # the cases are run by test_case
# The uninstall target leaves a DESTDIR as it found it: empty after an
# install, and after two installs in a row; where a user's configuration
# file and an empty manual directory were there before, those and nothing
# else. The empty directories of an install into another DESTDIR stay. A
# directory that the install made and a user's file still holds stays
# until a later uninstall finds it empty. A directory the user removed is
# forgotten, so that one made again by someone else stays. Each case
# installs into DESTDIRs of its own; the build's record of installed
# directories is put back as it was at the end.
#   uninstall_test.sh BUILD MANDIR CONFIG
# MANDIR and CONFIG are the absolute paths the build installs pages into
# and reads its configuration from. CMAKE in the environment names the
# cmake to use.
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
build=$1 mandir=$2 config=$3
cmake=${CMAKE:-cmake}
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"
# shellcheck source-path=SCRIPTDIR source=../lib/install.sh
. "$(dirname "$0")/../lib/install.sh"
save_install_record "$build"

# tree DIR: what DIR holds, one entry a line, directories marked by a /.
tree() {
  (cd "$1" && find . ! -path . -exec sh -c '
     for f; do if [ -d "$f" ]; then echo "$f/"; else echo "$f"; fi; done' _ {} +) |
    sort
}

# install DESTDIR, uninstall DESTDIR: false, and a failure of the case,
# with the output, when they fail.
install() {
  DESTDIR=$1 "$cmake" --install "$build" >"$case_dir/log" 2>&1 ||
    { fail "the install failed: $(cat "$case_dir/log")"; return 1; }
}
uninstall() {
  DESTDIR=$1 "$cmake" --build "$build" --target uninstall \
    >"$case_dir/log" 2>&1 ||
    { fail "the uninstall failed: $(cat "$case_dir/log")"; return 1; }
}

# round DESTDIR INSTALLS: DESTDIR holds after INSTALLS installs and the
# uninstall what it held before.
round() {
  tree "$1" > "$case_dir/before"
  i=0
  while [ "$i" -lt "$2" ]; do
    install "$1" || return 0
    i=$((i + 1))
  done
  [ -s "$build/install_manifest.txt" ] || fail "nothing installed"
  uninstall "$1" || return 0
  tree "$1" > "$case_dir/after"
  diff "$case_dir/before" "$case_dir/after" > "$case_dir/diff" ||
    fail "before (<) and after the uninstall (>): $(cat "$case_dir/diff")"
}

# round_in_empty INSTALLS
round_in_empty() {
  mkdir "$case_dir/dest"
  round "$case_dir/dest" "$1"
}

# A directory that was there before stays, empty or not.
users_files() {
  dest=$case_dir/dest
  mkdir -p "$dest$mandir/man1" "$(dirname "$dest$config")"
  echo "URL http://127.0.0.1/" > "$dest$config"
  round "$dest" 1
  [ "$(cat "$dest$config")" = "URL http://127.0.0.1/" ] ||
    fail "the configuration changed"
}

# Another DESTDIR's install, its files gone and its directories empty: an
# uninstall elsewhere leaves them, and they are still that install's own.
another_destdir() {
  dest=$case_dir/dest
  other=$case_dir/other
  mkdir "$dest" "$other"
  install "$other" || return 0
  sed "s|^|$other|" "$build/install_manifest.txt" | while read -r f; do
    rm "$f"
  done
  tree "$other" > "$case_dir/other-before"
  round "$dest" 1
  tree "$other" | diff "$case_dir/other-before" - > "$case_dir/diff" ||
    fail "another DESTDIR: before (<) and after (>): $(cat "$case_dir/diff")"
  install "$other" || return 0
  uninstall "$other" || return 0
  [ -z "$(tree "$other")" ] || fail "another DESTDIR: $(tree "$other")"
}

# A file of the user's in a directory that the install made: the uninstall
# leaves that directory and its parents, and once the file is gone, the
# next install's uninstall still knows them as the install's own.
users_file_in_new_directory() {
  kept=$case_dir/kept
  mkdir "$kept"
  install "$kept" || return 0
  echo "a page of the user's" > "$kept$mandir/man1/mine.1"
  uninstall "$kept" || return 0
  got=$(tree "$kept" | grep -v '/$') || true
  [ "$got" = ".$mandir/man1/mine.1" ] ||
    fail "a user's file in a new directory: left $got"
  rm "$kept$mandir/man1/mine.1"
  install "$kept" || return 0
  uninstall "$kept" || return 0
  [ -z "$(tree "$kept")" ] ||
    fail "a user's file in a new directory, removed: left $(tree "$kept")"
}

# A directory that the install made and the user removed, with all it
# held, leaves no line in the record: one of that name that someone else
# makes later is never removed by a later uninstall.
removed_directory() {
  gone=$case_dir/gone
  mkdir "$gone"
  install "$gone" || return 0
  zsh_file=$(grep '/_tavik$' "$build/install_manifest.txt")
  zsh_top=$(dirname "$(dirname "$zsh_file")")
  rm -r "$gone$zsh_top"
  uninstall "$gone" || return 0
  if grep -qxF "$(printf '%s\t%s' "$gone" "$zsh_top")" \
       "$build/install_directories.txt" 2>/dev/null; then
    fail "a removed directory: the record still names it"
  fi
  mkdir -p "$gone$zsh_top"
  uninstall "$gone" || return 0
  [ -d "$gone$zsh_top" ] ||
    fail "a removed directory: a later uninstall removed the one made again"
}

test_case 'an empty DESTDIR is empty again' round_in_empty 1
test_case 'after two installs in a row' round_in_empty 2
test_case "a user's files and directories stay as they were" users_files
test_case "another DESTDIR's directories stay that install's own" \
  another_destdir
test_case "a directory that holds a user's file stays until it is empty" \
  users_file_in_new_directory
test_case 'a directory the user removed is forgotten' removed_directory
restore_install_record "$build"
test_done
