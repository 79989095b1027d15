#!/bin/sh
# shellcheck disable=SC2317,SC2016 # cases called through test_case; $L, $A
# The sample weather server answers as the service does: the weather for a
# known location, 404 for another and, once it is given a key (-k), 401
# for a request whose key= is any other, before it looks at the location;
# without -k it takes every key. Each row runs tavik against it and
# compares standard output, standard error and exit status whole.
#   sample_server_test.sh TAVIK WEATHER-SERVER
tavik=$1 server=$2
# shellcheck source=tests/lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"

millbrook='Millbrook@US@89.65@W@39.80@N@2026-12-10@13:02:44@2026-12-10@22:31:09@Celsius@3@1@6@64@%@1021@mbar@km/h@9.4@Light breeze@0.0@250@WSW@West-southwest@75%@broken clouds@16093@metres@rain@2@mm@2026-12-10@05:25:00@'
unauthorized='tavik: server response was 401 (Unauthorized)
tavik: failed to get weather'
not_found='tavik: server response was 404 (Not Found)
tavik: failed to get weather'

# answer SERVER-OPTIONS QUERY APPID STATUS STDOUT STDERR: tavik -z, asking
# the server started with these options for /current?QUERY (in which $L is
# 3003 and $A is APPID), exits STATUS and prints exactly STDOUT and STDERR.
answer() {
  # shellcheck disable=SC2086 # the options are words
  start_server "$server" $1 || return 1
  printf 'URL http://127.0.0.1:%s/current?%s\nAPPID %s\nLOCATION 3003\n' \
    "$port" "$2" "$3" > "$case_dir/tavik.conf"
  st=0
  "$tavik" -c "$case_dir/tavik.conf" -z > "$case_dir/out" 2> "$case_dir/err" ||
    st=$?
  [ "$st" -eq "$4" ] || fail "exit status $st, not $4"
  [ "$(cat "$case_dir/out")" = "$5" ] ||
    fail "standard output: $(cat "$case_dir/out")"
  [ "$(cat "$case_dir/err")" = "$6" ] ||
    fail "standard error: $(cat "$case_dir/err")"
}

test_case 'the right key gets the weather' \
  answer '-k demo-key' 'id=$L&key=$A' demo-key 0 "$millbrook" ''
test_case 'another key is unauthorized' \
  answer '-k demo-key' 'id=$L&key=$A' wrong-key 1 '' "$unauthorized"
test_case 'a key that goes on past the right one is unauthorized' \
  answer '-k demo-key' 'id=$L&key=$A' demo-key2 1 '' "$unauthorized"
test_case 'the start of the right key is unauthorized' \
  answer '-k demo-key' 'id=$L&key=$A' demo-ke 1 '' "$unauthorized"
test_case 'a request without key= is unauthorized' \
  answer '-k demo-key' 'id=$L&appid=$A' demo-key 1 '' "$unauthorized"
test_case 'the key is checked before the location' \
  answer '-k demo-key' 'id=9999&key=$A' wrong-key 1 '' "$unauthorized"
test_case 'an unknown location with the right key is not found' \
  answer '-k demo-key' 'id=9999&key=$A' demo-key 1 '' "$not_found"
test_case 'the key is checked when one file is served' \
  answer '-k demo-key -f /dev/null' 'id=$L&key=$A' wrong-key 1 '' \
  "$unauthorized"
test_case 'without -k any key gets the weather' \
  answer '' 'id=$L&key=$A' any-key 0 "$millbrook" ''
test_case 'without -k a request without key= gets the weather' \
  answer '' 'id=$L' any-key 0 "$millbrook" ''
test_done
