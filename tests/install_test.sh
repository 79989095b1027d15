#!/bin/sh
# Installs into a scratch prefix and checks the tree and the program.
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/tavik etc/tavik.conf.sample share/man/man1/tavik.1 \
         share/man/man5/tavik.conf.5 share/bash-completion/completions/tavik \
         share/zsh/site-functions/_tavik; do
  [ -f "$prefix/$f" ] || { echo "missing: $f"; exit 1; }
done
[ ! -e "$prefix/etc/tavik.conf" ] || { echo "installed a tavik.conf"; exit 1; }
mode=$(stat -c %a "$prefix/etc/tavik.conf.sample" 2>/dev/null ||
       stat -f %Lp "$prefix/etc/tavik.conf.sample")
[ "$mode" = 600 ] || { echo "sample mode is $mode, not 600"; exit 1; }
# A user's own configuration survives a reinstall.
echo "URL http://mine/" > "$prefix/etc/tavik.conf"
cmake --install "$build" --prefix "$prefix" >/dev/null
[ "$(cat "$prefix/etc/tavik.conf")" = "URL http://mine/" ] || { echo "tavik.conf overwritten"; exit 1; }
"$prefix/bin/tavik" -h 2>"$prefix/help" && status=0 || status=$?
[ $status -eq 0 ] || { echo "tavik -h exited $status"; exit 1; }
head -1 "$prefix/help" | grep -qx 'tavik: Weather utility' || { echo "bad help"; exit 1; }
echo "install tree complete"
