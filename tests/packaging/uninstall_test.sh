#!/bin/sh
# The uninstall target leaves a DESTDIR as it found it: empty after an
# install, and after two installs in a row; where a user's configuration
# file and an empty manual directory were there before, those and nothing
# else. The empty directories of an install into another DESTDIR stay. A
# directory that the install made and a user's file still holds stays
# until a later uninstall finds it empty. A directory the user removed is
# forgotten, so that one made again by someone else stays.
#   uninstall_test.sh BUILD SCRATCH MANDIR CONFIG
# MANDIR and CONFIG are the absolute paths the build installs pages into
# and reads its configuration from. CMAKE in the environment names the
# cmake to use.
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
build=$1 work=$2 mandir=$3 config=$4
cmake=${CMAKE:-cmake}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work"
mkdir -p "$work/dest" "$work/other"
dest=$work/dest

# tree DIR: what DIR holds, one entry a line, directories marked by a /.
tree() {
  (cd "$1" && find . ! -path . -exec sh -c '
     for f; do if [ -d "$f" ]; then echo "$f/"; else echo "$f"; fi; done' _ {} +) |
    sort
}
# install DESTDIR, uninstall DESTDIR
install() {
  DESTDIR=$1 "$cmake" --install "$build" >"$work/log" 2>&1 ||
    { cat "$work/log"; exit 1; }
}
uninstall() {
  DESTDIR=$1 "$cmake" --build "$build" --target uninstall \
    >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
}

# case NAME INSTALLS: what DESTDIR held before, after INSTALLS installs
# and the uninstall.
case_() {
  tree "$dest" > "$work/before"
  i=0
  while [ $i -lt "$2" ]; do install "$dest"; i=$((i + 1)); done
  [ -s "$build/install_manifest.txt" ] || fail "$1: nothing installed"
  uninstall "$dest"
  tree "$dest" > "$work/after"
  diff "$work/before" "$work/after" > "$work/diff" ||
    fail "$1: before (<) and after the uninstall (>): $(cat "$work/diff")"
}

case_ "empty DESTDIR" 1
case_ "reinstalled" 2
# A directory that was there before stays, empty or not.
mkdir -p "$dest$mandir/man1" "$(dirname "$dest$config")"
echo "URL http://127.0.0.1/" > "$dest$config"
case_ "a user's files" 1
[ "$(cat "$dest$config")" = "URL http://127.0.0.1/" ] ||
  fail "the configuration changed"

# Another DESTDIR's install, its files gone and its directories empty: an
# uninstall elsewhere leaves them, and they are still that install's own.
install "$work/other"
sed "s|^|$work/other|" "$build/install_manifest.txt" | while read -r f; do
  rm "$f"
done
tree "$work/other" > "$work/other-before"
case_ "another DESTDIR" 1
tree "$work/other" | diff "$work/other-before" - > "$work/diff" ||
  fail "another DESTDIR: before (<) and after (>): $(cat "$work/diff")"
install "$work/other"
uninstall "$work/other"
[ -z "$(tree "$work/other")" ] || fail "another DESTDIR: $(tree "$work/other")"

# A file of the user's in a directory that the install made: the uninstall
# leaves that directory and its parents, and once the file is gone, the
# next install's uninstall still knows them as the install's own.
kept=$work/kept
mkdir "$kept"
install "$kept"
echo "a page of the user's" > "$kept$mandir/man1/mine.1"
uninstall "$kept"
got=$(tree "$kept" | grep -v '/$') || true
[ "$got" = ".$mandir/man1/mine.1" ] ||
  fail "a user's file in a new directory: left $got"
rm "$kept$mandir/man1/mine.1"
install "$kept"
uninstall "$kept"
[ -z "$(tree "$kept")" ] ||
  fail "a user's file in a new directory, removed: left $(tree "$kept")"

# A directory that the install made and the user removed, with all it
# held, leaves no line in the record: one of that name that someone else
# makes later is never removed by a later uninstall.
gone=$work/gone
mkdir "$gone"
install "$gone"
zsh_file=$(grep '/_tavik$' "$build/install_manifest.txt")
zsh_top=$(dirname "$(dirname "$zsh_file")")
rm -r "$gone$zsh_top"
uninstall "$gone"
if grep -qxF "$(printf '%s\t%s' "$gone" "$zsh_top")" \
     "$build/install_directories.txt" 2>/dev/null; then
  fail "a removed directory: the record still names it"
fi
mkdir -p "$gone$zsh_top"
uninstall "$gone"
[ -d "$gone$zsh_top" ] ||
  fail "a removed directory: a later uninstall removed the one made again"

[ $failures -eq 0 ] || exit 1
echo "uninstall leaves what was there before, and nothing else"
