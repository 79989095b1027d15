#!/bin/sh
# Installs into a scratch DESTDIR that does not exist yet, nor do its
# parents, under umask 077, as root's may be, and checks the tree, its modes (every user can read it), the configuration
# path the build set, and that DESTDIR holds what the install lists alone.
#   install_test.sh BUILD SCRATCH BINDIR MANDIR SAMPLEDIR BASHDIR ZSHDIR CONFIG
# The directories are the absolute ones the build installs into. CMAKE in
# the environment names the cmake to use.
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
build=$1 dest=$2/not/there/yet bindir=$3 mandir=$4 sampledir=$5 bashdir=$6 zshdir=$7
config=$8
cmake=${CMAKE:-cmake}
fail() { echo "$*"; exit 1; }
rm -rf "$2"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(umask 077 && DESTDIR=$dest "$cmake" --install "$build" >/dev/null)

# DESTDIR holds every file the install lists, whatever the build made
# absolute, and nothing else.
[ -s "$build/install_manifest.txt" ] || fail "no install manifest"
sort "$build/install_manifest.txt" > "$scratch/manifest"
(cd "$dest" && find . -type f) | sed 's|^\.||' | sort > "$scratch/installed"
diff "$scratch/manifest" "$scratch/installed" > "$scratch/diff" ||
  fail "the install manifest (<) and DESTDIR (>) differ: $(cat "$scratch/diff")"

man1=$dest$mandir/man1/tavik.1
man5=$dest$mandir/man5/tavik.conf.5
status_man=$dest$mandir/man1/tavik-status.1
sample=$dest$sampledir/tavik.conf.sample
for f in "$dest$bindir/tavik" "$man1" "$man5" "$status_man" "$sample" \
         "$dest$bashdir/tavik" "$dest$zshdir/_tavik"; do
  [ -f "$f" ] || fail "missing: ${f#"$dest"}"
done
# Directories 755, programs 755 and every other file 644, whatever the
# umask: other users run tavik and read its pages.
mode() { stat -c %a "$1" 2>/dev/null || stat -f %Lp "$1"; }
(cd "$dest" && find . ! -path .) | sed 's|^\.||' | while read -r f; do
  if [ -d "$dest$f" ]; then
    want=755
  else
    case $f in "$bindir/tavik" | "$bindir/tavik-status") want=755 ;; *) want=644 ;; esac
  fi
  [ "$(mode "$dest$f")" = $want ] || echo "$f is mode $(mode "$dest$f"), not $want"
done > "$scratch/modes"
[ ! -s "$scratch/modes" ] || fail "under umask 077: $(cat "$scratch/modes")"
# The install never writes the configuration itself, so a reinstall keeps
# the user's.
[ ! -e "$dest$config" ] || fail "installed $config"

# The help text, the manual pages and the sample name the build's path.
"$dest$bindir/tavik" -h 2>"$scratch/help" && status=0 || status=$?
[ "$status" -eq 0 ] || fail "tavik -h exited $status"
head -1 "$scratch/help" | grep -qx 'tavik: Weather utility' || fail "bad help"
grep -qxF "Default configuration file is $config" "$scratch/help" ||
  fail "help text: $(grep Default "$scratch/help")"
for f in "$man1" "$man5" "$sample"; do
  grep -qF "$config" "$f" || fail "${f#"$dest"} does not name $config"
  if [ "$config" != /usr/local/etc/tavik.conf ] &&
     grep -qF /usr/local/etc/tavik.conf "$f"; then
    fail "${f#"$dest"} still names /usr/local/etc/tavik.conf"
  fi
done
# The status-bar helper is installed beside tavik, on PATH, and reads the
# file tavik reads.
[ -f "$dest$bindir/tavik-status" ] || fail "missing: $bindir/tavik-status"
grep -qF "$config" "$status_man" ||
  fail "${status_man#"$dest"} does not name $config"
echo "install tree complete"
