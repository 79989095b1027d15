#!/bin/sh
# shellcheck disable=SC2317
# tavik-status against the sample weather server, which writes down every
# request it reads: what a bar shows (fresh, cached, stale, "…", waybar's
# object), what a hostile service or tavik's diagnostics cannot do to it, a
# silent service that never holds the bar, partial documents, an edited
# configuration, rivals for one request, a clock set back, and cache
# directories that are not the user's alone.
#   status_e2e_test.sh TAVIK-STATUS TAVIK WEATHER-SERVER
set -u
# The programs by absolute paths: each run starts in the case's folder.
abs() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
helper=$(abs "$1") tavik=$(abs "$2") server=$(abs "$3")
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"

# The settings of one run, as VAR=VALUE words.
with=

# st [ARGS]: one run of the helper from the case's folder, with HOME and
# the cache in it, and tavik the one built here.
st() {
  # shellcheck disable=SC2086 # $with is words
  (cd "$case_dir" && env LC_ALL=C.UTF-8 TAVIK="$tavik" \
    HOME="$case_dir/home" XDG_CACHE_HOME="$case_dir/cache" \
    XDG_CONFIG_HOME="$case_dir/config" $with "$helper" "$@")
}

# serve [SERVER OPTIONS]: the sample server, writing down its requests, and
# a configuration naming it (location $location). A server started again
# in the same case takes the same port, so that the configuration stays
# the same file.
location=3003
serve() {
  if [ -n "${port:-}" ]; then
    start_server "$server" -p "$port" -l "$case_dir/requests" "$@"
    return
  fi
  start_server "$server" -l "$case_dir/requests" "$@" || return 1
  # shellcheck disable=SC2016 # tavik's own placeholders
  printf 'URL http://127.0.0.1:%s/w?id=$L&units=$U&key=$A\nAPPID k\nLOCATION %s\n' \
    "$port" "$location" > "$case_dir/tavik.conf"
}

# expect NAME STATUS OUT [ARGS]: a run's status and standard output, and
# nothing on standard error.
expect() {
  name=$1 want_status=$2 want=$3
  shift 3
  got=$(st "$@" 2>"$case_dir/err")
  status=$?
  [ "$status" = "$want_status" ] || fail "$name: status $status, not $want_status"
  [ "$got" = "$want" ] || fail "$name: printed '$got', not '$want'"
  [ ! -s "$case_dir/err" ] || fail "$name: stderr: $(cat "$case_dir/err")"
}

# requests N: the server read N requests.
requests() {
  n=0
  [ ! -f "$case_dir/requests" ] || n=$(wc -l < "$case_dir/requests" | tr -d ' ')
  [ "$n" = "$1" ] || fail "the server was asked $n times, not $1"
}

# doc CLOUDS [CITY] [TEMPERATURE]: a document of location 3003.
doc() {
  cat <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<current>
  <city id="3003" name="${2:-Millbrook}"><country>US</country>
    <sun rise="2024-01-01T07:00:00" set="2024-01-01T17:00:00"/></city>
  <temperature value="${3:-3.80}" min="1.10" max="6.00" unit="celsius"/>
  <humidity value="64" unit="%"/>
  <clouds value="75" name="$1"/>
  <lastupdate value="2024-01-01T05:25:00"/>
</current>
EOF
}

fresh_then_cached() {
  serve || return 1
  expect "fresh" 0 "3°C broken clouds" -c "$case_dir/tavik.conf"
  expect "cached" 0 "3°C broken clouds" -c "$case_dir/tavik.conf"
  requests 1
  with=LC_ALL=C expect "no UTF-8" 0 "3 Celsius broken clouds" \
    -c "$case_dir/tavik.conf"
  # Only cache files, the lock and tavik's diagnostics stay behind.
  for f in "$case_dir"/cache/tavik/* "$case_dir"/cache/tavik/.[!.]*; do
    case ${f##*/} in
      status-????????????????|lock|errors|'.[!.]*') ;;
      *) fail "left ${f##*/} in the cache directory" ;;
    esac
  done
  if [ -n "$(find "$case_dir/cache/tavik" -prune -perm -g=r)" ] ||
     [ -n "$(find "$case_dir/cache/tavik" -prune -perm -o=r)" ]; then
    fail "the cache directory is open to others"
  fi
}
test_case 'a fresh line, then the cached one' fresh_then_cached

stale_once_the_service_is_gone() {
  serve || return 1
  expect "fresh" 0 "3°C broken clouds" -c "$case_dir/tavik.conf"
  stop_server
  with=TAVIK_STATUS_INTERVAL=0 expect "server gone" 0 \
    "3°C broken clouds (stale)" -c "$case_dir/tavik.conf"
  grep -q "cannot connect to server" "$case_dir/cache/tavik/errors" ||
    fail "tavik's diagnostic is not in the errors file"
}
test_case 'the last line, stale, once the service is gone' \
  stale_once_the_service_is_gone

nothing_yet() {
  serve -r /dev/null || return 1
  stop_server
  expect "never answered" 0 "…" -c "$case_dir/tavik.conf"
  with=TAVIK_STATUS_FORMAT=waybar expect "never answered, waybar" 0 \
    '{"text": "…", "tooltip": "", "class": "stale"}' -c "$case_dir/tavik.conf"
}
test_case 'nothing cached yet gives …' nothing_yet

waybar_object() {
  location=1001
  serve || return 1
  with=TAVIK_STATUS_FORMAT=waybar expect "waybar" 0 \
    '{"text": "17°C scattered clouds", "tooltip": "Harbourview (NZ)\n17°C (min 15, max 19)\nHumidity 72%\nWind 33.5 km/h Fresh Breeze\nClouds 40% scattered clouds\nUpdated 2026-12-10 05:20:00", "class": "fresh"}' \
    -c "$case_dir/tavik.conf"
}
test_case "waybar's object" waybar_object

# The service's markup for each bar, bidi controls and separators: letters
# and digits reach the bar, nothing else.
hostile_texts() {
  for clouds in \
    "#[fg=red]#(touch $case_dir/x)" \
    "&lt;span color='red'&gt;x&lt;/span&gt;" \
    "%{A1:touch $case_dir/x:}%{F#f00}CLICK%{F-}%{A}" \
    "&lt;action=\`touch $case_dir/x\`&gt;x&lt;/action&gt;" \
    "^fg(red)^ca(1,touch $case_dir/x)x^ca()" \
    "clouds‮ 25°C‬ ⁦x⁩" \
    "d&#10;e&#8232;&#8232;&#8232;&#8232;&#8232;&#8232;f​g﻿h­i"; do
    doc "$clouds" > "$case_dir/doc"
    serve -f "$case_dir/doc" || return 1
    rm -rf "$case_dir/cache"
    got=$(st -c "$case_dir/tavik.conf" 2>"$case_dir/err")
    [ ! -s "$case_dir/err" ] || fail "$clouds: stderr $(cat "$case_dir/err")"
    case $got in
      3°C\ *) ;;
      *) fail "$clouds: printed '$got'" ;;
    esac
    rest=${got#3°C }
    printf '%s' "$rest" | LC_ALL=C grep -q "[^A-Za-z0-9 .,'/-]" &&
      fail "$clouds: kept more than letters and digits: '$got'"
    stop_server
  done
  [ ! -e "$case_dir/x" ] || fail "a command ran"
}
test_case "the service's markup, controls and separators come out as letters" \
  hostile_texts

# tavik's diagnostics, and a status line with polybar's markup in it, never
# reach the bar: they go, cleaned, to the errors file.
diagnostics_stay_off_the_bar() {
  printf 'HTTP/1.1 500 %%{A1:touch %s/x:}%%{F#f00}CLICK ME%%{F-}%%{A}\r\n\r\n' \
    "$case_dir" > "$case_dir/answer"
  serve -r "$case_dir/answer" || return 1
  expect "a 500 with markup" 0 "…" -c "$case_dir/tavik.conf"
  grep -q 'server response was 500 A1touch' "$case_dir/cache/tavik/errors" ||
    fail "errors file: $(cat "$case_dir/cache/tavik/errors")"
  grep -q '[%{}#]' "$case_dir/cache/tavik/errors" &&
    fail "the errors file keeps markup: $(cat "$case_dir/cache/tavik/errors")"
  long=$(printf '%0250d' 0 | tr 0 C)
  doc "clouds" > "$case_dir/doc"
  sed "s|<country>US|<country>$long|" "$case_dir/doc" > "$case_dir/doc2"
  stop_server
  serve -f "$case_dir/doc2" || return 1
  rm -rf "$case_dir/cache"
  expect "a country longer than tavik keeps" 0 "3°C clouds" \
    -c "$case_dir/tavik.conf"
}
test_case "tavik's diagnostics never reach the bar" diagnostics_stay_off_the_bar

# A silent service: the helper answers within about a second, with the
# stale line or with "…", and the reading is there at a later poll.
silent_service() {
  serve -d 2500 || return 1
  with=TAVIK_STATUS_TIMEOUT=10
  before=$(date +%s)
  expect "silent, nothing cached" 0 "…" -c "$case_dir/tavik.conf"
  after=$(date +%s)
  [ $((after - before)) -le 2 ] || fail "it held the bar $((after - before)) s"
  sleep 3
  expect "answered meanwhile" 0 "3°C broken clouds" -c "$case_dir/tavik.conf"
  with="TAVIK_STATUS_TIMEOUT=10 TAVIK_STATUS_INTERVAL=0"
  before=$(date +%s)
  expect "silent, a line cached" 0 "3°C broken clouds (stale)" \
    -c "$case_dir/tavik.conf"
  after=$(date +%s)
  [ $((after - before)) -le 2 ] || fail "it held the bar $((after - before)) s"
  # A bar's other descriptors, here a copy of the pipe it reads to its end
  # on descriptor 5, do not reach the refresh either.
  before=$(date +%s)
  got=$(st -c "$case_dir/tavik.conf" 5>&1 2>/dev/null)
  after=$(date +%s)
  [ "$got" = "3°C broken clouds (stale)" ] || fail "descriptor 5: printed '$got'"
  [ $((after - before)) -le 2 ] ||
    fail "descriptor 5 held the bar $((after - before)) s"
}
test_case 'a silent service never holds the bar' silent_service

# What is not a whole, plausible report never replaces the good line.
partial_documents() {
  serve || return 1
  expect "good" 0 "3°C broken clouds" -c "$case_dir/tavik.conf"
  stop_server
  printf '<current><city name="Millbrook"/></current>' > "$case_dir/cut"
  doc "hot" Millbrook 99999999999999 > "$case_dir/huge"
  for f in cut huge; do
    serve -f "$case_dir/$f" || return 1
    with=TAVIK_STATUS_INTERVAL=0 expect "$f" 0 "3°C broken clouds (stale)" \
      -c "$case_dir/tavik.conf"
    stop_server
  done
}
test_case 'a partial document is no reading' partial_documents

# An edited configuration is asked about at the next poll.
edited_configuration() {
  serve || return 1
  expect "before" 0 "3°C broken clouds" -c "$case_dir/tavik.conf"
  sed -i.old 's/LOCATION 3003/LOCATION 1001/' "$case_dir/tavik.conf"
  expect "after" 0 "17°C scattered clouds" -c "$case_dir/tavik.conf"
  requests 2
  # The user's own file, chosen without -c, counts the same way.
  mkdir -p "$case_dir/config/tavik"
  cp "$case_dir/tavik.conf" "$case_dir/config/tavik/tavik.conf"
  expect "user's file" 0 "17°C scattered clouds"
  printf 'UNITS imperial\n' >> "$case_dir/config/tavik/tavik.conf"
  expect "user's file edited" 0 "63°F scattered clouds"
  requests 4
}
test_case 'an edited configuration is asked about at once' edited_configuration

# Many bars at once, and a rival with a shorter time limit while a slow
# request goes on: one request.
one_request() {
  serve -d 1500 || return 1
  i=0 bars=
  while [ "$i" -lt 10 ]; do
    st -c "$case_dir/tavik.conf" > "$case_dir/out.$i" 2>&1 &
    bars="$bars $!"
    i=$((i + 1))
  done
  with=TAVIK_STATUS_TIMEOUT=1 st -c "$case_dir/tavik.conf" >/dev/null 2>&1
  for pid in $bars; do wait "$pid"; done
  sleep 2
  requests 1
  expect "after them" 0 "3°C broken clouds" -c "$case_dir/tavik.conf"
  requests 1
}
test_case 'many bars and a rival with a shorter limit make one request' \
  one_request

# A refresh killed in the middle of its request has counted it already: the
# next poll within the interval asks nothing, and the lock is free again.
killed_refresh() {
  serve -d 3000 || return 1
  expect "asked" 0 "…" -c "$case_dir/tavik.conf"
  pkill -KILL -f -- "-c $case_dir/tavik.conf" || fail "no refresh to kill"
  sleep 3
  expect "after the kill" 0 "…" -c "$case_dir/tavik.conf"
  requests 1
  with=TAVIK_STATUS_INTERVAL=0 expect "a new interval" 0 "…" \
    -c "$case_dir/tavik.conf"
  sleep 3
  requests 2
  with=TAVIK_STATUS_INTERVAL=60 expect "its answer" 0 "3°C broken clouds" \
    -c "$case_dir/tavik.conf"
}
test_case 'a refresh killed in its request counted the request' killed_refresh

# A cache time in the future counts as expired: a clock set back asks once.
clock_set_back() {
  serve || return 1
  expect "first" 0 "3°C broken clouds" -c "$case_dir/tavik.conf"
  for f in "$case_dir"/cache/tavik/status-*; do
    sed -i.old 's/^asked .*/asked 4000000000/' "$f"
  done
  expect "clock set back" 0 "3°C broken clouds" -c "$case_dir/tavik.conf"
  expect "then cached" 0 "3°C broken clouds" -c "$case_dir/tavik.conf"
  requests 2
}
test_case 'a cache time in the future counts as expired' clock_set_back

# complains NAME MESSAGE [ARGS]: status 2, nothing on stdout, the message.
complains() {
  name=$1 message=$2
  shift 2
  got=$(st "$@" 2>"$case_dir/err")
  status=$?
  [ "$status" = 2 ] || fail "$name: status $status, not 2"
  [ -z "$got" ] || fail "$name: printed '$got'"
  [ "$(cat "$case_dir/err")" = "$message" ] ||
    fail "$name: stderr '$(cat "$case_dir/err")'"
}

cache_directories() {
  mkdir -m 777 "$case_dir/open"
  with="XDG_CACHE_HOME=$case_dir/open" complains "parent open to others" \
    "tavik-status: cache directory $case_dir/open/tavik lies in a directory that others can write to; not using it"
  [ ! -e "$case_dir/open/tavik" ] || fail "it made a directory under $case_dir/open"
  mkdir -m 1777 "$case_dir/sticky"
  with="XDG_CACHE_HOME=$case_dir/sticky TAVIK_STATUS_INTERVAL=0" \
    expect "a sticky parent is fine" 0 "…" -c /nonexistent
  mkdir -p "$case_dir/wide/tavik"
  chmod 777 "$case_dir/wide/tavik"
  with="XDG_CACHE_HOME=$case_dir/wide" complains "open to others" \
    "tavik-status: cache directory $case_dir/wide/tavik can be written by group or others; not using it"
  mkdir -p "$case_dir/linked/elsewhere"
  ln -s elsewhere "$case_dir/linked/tavik"
  with="XDG_CACHE_HOME=$case_dir/linked" complains "a link" \
    "tavik-status: cache directory $case_dir/linked/tavik is a symbolic link or not a directory; not using it"
  if [ "$(id -u)" != 0 ]; then
    mkdir -p "$case_dir/ro/tavik"
    chmod 500 "$case_dir/ro/tavik"
    with="XDG_CACHE_HOME=$case_dir/ro" complains "cannot be written" \
      "tavik-status: cache directory $case_dir/ro/tavik cannot be written; not using it"
    chmod 700 "$case_dir/ro/tavik"
  fi
  with="XDG_CACHE_HOME=relative HOME=relative" complains "relative HOME" \
    "tavik-status: HOME is not an absolute path; no place for the cache"
}
test_case 'a cache directory that is not the user alone is refused' \
  cache_directories

settings() {
  with=TAVIK_STATUS_INTERVAL=soon complains "interval" \
    "tavik-status: TAVIK_STATUS_INTERVAL is whole seconds"
  with=TAVIK_STATUS_TIMEOUT=86401 complains "time limit" \
    "tavik-status: TAVIK_STATUS_TIMEOUT is at most 86400 seconds (a day)"
  with=TAVIK_STATUS_TIMEOUT=0 complains "no time limit" \
    "tavik-status: TAVIK_STATUS_TIMEOUT is at least 1 second"
  with=TAVIK_STATUS_FORMAT=html complains "format" \
    "tavik-status: TAVIK_STATUS_FORMAT is plain or waybar"
}
test_case 'settings out of range are refused' settings

test_done
