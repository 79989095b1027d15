#!/bin/sh
# tools/release-tarball, run twice a second apart on this checkout's HEAD,
# gives the same tarball and distinfo byte for byte; distinfo's SHA256 and
# SIZE are the tarball's and its TIMESTAMP the commit's time; the tarball
# holds the commit's files, all under tavik-VERSION/, as the port's WRKSRC.
# Exit 77 (skipped) outside a git checkout, as in a source tarball.
#   release_test.sh SOURCE-DIR
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
src=$(cd "$1" && pwd)
command -v git >/dev/null || { echo "git is not installed"; exit 77; }
top=$(git -C "$src" rev-parse --show-toplevel 2>/dev/null) || top=
[ "$top" = "$src" ] || { echo "$src is not a git checkout"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$src/tools/release-tarball" -o "$work/1" HEAD >/dev/null
sleep 1
"$src/tools/release-tarball" -o "$work/2" HEAD >/dev/null

version=$(sed -n 's/^project(tavik VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
name=tavik-$version
tarball=$work/1/$name.tar.gz
[ -f "$tarball" ] || { echo "FAIL: no $name.tar.gz"; exit 1; }
for f in "$name.tar.gz" distinfo; do
  cmp "$work/1/$f" "$work/2/$f" || fail "$f differs between two runs"
done

if command -v sha256sum >/dev/null; then
  sum=$(sha256sum < "$tarball" | cut -d ' ' -f 1)
else
  sum=$(sha256 -q "$tarball")
fi
printf '%s\n' "TIMESTAMP = $(git -C "$src" log -1 --format=%ct HEAD)" \
  "SHA256 ($name.tar.gz) = $sum" \
  "SIZE ($name.tar.gz) = $(wc -c < "$tarball" | tr -d ' ')" > "$work/want"
diff "$work/want" "$work/1/distinfo" > "$work/diff" ||
  fail "distinfo (>) is not the tarball's (<): $(cat "$work/diff")"

# The commit's files, each under the top folder, and nothing else.
git -C "$src" -c core.quotePath=false ls-tree -r --name-only HEAD |
  sed "s|^|$name/|" | sort > "$work/committed"
gzip -dc "$tarball" > "$work/tar" || fail "the tarball does not unpack"
tar -tf "$work/tar" | grep -v '/$' | sort > "$work/archived"
diff "$work/committed" "$work/archived" > "$work/diff" ||
  fail "HEAD (<) and the tarball (>) differ: $(head -20 "$work/diff")"

[ $failures -eq 0 ] || exit 1
echo "the release tarball and distinfo are the same every time"
