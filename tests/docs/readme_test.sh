#!/bin/sh
# shellcheck disable=SC2317 # the cases are called through test_case
# The README holds true: its first two commands are the demo and the test
# command, the test command is what tools/test runs, the demo's output is
# what tavik prints against the sample server, its commands for a first
# configuration make the user's own file where tavik reads it without -c,
# and its options are the ones tavik's help lists.
#   readme_test.sh SOURCE TAVIK TAVIK-TEST-SYSTEM WEATHER-SERVER
# TAVIK-TEST-SYSTEM is tavik whose system-wide file is one of the tests':
# a run that missed the user's file cannot read the machine's.
src=$1 tavik=$2 tavik_system=$3 server=$4
# shellcheck source=tests/lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"
readme=$src/README.md

# section TITLE: the README's section "## TITLE", up to the next one.
section() {
  awk -v title="## $1" '
    /^## / { inside = ($0 == title); next }
    inside' "$readme"
}

# blocks: the indented blocks of standard input, as Markdown reads them
# (blank lines inside a block belong to it), without the indent, each line
# prefixed by its block's number and a tab.
blocks() {
  awk '
    /^    / && (prev == "" || inblock) {
      if (!inblock) n++
      for (; blanks > 0; blanks--) print n "\t"
      inblock = 1; sub(/^    /, ""); print n "\t" $0; prev = "x"; next }
    /^[ \t]*$/ { if (inblock) blanks++; prev = ""; next }
    { inblock = 0; blanks = 0; prev = $0 }'
}

# block N: block N of standard input.
block() {
  blocks | awk -F '\t' -v n="$1" '$1 == n { sub(/^[^\t]*\t/, ""); print }'
}

# demo_runs: the "$ tavik ..." lines of the demo's output in the README.
demo_runs() {
  section "What the demo prints" | block 1 | grep '^\$ tavik'
}

# The first two commands, read as a fresh machine reads them: the first
# line of each of the first two blocks.
first_commands() {
  cmds=$(awk '/^    [^ ]/ && prev == "" { sub(/^    /, ""); print; n++ }
              { prev = $0 } n == 2 { exit }' "$readme" | tr '\n' ' ')
  [ "$cmds" = "tools/demo tools/test " ] ||
    fail "the first two commands are $cmds, not tools/demo and tools/test"
  for c in tools/demo tools/test; do
    [ -x "$src/$c" ] || fail "$c is not an executable file"
  done
}

# The test command that the README spells out is what tools/test runs.
test_command() {
  block 3 < "$readme" > "$case_dir/spelled"
  case $(cat "$case_dir/spelled") in
  "cmake -S . -B build && "*) ;;
  *) fail "the README's third block is not the test command: $(cat "$case_dir/spelled")" ;;
  esac
  awk '{ n = split($0, c, / && /); for (i = 1; i <= n; i++) print c[i] }' \
    "$case_dir/spelled" > "$case_dir/commands"
  while IFS= read -r c; do
    grep -qxF "$c" "$src/tools/test" || fail "tools/test does not run: $c"
  done < "$case_dir/commands"
}

# demo_run N: the README's run N of the demo prints what tavik prints with
# the demo's configuration against the sample server, which takes that
# configuration's key alone, as the demo starts it: whole, or in order
# where "..." stands for lines left out. A run that names a file uses one
# made from the demo's configuration with another key. A run whose lines
# are all diagnostics ends with exit status 1, any other with 0.
demo_run() {
  section "What the demo prints" | block 1 | awk -v n="$1" '
    /^\$ tavik/ { i++; next }
    i == n && $0 != ""' > "$case_dir/want"
  args=$(demo_runs | sed -n "$1p" | sed 's/^\$ tavik *//')
  key=$(sed -n 's/^APPID  *//p' "$src/tools/demo.conf")
  start_server "$server" -k "$key" || return 1
  sed "s/@PORT@/$port/" "$src/tools/demo.conf" > "$case_dir/tavik.conf"
  sed 's/^APPID .*/APPID wrong-key/' "$case_dir/tavik.conf" \
    > "$case_dir/wrong-key.conf"
  set --
  case " $args " in *" -c "*) ;; *) set -- -c tavik.conf ;; esac
  st=0
  # shellcheck disable=SC2086 # the arguments as the README writes them
  (cd "$case_dir" && "$tavik" "$@" $args) > "$case_dir/got" 2>&1 || st=$?
  want_st=0
  ! grep -qv '^tavik: \|^\.\.\.$' "$case_dir/want" && want_st=1
  [ "$st" -eq "$want_st" ] || fail "exit status $st, not $want_st"
  sed '/^$/d' "$case_dir/got" > "$case_dir/got.lines"
  if grep -qxF '...' "$case_dir/want"; then
    grep -vxF '...' "$case_dir/want" > "$case_dir/want.lines"
    # Each shown line in turn, further down the output.
    awk 'NR == FNR { want[++w] = $0; next }
         i < w && $0 == want[i + 1] { i++ }
         END { exit i == w ? 0 : 1 }' "$case_dir/want.lines" \
      "$case_dir/got.lines" ||
      fail "it prints $(cat "$case_dir/got"), not the README's lines"
  else
    cmp -s "$case_dir/want" "$case_dir/got.lines" ||
      fail "it prints $(cat "$case_dir/got"), not the README's"
  fi
}

# The first configuration: the commands that make the user's own file
# from the sample (the editor left out), run with a home of the case's
# own, then the README's settings written into that file; tavik without
# -c reads it.
first_configuration() {
  section "A first configuration of your own" | block 1 > "$case_dir/make"
  grep -q 'tavik.conf.sample' "$case_dir/make" ||
    fail "the first block does not copy the sample: $(cat "$case_dir/make")"
  home=$case_dir/home
  mkdir "$home"
  while IFS= read -r c; do
    case $c in *EDITOR*) continue ;; esac
    c=$(printf '%s\n' "$c" |
        sed "s|/usr/local/etc/tavik.conf.sample|$src/tavik.conf.sample|g")
    HOME=$home sh -c "$c" || fail "the README's command failed: $c"
  done < "$case_dir/make"
  own=$home/.config/tavik/tavik.conf
  [ -f "$own" ] || { fail "the README's commands make no $own"; return; }
  [ -n "$(find "$own" -prune -perm 600)" ] ||
    fail "the README's commands make $own readable by others"
  section "A first configuration of your own" | block 2 > "$case_dir/settings"
  grep -q '^URL *http://weather.example.net/' "$case_dir/settings" ||
    fail "the first configuration names no URL of weather.example.net"
  start_server "$server" || return 1
  sed "s|http://weather.example.net/|http://127.0.0.1:$port/|" \
    "$case_dir/settings" > "$own"
  # tavik without -c reads it, and prints the report it gives with -c.
  "$tavik" -c "$own" > "$case_dir/with-c" 2>&1 ||
    fail "tavik -c: $(cat "$case_dir/with-c")"
  (
    unset XDG_CONFIG_HOME
    HOME=$home "$tavik_system" > "$case_dir/own" 2>&1
  ) || fail "tavik: $(cat "$case_dir/own")"
  cmp -s "$case_dir/with-c" "$case_dir/own" ||
    fail "tavik without -c prints $(cat "$case_dir/own"), not $(cat "$case_dir/with-c")"
  head -n 1 "$case_dir/own" | grep -q '^City:' ||
    fail "the first configuration gives no report: $(cat "$case_dir/own")"
  ! grep -q UNKNOWN "$case_dir/own" ||
    fail "the first configuration asks for no known location: $(cat "$case_dir/own")"
}

# The options: each flag and its argument's name, as the help lists them
# and as the README's Options section does.
options() {
  "$tavik" -h 2> "$case_dir/help"
  sed -n 's/^    \(-[A-Za-z]\)  *\([a-z]*\)  .*/\1 \2/p' "$case_dir/help" |
    sort > "$case_dir/help.options"
  [ -s "$case_dir/help.options" ] || fail "tavik -h lists no options"
  section "Options" | block 1 |
    sed -n 's/^\(-[A-Za-z]\)  *\([a-z]*\)  .*/\1 \2/p' |
    sort > "$case_dir/readme.options"
  diff "$case_dir/help.options" "$case_dir/readme.options" > "$case_dir/diff" ||
    fail "the README's options (+) differ from tavik -h (-): $(cat "$case_dir/diff")"
}

test_case 'the first two commands are the demo and the test command' \
  first_commands
test_case 'the test command is what tools/test runs' test_command
n=1
while [ "$n" -le "$(demo_runs | wc -l)" ]; do
  test_case "the demo's output: $(demo_runs | sed -n "${n}p")" demo_run "$n"
  n=$((n + 1))
done
test_case 'a first configuration of your own is the file tavik reads' \
  first_configuration
test_case 'the options are the ones tavik -h lists' options
test_done
