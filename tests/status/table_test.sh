#!/bin/sh
# shellcheck disable=SC2317
# The cleaning table in the tree is what tools/gen-unicode-table makes from
# the Unicode Character Database, when this machine's Python holds the
# version the table was made from.
#   table_test.sh SOURCE-DIR
set -u
src=$1
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"

command -v python3 >/dev/null 2>&1 || skip_all "python3 is not installed"
table=$src/src/status/unicode_table.inc
made=$(sed -n 's/^\/\/ version \([0-9.]*\)\..*/\1/p' "$table")
here=$(python3 -c 'import unicodedata; print(unicodedata.unidata_version)')
[ "$made" = "$here" ] ||
  skip_all "the table is Unicode $made, this Python's database $here"

generated_table_is_the_one_in_the_tree() {
  "$src/tools/gen-unicode-table" > "$case_dir/table" || return 1
  cmp -s "$case_dir/table" "$table" ||
    fail "src/status/unicode_table.inc differs from what the generator makes"
}
test_case 'the generated table is the one in the tree' \
  generated_table_is_the_one_in_the_tree
test_done
