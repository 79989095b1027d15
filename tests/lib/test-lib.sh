# shellcheck shell=sh
# The scripted tests' harness, sourced by every tests/**/*.sh:
#
#   . "$(dirname "$0")/../lib/test-lib.sh"     (from a folder of tests/)
#
#   test_case 'a cached line is printed again' cached_line
#   ...
#   test_done
#
# Each case is a shell function run in a subshell of its own, with a scratch
# folder of its own ($case_dir, empty, removed with the rest); a case that
# calls fail, or ends with a status other than 0, fails. Nothing one case
# sets reaches another. Each case prints one line, "ok N - NAME" or
# "not ok N - NAME" after its "# " reasons; test_done prints
# "N passed, N failed" and exits 1 when any case failed.
#
# The harness's own variables begin with test_, case_ or server_ (and
# $work, $port): a script's names keep clear of them.
#
# Also: $work, the script's scratch folder (under TMPDIR, removed at exit);
# skip_all REASON (exit 77, which CTest reads as skipped); bail_out REASON,
# when what every case needs (a build, a tool) could not be made; within,
# which bounds a command in time; and start_server and stop_server for the
# sample weather server.
#
# The linter sees the cases as functions nothing calls: a script that uses
# this file disables SC2317 on the line after its shebang, and names this
# file in a directive above the line that sources it, so that `shellcheck
# -x` follows it from any directory:
#
#   # shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh

# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH

work=$(mktemp -d "${TMPDIR:-/tmp}/tavik-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM

test_count=0
test_failed=0

# fail MESSAGE: fails the case that is running, which goes on, so that one
# run names every fault of the case. Each line of MESSAGE is shown after
# "# ".
fail() {
  printf '%s\n' "$*" | sed 's/^/# /'
  case_failures=$((case_failures + 1))
}

# skip_all REASON: the whole script is skipped.
skip_all() {
  echo "# skipped: $*"
  exit 77
}

# bail_out REASON: what every case needs could not be made: the script
# stops there and fails.
bail_out() {
  echo "Bail out! $*"
  exit 1
}

# test_case NAME FUNCTION [ARGUMENTS]: runs one case; see above.
test_case() {
  test_count=$((test_count + 1))
  test_name=$1
  shift
  case_dir=$work/case-$test_count
  mkdir "$case_dir" || exit 1
  if (
    case_failures=0
    server_pid=
    trap 'stop_server' EXIT
    "$@"
    test_status=$?
    [ "$test_status" -eq 0 ] || fail "ended with status $test_status"
    [ "$case_failures" -eq 0 ]
  ); then
    echo "ok $test_count - $test_name"
  else
    echo "not ok $test_count - $test_name"
    test_failed=$((test_failed + 1))
  fi
}

# within SECONDS COMMAND [ARGUMENTS]: runs COMMAND and gives its status;
# one still running after SECONDS is killed, fails the case and gives 124,
# so that a hang is named by its case. COMMAND is a program: a shell
# function killed so would leave the programs it runs running. (sh -c
# with exec gives redirections.)
within() {
  test_limit=$1
  test_ticks=$((test_limit * 10))
  shift
  "$@" &
  test_within_pid=$!
  while kill -0 "$test_within_pid" 2>/dev/null; do
    if [ "$test_ticks" -le 0 ]; then
      kill "$test_within_pid" 2>/dev/null
      wait "$test_within_pid" 2>/dev/null
      fail "$* did not end within $test_limit seconds"
      return 124
    fi
    test_ticks=$((test_ticks - 1))
    sleep 0.1
  done
  wait "$test_within_pid"
}

# test_done: the closing line and the script's status.
test_done() {
  echo "$((test_count - test_failed)) passed, $test_failed failed"
  [ "$test_failed" -eq 0 ] && [ "$test_count" -gt 0 ]
  exit $?
}

# start_server SERVER [ARGUMENTS]: starts the sample weather server (or
# another of its options) on a free loopback port, waits until it listens,
# and sets $port; extra arguments go to the server. The server goes at the
# end of the case, or with stop_server.
start_server() {
  server_prog=$1
  shift
  server_port_file=$case_dir/port.$$
  rm -f "$server_port_file"
  "$server_prog" -P "$server_port_file" -t 60 "$@" &
  server_pid=$!
  server_waits=0
  while [ ! -s "$server_port_file" ]; do
    server_waits=$((server_waits + 1))
    if [ "$server_waits" -ge 1000 ] ||
       ! kill -0 "$server_pid" 2>/dev/null; then
      fail "the server did not start"
      return 1
    fi
    sleep 0.01
  done
  # shellcheck disable=SC2034 # for the case that started the server
  port=$(cat "$server_port_file")
}

# stop_server: ends the server start_server started, if it still runs.
# It runs from the case's exit trap, where a script's set -e holds again:
# no step of it may fail.
stop_server() {
  if [ -n "${server_pid:-}" ]; then
    kill -CONT "$server_pid" 2>/dev/null || true
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=
  fi
  return 0
}
