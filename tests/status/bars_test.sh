#!/bin/sh
# shellcheck disable=SC2317
# The README's recipes for tmux and i3blocks, run in a real tmux and a real
# i3blocks against the sample weather server: the line shows, the
# service's markup shows as plain letters, and a silent service holds
# neither bar. tmux's status line is read through a client attached inside
# a second tmux; i3blocks writes its JSON to standard output.
#   bars_test.sh README TAVIK-STATUS TAVIK WEATHER-SERVER
set -u
abs() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
readme=$(abs "$1") helper=$(abs "$2") tavik=$(abs "$3") server=$(abs "$4")
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"

# recipe NAME: the indented block that follows the README's line naming
# NAME in its status-bar section, without the indent.
recipe() {
  awk -v name="$1" '
    /^## / { inside = ($0 == "## A status bar"); next }
    !inside { next }
    /^[^ ]/ { found = index($0, name) == 1; taking = 0; next }
    found && /^    / { taking = 1; sub(/^    /, ""); print; next }
    found && taking && /^$/ { exit }' "$readme"
}

# bar_setup DOC: the sample server serving DOC (or the samples), the case's
# HOME and cache, and tavik-status and tavik on PATH as installed.
bar_setup() {
  if [ -n "${1:-}" ]; then
    start_server "$server" -f "$1" -d "${delay:-0}" || return 1
  else
    start_server "$server" -d "${delay:-0}" || return 1
  fi
  mkdir -p "$case_dir/bin" "$case_dir/home/.config/tavik"
  ln -s "$helper" "$case_dir/bin/tavik-status"
  ln -s "$tavik" "$case_dir/bin/tavik"
  # shellcheck disable=SC2016 # tavik's own placeholders
  printf 'URL http://127.0.0.1:%s/w?id=$L&units=$U&key=$A\nAPPID k\nLOCATION 3003\n' \
    "$port" > "$case_dir/home/.config/tavik/tavik.conf"
  # tmux runs its panes with $SHELL, which for a system user may be
  # nologin.
  PATH=$case_dir/bin:$PATH HOME=$case_dir/home LC_ALL=C.UTF-8 SHELL=/bin/sh
  export PATH HOME LC_ALL SHELL
  # The bars run their commands from here: a command of the service's
  # would leave its file here.
  cd "$case_dir" || return 1
  unset XDG_CACHE_HOME XDG_CONFIG_HOME TMUX
}

hostile_doc() {
  cat > "$case_dir/doc" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<current>
  <city id="3003" name="Millbrook"><country>US</country></city>
  <temperature value="3.80" min="1.10" max="6.00" unit="celsius"/>
  <clouds value="75" name="#[fg=red]#(touch x)&lt;b&gt;b&lt;/b&gt;"/>
  <lastupdate value="2024-01-01T05:25:00"/>
</current>
EOF
}

# tmux_status: tmux with the README's recipe (polling every second), its
# status line as a client attached inside a second tmux shows it, after
# the given seconds.
tmux_status() {
  recipe tmux | sed 's/^set -g status-interval .*/set -g status-interval 1/' \
    > "$case_dir/tmux.conf"
  sed -i.old 's/%H:%M/%H:%M:%S/' "$case_dir/tmux.conf"
  tmux -u -S "$case_dir/inner" -f "$case_dir/tmux.conf" \
    new-session -d -x 100 -y 5 'sleep 60' || return 1
  tmux -u -S "$case_dir/outer" -f /dev/null new-session -d -x 100 -y 5 \
    "TMUX= tmux -u -S '$case_dir/inner' attach" || return 1
}
tmux_line() { tmux -S "$case_dir/outer" capture-pane -p | tail -1; }
tmux_stop() {
  tmux -S "$case_dir/outer" kill-server 2>/dev/null
  tmux -S "$case_dir/inner" kill-server 2>/dev/null
  return 0
}

# tmux_settled [DOC]: the status line, three seconds after tmux started
# with the README's recipe against a server of DOC (or the samples).
tmux_settled() {
  bar_setup "${1:-}" || return 1
  tmux_status || return 1
  sleep 3
  line=$(tmux_line)
  tmux_stop
}

tmux_shows_the_line() {
  tmux_settled || return 1
  case $line in
    *"3°C broken clouds "*) ;;
    *) fail "tmux shows: $line" ;;
  esac
}

tmux_shows_markup_as_letters() {
  hostile_doc
  tmux_settled "$case_dir/doc" || return 1
  case $line in
    *"3°C fgredtouch xbb/b "*) ;;
    *) fail "tmux shows: $line" ;;
  esac
  [ ! -e "$case_dir/x" ] || fail "tmux ran the service's command"
}

tmux_clock_ticks_while_the_service_is_silent() {
  delay=20000 bar_setup || return 1
  tmux_status || return 1
  sleep 2
  first=$(tmux_line)
  sleep 2
  second=$(tmux_line)
  tmux_stop
  case $second in
    *"… "[0-9][0-9]:[0-9][0-9]:[0-9][0-9]) ;;
    *) fail "tmux shows: $second" ;;
  esac
  [ "$first" != "$second" ] || fail "the clock stood still: $second"
}

# i3blocks_lines SECONDS: what i3blocks, with the README's recipe polling
# every second, wrote in that time.
i3blocks_lines() {
  recipe i3blocks | sed 's/^interval=.*/interval=1/' > "$case_dir/i3blocks.conf"
  printf '\n[clock]\ncommand=date +%%s\ninterval=1\n' >> "$case_dir/i3blocks.conf"
  timeout "$1" i3blocks -c "$case_dir/i3blocks.conf" < /dev/null \
    > "$case_dir/i3blocks.out" 2>&1
  cat "$case_dir/i3blocks.out"
}

i3blocks_shows_the_line() {
  bar_setup || return 1
  i3blocks_lines 3 | grep -q '"full_text":"3°C broken clouds"' ||
    fail "i3blocks wrote: $(cat "$case_dir/i3blocks.out")"
}

i3blocks_shows_markup_as_letters() {
  hostile_doc
  bar_setup "$case_dir/doc" || return 1
  out=$(i3blocks_lines 3)
  printf '%s\n' "$out" |
    grep -q '"full_text":"3°C fgredtouch xbb/b"' ||
    fail "i3blocks wrote: $out"
  [ ! -e "$case_dir/x" ] || fail "i3blocks ran the service's command"
}

i3blocks_goes_on_while_the_service_is_silent() {
  delay=20000 bar_setup || return 1
  out=$(i3blocks_lines 4)
  printf '%s\n' "$out" | grep -q '"full_text":"…"' ||
    fail "no … from tavik-status: $out"
  clocks=$(printf '%s\n' "$out" | grep -o '"full_text":"[0-9]*"' | sort -u |
    wc -l)
  [ "$clocks" -ge 3 ] || fail "the clock block stood still: $out"
}

if command -v tmux >/dev/null 2>&1; then
  test_case 'tmux shows the line' tmux_shows_the_line
  test_case "tmux shows the service's markup as letters" \
    tmux_shows_markup_as_letters
  test_case "tmux's clock ticks while the service is silent" \
    tmux_clock_ticks_while_the_service_is_silent
else
  echo "# tmux is not installed: its cases are skipped"
fi
if command -v i3blocks >/dev/null 2>&1; then
  test_case 'i3blocks shows the line' i3blocks_shows_the_line
  test_case "i3blocks shows the service's markup as letters" \
    i3blocks_shows_markup_as_letters
  test_case 'i3blocks goes on while the service is silent' \
    i3blocks_goes_on_while_the_service_is_silent
else
  echo "# i3blocks is not installed: its cases are skipped"
fi
[ "$test_count" -gt 0 ] || skip_all "neither tmux nor i3blocks is installed"
test_done
