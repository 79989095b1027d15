#!/bin/sh
# shellcheck disable=SC2317 # the cases are run by test_case
# tools/release-tarball, run twice a second apart on this checkout's HEAD,
# gives the same tarball and distinfo byte for byte; distinfo's SHA256 and
# SIZE are the tarball's and its TIMESTAMP the commit's time; the tarball
# holds the commit's files, all under tavik-VERSION/, as the port's WRKSRC.
# Skipped outside a git checkout, as in a source tarball.
#   release_test.sh SOURCE-DIR
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
src=$(cd "$1" && pwd)
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"
command -v git >/dev/null || skip_all "git is not installed"
top=$(git -C "$src" rev-parse --show-toplevel 2>/dev/null) || top=
[ "$top" = "$src" ] || skip_all "$src is not a git checkout"
version=$(sed -n 's/^project(tavik VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
name=tavik-$version

# release DIR: the tarball and distinfo of HEAD in DIR; false, and a
# failure of the case, when there is no tarball.
release() {
  "$src/tools/release-tarball" -o "$1" HEAD >/dev/null ||
    fail "tools/release-tarball failed"
  [ -f "$1/$name.tar.gz" ] || { fail "no $name.tar.gz"; return 1; }
}

same_every_time() {
  release "$case_dir/1" || return 0
  sleep 1
  release "$case_dir/2" || return 0
  for f in "$name.tar.gz" distinfo; do
    cmp "$case_dir/1/$f" "$case_dir/2/$f" || fail "$f differs between two runs"
  done
}

distinfo_is_the_tarballs() {
  release "$case_dir" || return 0
  tarball=$case_dir/$name.tar.gz
  if command -v sha256sum >/dev/null; then
    sum=$(sha256sum < "$tarball" | cut -d ' ' -f 1)
  else
    sum=$(sha256 -q "$tarball")
  fi
  printf '%s\n' "TIMESTAMP = $(git -C "$src" log -1 --format=%ct HEAD)" \
    "SHA256 ($name.tar.gz) = $sum" \
    "SIZE ($name.tar.gz) = $(wc -c < "$tarball" | tr -d ' ')" > "$case_dir/want"
  diff "$case_dir/want" "$case_dir/distinfo" > "$case_dir/diff" ||
    fail "distinfo (>) is not the tarball's (<): $(cat "$case_dir/diff")"
}

# The commit's files, each under the top folder, and nothing else.
tarball_holds_the_commit() {
  release "$case_dir/out" || return 0
  git -C "$src" -c core.quotePath=false ls-tree -r --name-only HEAD |
    sed "s|^|$name/|" | sort > "$case_dir/committed"
  gzip -dc "$case_dir/out/$name.tar.gz" > "$case_dir/tar" ||
    fail "the tarball does not unpack"
  tar -tf "$case_dir/tar" | grep -v '/$' | sort > "$case_dir/archived"
  diff "$case_dir/committed" "$case_dir/archived" > "$case_dir/diff" ||
    fail "HEAD (<) and the tarball (>) differ: $(head -20 "$case_dir/diff")"
}

test_case 'two runs a second apart give the same bytes' same_every_time
test_case "distinfo is the tarball's, at the commit's time" \
  distinfo_is_the_tarballs
test_case 'the tarball holds the commit, under its top folder' \
  tarball_holds_the_commit
test_done
