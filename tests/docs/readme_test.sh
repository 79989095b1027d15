#!/bin/sh
# The README holds true: its first two commands are the demo and the test
# command, the test command is what tools/test runs, the demo's output is
# what tavik prints against the sample server, its commands for a first
# configuration make the user's own file where tavik reads it without -c,
# and its options are the ones tavik's help lists.
#   readme_test.sh SOURCE TAVIK TAVIK-TEST-SYSTEM WEATHER-SERVER
# TAVIK-TEST-SYSTEM is tavik whose system-wide file is one of the tests':
# a run that missed the user's file cannot read the machine's.
set -eu
src=$1 tavik=$2 tavik_system=$3 server=$4
readme=$src/README.md
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

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

# The first two commands, read as a fresh machine reads them: the first
# line of each of the first two blocks.
cmds=$(awk '/^    [^ ]/ && prev == "" { sub(/^    /, ""); print; n++ }
            { prev = $0 } n == 2 { exit }' "$readme" | tr '\n' ' ')
[ "$cmds" = "tools/demo tools/test " ] ||
  fail "the README's first two commands are $cmds, not tools/demo and tools/test"
for c in tools/demo tools/test; do
  [ -x "$src/$c" ] || fail "$c is not an executable file"
done

# The test command that the README spells out is what tools/test runs.
spelled=$(block 3 < "$readme")
case $spelled in
"cmake -S . -B build && "*) ;;
*) fail "the README's third block is not the test command: $spelled" ;;
esac
printf '%s\n' "$spelled" |
  awk '{ n = split($0, c, / && /); for (i = 1; i <= n; i++) print c[i] }' \
  > "$work/spelled"
while IFS= read -r c; do
  grep -qxF "$c" "$src/tools/test" || fail "tools/test does not run: $c"
done < "$work/spelled"

# The sample server, as the demo starts it.
"$server" -P "$work/port" -t 60 &
pid=$!
i=0
while [ ! -s "$work/port" ]; do
  i=$((i + 1))
  [ $i -lt 200 ] || { echo "the sample server did not start"; exit 1; }
  sleep 0.05
done
port=$(cat "$work/port")
sed "s/@PORT@/$port/" "$src/tools/demo.conf" > "$work/demo.conf"

# What the demo prints: each "$ tavik ARGS" and the lines after it are a
# run with the demo's configuration and what it prints, whole, or in
# order where "..." stands for lines left out.
section "What the demo prints" | block 1 | awk -v dir="$work" '
  /^\$ tavik/ { n++; args = $0; sub(/^\$ tavik */, "", args)
                print args > (dir "/args." n); printf "" > (dir "/want." n)
                next }
  n && $0 != "" { print > (dir "/want." n) }
  END { print n > (dir "/runs") }'
runs=$(cat "$work/runs")
[ "${runs:-0}" -ge 3 ] || fail "the README shows $runs runs of the demo, not 3"
n=1
while [ "$n" -le "${runs:-0}" ]; do
  args=$(cat "$work/args.$n")
  # shellcheck disable=SC2086 # the arguments as the README writes them
  "$tavik" -c "$work/demo.conf" $args > "$work/got" 2>&1 ||
    fail "tavik${args:+ $args}: exit status $?"
  sed '/^$/d' "$work/got" > "$work/got.lines"
  if grep -qxF '...' "$work/want.$n"; then
    grep -vxF '...' "$work/want.$n" > "$work/want.lines"
    # Each shown line in turn, further down the output.
    awk 'NR == FNR { want[++w] = $0; next }
         i < w && $0 == want[i + 1] { i++ }
         END { exit i == w ? 0 : 1 }' "$work/want.lines" "$work/got.lines" ||
      fail "tavik${args:+ $args} prints $(cat "$work/got"), not the README's lines"
  else
    cmp -s "$work/want.$n" "$work/got.lines" ||
      fail "tavik${args:+ $args} prints $(cat "$work/got"), not the README's"
  fi
  n=$((n + 1))
done

# The first configuration: the commands that make the user's own file
# from the sample (the editor left out), run with a home of the test's
# own, then the README's settings written into that file.
first=$(section "A first configuration of your own")
home=$work/home
mkdir "$home"
printf '%s\n' "$first" | block 1 > "$work/make"
grep -q 'tavik.conf.sample' "$work/make" ||
  fail "the first configuration's first block does not copy the sample: $(cat "$work/make")"
while IFS= read -r c; do
  case $c in *EDITOR*) continue ;; esac
  c=$(printf '%s\n' "$c" |
      sed "s|/usr/local/etc/tavik.conf.sample|$src/tavik.conf.sample|g")
  HOME=$home sh -c "$c" || fail "the README's command failed: $c"
done < "$work/make"
own=$home/.config/tavik/tavik.conf
if [ ! -f "$own" ]; then
  fail "the README's commands make no $own"
else
  [ -n "$(find "$own" -prune -perm 600)" ] ||
    fail "the README's commands make $own readable by others"
  printf '%s\n' "$first" | block 2 > "$work/settings"
  grep -q '^URL *http://weather.example.net/' "$work/settings" ||
    fail "the first configuration names no URL of weather.example.net"
  sed "s|http://weather.example.net/|http://127.0.0.1:$port/|" \
    "$work/settings" > "$own"
  # tavik without -c reads it, and prints the report it gives with -c.
  "$tavik" -c "$own" > "$work/with-c" 2>&1 ||
    fail "the first configuration: tavik -c: $(cat "$work/with-c")"
  (
    unset XDG_CONFIG_HOME
    HOME=$home "$tavik_system" > "$work/own" 2>&1
  ) || fail "the first configuration: tavik: $(cat "$work/own")"
  cmp -s "$work/with-c" "$work/own" ||
    fail "tavik without -c prints $(cat "$work/own"), not $(cat "$work/with-c")"
  head -n 1 "$work/own" | grep -q '^City:' ||
    fail "the first configuration gives no report: $(cat "$work/own")"
  ! grep -q UNKNOWN "$work/own" ||
    fail "the first configuration asks for no known location: $(cat "$work/own")"
fi

# The options: each flag and its argument's name, as the help lists them
# and as the README's Options section does.
"$tavik" -h 2> "$work/help" || true
sed -n 's/^    \(-[A-Za-z]\)  *\([a-z]*\)  .*/\1 \2/p' "$work/help" |
  sort > "$work/help.options"
[ -s "$work/help.options" ] || fail "tavik -h lists no options"
section "Options" | block 1 |
  sed -n 's/^\(-[A-Za-z]\)  *\([a-z]*\)  .*/\1 \2/p' | sort > "$work/readme.options"
diff "$work/help.options" "$work/readme.options" > "$work/options.diff" ||
  fail "the README's options (+) differ from tavik -h (-): $(cat "$work/options.diff")"

[ $failures -eq 0 ] || exit 1
echo "the README's commands, demo output, first configuration and options hold"
