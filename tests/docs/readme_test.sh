#!/bin/sh
# shellcheck disable=SC2317 # the cases are called through test_case
# The README holds true: its first two commands are the demo and the test
# command; the demo's runs it shows are the ones tools/demo makes, and
# print what tavik prints against the sample server; its commands for a
# first configuration make the user's own file where tavik reads it
# without -c, and a system-wide file readable by all; its install commands
# build no tests and install a tavik that reads the file they name, and
# its uninstall removes it. The status-bar section has tests of its own.
#   readme_test.sh SOURCE TAVIK TAVIK-TEST-SYSTEM WEATHER-SERVER
# TAVIK-TEST-SYSTEM is tavik whose system-wide file is one of the tests':
# a run that missed the user's file cannot read the machine's.
src=$1 tavik=$2 tavik_system=$3 server=$4
# shellcheck source=tests/lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"
readme=$src/README.md
# The commands run the cmake that CTest runs, when it says which.
if [ -n "${CMAKE:-}" ]; then
  PATH=$(dirname "$CMAKE"):$PATH
  export PATH
fi

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

# The runs the README shows are the ones tools/demo makes, in its order:
# each "run ARGS" line, and the run it writes out whole.
demo_shows_its_runs() {
  sed -n 's/^run\( \(.*\)\)\{0,1\}$/$ tavik \2/p
          s/^echo '\''\(\$ tavik .*\)'\''$/\1/p' "$src/tools/demo" |
    sed 's/ $//' > "$case_dir/demo"
  demo_runs > "$case_dir/readme"
  [ "$(wc -l < "$case_dir/demo")" -ge 4 ] ||
    fail "tools/demo makes these runs: $(cat "$case_dir/demo")"
  diff "$case_dir/demo" "$case_dir/readme" > "$case_dir/diff" ||
    fail "the README's runs (+) differ from tools/demo's (-): $(cat "$case_dir/diff")"
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

# The system-wide file made as the README says is readable by all,
# whatever the umask.
system_wide_file() {
  section "A first configuration of your own" | block 3 > "$case_dir/make"
  grep -q '/usr/local/etc/tavik.conf$' "$case_dir/make" ||
    fail "the third block makes no /usr/local/etc/tavik.conf: $(cat "$case_dir/make")"
  mkdir -p "$case_dir/usr/local/etc"
  cp "$src/tavik.conf.sample" "$case_dir/usr/local/etc/"
  sed "s|/usr/local/|$case_dir/usr/local/|g" "$case_dir/make" > "$case_dir/run"
  (umask 077 && sh -e "$case_dir/run") || fail "$(cat "$case_dir/make") failed"
  [ -n "$(find "$case_dir/usr/local/etc/tavik.conf" -prune -perm 644)" ] ||
    fail "the system-wide file is not mode 644"
}

# install_block N: the README's install block N with the build directory
# it names (after -B) moved into the case's scratch folder, and checks
# that it configures without the tests.
install_block() {
  section "Installing" | block "$1" > "$case_dir/block"
  dir=$(sed -n 's/.* -B \([^ ]*\).*/\1/p' "$case_dir/block" | head -n 1)
  [ -n "$dir" ] || fail "block $1 of Installing configures no build"
  grep -q -- '-DTAVIK_TESTS=OFF' "$case_dir/block" ||
    fail "block $1 of Installing builds the tests: $(cat "$case_dir/block")"
  awk -v dir="$dir" -v to="$case_dir/build" '
    { for (i = 1; i <= NF; i++) if ($i == dir) $i = to; print }' \
    "$case_dir/block"
}

# no_tests_built: the build in the case's folder made no test program.
no_tests_built() {
  found=$(find "$case_dir/build" -type f \
    \( -name tavik_tests -o -name weather-server \) | head -n 1)
  [ -z "$found" ] || fail "installing built $found"
}

# As root: the install commands build no tests and install tavik, which
# reads the system-wide file, tavik-status and the sample where the
# README says (here inside a DESTDIR); the uninstall removes them.
install_as_root() {
  install_block 1 > "$case_dir/install"
  root=$case_dir/root
  (cd "$src" && DESTDIR=$root sh -e "$case_dir/install") \
    > "$case_dir/log" 2>&1 || { fail "$(cat "$case_dir/log")"; return; }
  no_tests_built
  st=0
  "$root/usr/local/bin/tavik" -h 2> "$case_dir/help" || st=$?
  [ "$st" -eq 0 ] || fail "the installed tavik -h: exit status $st"
  grep -qxF 'Default configuration file is /usr/local/etc/tavik.conf' \
    "$case_dir/help" || fail "the installed tavik -h says $(cat "$case_dir/help")"
  for f in bin/tavik-status etc/tavik.conf.sample; do
    [ -f "$root/usr/local/$f" ] || fail "no /usr/local/$f installed"
  done
  section "Installing" | block 2 > "$case_dir/uninstall"
  build=$(sed -n 's/.* -B \([^ ]*\).*/\1/p' "$case_dir/install" | head -n 1)
  sed "s| [^ ]* --target uninstall| $build --target uninstall|" \
    "$case_dir/uninstall" > "$case_dir/run"
  grep -q -- '--target uninstall' "$case_dir/run" ||
    fail "the second block of Installing is no uninstall: $(cat "$case_dir/run")"
  (cd "$src" && DESTDIR=$root sh -e "$case_dir/run") \
    > "$case_dir/log" 2>&1 || fail "the uninstall: $(cat "$case_dir/log")"
  left=$(find "$root" ! -type d)
  [ -z "$left" ] || fail "the uninstall leaves $left"
}

# Into the home directory: the commands build no tests, and the shell
# they leave finds the installed tavik on PATH, which reads the file
# under the home directory.
install_at_home() {
  install_block 3 > "$case_dir/install"
  home=$case_dir/home
  mkdir "$home"
  printf '%s\n' 'command -v tavik' 'tavik -h 2>&1' >> "$case_dir/install"
  (cd "$src" && HOME=$home sh -e "$case_dir/install") \
    > "$case_dir/log" 2>&1 || { fail "$(cat "$case_dir/log")"; return; }
  no_tests_built
  grep -qxF "$home/.local/bin/tavik" "$case_dir/log" ||
    fail "the shell finds no $home/.local/bin/tavik: $(cat "$case_dir/log")"
  grep -qxF "Default configuration file is $home/.local/etc/tavik.conf" \
    "$case_dir/log" || fail "tavik -h: $(cat "$case_dir/log")"
  [ -f "$home/.local/etc/tavik.conf.sample" ] ||
    fail "no sample in $home/.local/etc"
}

test_case 'the first two commands are the demo and the test command' \
  first_commands
test_case 'the demo runs shown are the ones tools/demo makes' \
  demo_shows_its_runs
n=1
while [ "$n" -le "$(demo_runs | wc -l)" ]; do
  test_case "the demo's output: $(demo_runs | sed -n "${n}p")" demo_run "$n"
  n=$((n + 1))
done
test_case 'a first configuration of your own is the file tavik reads' \
  first_configuration
test_case 'the system-wide file is readable by all' system_wide_file
test_case 'the install as root builds no tests, installs and uninstalls' \
  install_as_root
test_case 'the install into the home directory reads the file under it' \
  install_at_home
test_done
