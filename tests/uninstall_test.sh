#!/bin/sh
# The uninstall target leaves a DESTDIR as it found it: empty after an
# install, and after two installs in a row; and where a user's
# configuration file and an empty manual directory were there before, those
# and nothing else.
#   uninstall_test.sh BUILD SCRATCH MANDIR CONFIG
# MANDIR and CONFIG are the absolute paths the build installs pages into
# and reads its configuration from. CMAKE in the environment names the
# cmake to use.
set -eu
build=$1 dest=$2 mandir=$3 config=$4
cmake=${CMAKE:-cmake}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# tree: what DESTDIR holds, one entry a line, with its type.
tree() {
  (cd "$dest" && find . ! -path . -exec sh -c '
     for f; do if [ -d "$f" ]; then echo "$f/"; else echo "$f"; fi; done' _ {} +) |
    sort
}
install() {
  DESTDIR=$dest "$cmake" --install "$build" >"$scratch/log" 2>&1 ||
    { cat "$scratch/log"; exit 1; }
}
uninstall() {
  DESTDIR=$dest "$cmake" --build "$build" --target uninstall \
    >"$scratch/log" 2>&1 || { cat "$scratch/log"; exit 1; }
}

# case NAME INSTALLS: what DESTDIR held before, after INSTALLS installs
# and the uninstall.
case_() {
  tree > "$scratch/before"
  i=0
  while [ $i -lt "$2" ]; do install; i=$((i + 1)); done
  [ -s "$build/install_manifest.txt" ] || fail "$1: nothing installed"
  uninstall
  tree > "$scratch/after"
  diff "$scratch/before" "$scratch/after" > "$scratch/diff" ||
    fail "$1: before (<) and after the uninstall (>): $(cat "$scratch/diff")"
}

rm -rf "$dest"
mkdir -p "$dest"
case_ "empty DESTDIR" 1
case_ "reinstalled" 2
# A directory that was there before stays, empty or not.
mkdir -p "$dest$mandir/man1" "$(dirname "$dest$config")"
echo "URL http://127.0.0.1/" > "$dest$config"
case_ "a user's files" 1
[ "$(cat "$dest$config")" = "URL http://127.0.0.1/" ] ||
  fail "the configuration changed"

[ $failures -eq 0 ] || exit 1
echo "uninstall leaves what was there before, and nothing else"
