#!/bin/sh
# contrib/tavik-status against the sample weather server: a fresh line, the
# cached line while the interval lasts (the server answers one request only),
# the stale line once the server is gone, a line with short timestamps, a
# hung server cut off by the time limit with and without timeout(1), and one
# cache for each set of options.
set -u
tavik=$1 server=$2 status_script=$3
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -CONT "$pid" 2>/dev/null; kill "$pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Starts the sample server (extra arguments go to it) and writes a
# configuration naming its port.
start_server() {
  rm -f "$work/port"
  "$server" -P "$work/port" -t 60 "$@" &
  pid=$!
  i=0
  while [ ! -s "$work/port" ]; do
    i=$((i + 1))
    [ $i -lt 200 ] || { echo "the sample server did not start"; exit 1; }
    sleep 0.05
  done
  printf 'URL http://127.0.0.1:%s/weather/current?id=$L&units=$U&key=$A\nAPPID k\nLOCATION 3003\n' \
    "$(cat "$work/port")" > "$work/tavik.conf"
}

# run NAME EXPECTED-STATUS EXPECTED-LINE [arguments]: one run of the script,
# with the settings in $with (VAR=VALUE words) in its environment.
with=
run() {
  name=$1 want_status=$2 want=$3
  shift 3
  # shellcheck disable=SC2086
  got=$(env LC_ALL=C.UTF-8 TAVIK="$tavik" XDG_CACHE_HOME="$work/cache" $with \
        "$status_script" "$@" 2>"$work/err")
  st=$?
  [ "$st" = "$want_status" ] || fail "$name: status $st, not $want_status"
  [ "$got" = "$want" ] || fail "$name: printed '$got', not '$want'"
}

start_server -n 1
run "fresh" 0 "3°C broken clouds" -c "$work/tavik.conf"
run "cached" 0 "3°C broken clouds" -c "$work/tavik.conf"
# The server leaves after its one answer: the cached run did not ask it.
wait "$pid"; pid=
with=LC_ALL=C; run "cached, no UTF-8" 0 "3°C broken clouds" -c "$work/tavik.conf"
with=TAVIK_STATUS_INTERVAL=0; run "server gone" 0 "3°C broken clouds (stale)" -c "$work/tavik.conf"
grep -q "cannot connect to server" "$work/err" || fail "server gone: tavik's message not passed on"
with=; run "still stale" 0 "3°C broken clouds (stale)" -c "$work/tavik.conf"
run "other options, never answered" 1 "" -c "$work/tavik.conf" -l 2002

# Imperial units and a locale without the degree sign, from a fresh cache.
start_server -n 1
with=LC_ALL=C; run "imperial" 0 "63 Fahrenheit scattered clouds" -c "$work/tavik.conf" -u imperial -l 1001
wait "$pid"; pid=

# Sunrise and sunset too short to split (one field each, the first empty)
# move the unit, the temperature and the clouds two fields to the left.
rm -rf "$work/cache"
cat > "$work/short.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<current>
  <city id="3003" name="Millbrook"><country>US</country>
    <sun rise="" set="13:02"/></city>
  <temperature value="3.80" min="1.10" max="6.00" unit="celsius"/>
  <clouds value="75" name="broken clouds"/>
</current>
EOF
start_server -n 1 -f "$work/short.xml"
with=; run "short timestamps" 0 "3°C broken clouds" -c "$work/tavik.conf"
wait "$pid"; pid=

# A server that takes the connection and never answers: the request is cut
# off after the time limit, through timeout(1) and through the fallback.
rm -rf "$work/cache"
start_server
with=; run "hung, first" 0 "3°C broken clouds" -c "$work/tavik.conf"
kill -STOP "$pid"
mkdir "$work/bin"
for t in sh date cksum sed awk mkdir mv rm cat sleep locale; do
  ln -s "$(command -v "$t")" "$work/bin/$t"
done
for how in timeout fallback; do
  path=$PATH
  [ $how = fallback ] && path=$work/bin
  start=$(date +%s)
  with="PATH=$path TAVIK_STATUS_INTERVAL=0 TAVIK_STATUS_TIMEOUT=2"
  run "hung, $how" 0 "3°C broken clouds (stale)" -c "$work/tavik.conf"
  took=$(($(date +%s) - start))
  echo "hung, $how: $took s"
  [ $took -le 5 ] || fail "hung, $how: took $took s with a 2 s limit"
done

with=TAVIK_STATUS_INTERVAL=ten; run "bad interval" 2 "" -c "$work/tavik.conf"
with=TAVIK_STATUS_TIMEOUT=0; run "no time limit" 2 "" -c "$work/tavik.conf"

if [ $failures -ne 0 ]; then exit 1; fi
echo "status line: fresh, cached, stale and cut off as expected"
