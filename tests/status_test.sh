#!/bin/sh
# contrib/tavik-status against the sample weather server, which writes down
# every request it reads: a fresh line, the cached line while the interval
# lasts, the stale line once the server is gone, a line with short
# timestamps, a hung server cut off by the time limit with and without
# timeout(1) and mktemp(1), and one cache for each set of options. Then what
# a careless service or another user could do: error documents, clouds
# texts with control characters or the markup of status bars, a city or a
# sunset that looks like the fields before the temperature, six bars at
# once against a slow answer (a killed run's lock among them), stale and
# fresh locks and a lock taken over by another run first, corrupt cache
# files, links planted at the names an older version wrote through, cache
# directories that are not the user's own or are open to others, a
# relative XDG_CACHE_HOME, and settings the shell cannot hold.
# After every run the cache directory holds nothing but cache files.
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
mkdir "$work/home" "$work/config" "$work/cwd"
cache=$work/cache/tavik

# Starts the sample server (extra arguments go to it) and writes a
# configuration naming its port. The server appends each request target
# to $work/requests.
start_server() {
  rm -f "$work/port" "$work/requests"
  "$server" -P "$work/port" -t 60 -l "$work/requests" "$@" &
  pid=$!
  i=0
  while [ ! -s "$work/port" ]; do
    i=$((i + 1))
    [ $i -lt 500 ] || { echo "the sample server did not start"; exit 1; }
    sleep 0.01
  done
  # $L, $U and $A are the configuration's own.
  # shellcheck disable=SC2016
  printf 'URL http://127.0.0.1:%s/weather/current?id=$L&units=$U&key=$A\nAPPID k\nLOCATION 3003\n' \
    "$(cat "$work/port")" > "$work/tavik.conf"
}
stop_server() { kill "$pid"; wait "$pid" 2>/dev/null; pid=; }

# Prints how many of its arguments name files that exist.
count() {
  n=0
  for f in "$@"; do [ -e "$f" ] && n=$((n + 1)); done
  echo "$n"
}

# requests NAME COUNT: the server read COUNT requests since it started.
requests() {
  n=$(wc -l < "$work/requests" | tr -d ' ')
  [ "$n" = "$2" ] || fail "$1: the server was asked $n times, not $2"
}

# Fails when a cache directory holds anything but cache files (and names
# matching the pattern $allow), or the folder the script ran from anything.
litter() {
  for c in "$cache" "$work/home/.cache/tavik"; do
    [ -d "$c" ] || continue
    # shellcheck disable=SC2010
    left=$(ls -A "$c" | grep -v -x -e 'status-[0-9]*' ${allow:+-e "$allow"})
    [ -z "$left" ] || fail "$1: left $left in $c"
  done
  [ -z "$(ls -A "$work/cwd")" ] || fail "$1: wrote into the folder it ran from"
}

# Becomes the script, run from the empty folder $work/cwd with HOME and
# XDG_CONFIG_HOME in the scratch directory, outside tmux, and with the
# settings in $with (VAR=VALUE words) in its environment. Call it in a
# subshell.
with='' script=$status_script allow=''
status_run() {
  cd "$work/cwd" || exit 1
  # shellcheck disable=SC2086
  exec env LC_ALL=C.UTF-8 TAVIK="$tavik" HOME="$work/home" \
    XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" TMUX= \
    $with "$script" "$@"
}

# run NAME EXPECTED-STATUS EXPECTED-LINE [arguments]: one run of the script.
run() {
  name=$1 want_status=$2 want=$3
  shift 3
  got=$(status_run "$@" 2>"$work/err")
  st=$?
  [ "$st" = "$want_status" ] || fail "$name: status $st, not $want_status"
  [ "$got" = "$want" ] || fail "$name: printed '$got', not '$want'"
  litter "$name"
}

# The document of the sample location 3003 with another clouds text, and
# another city and sunset when given.
clouds_doc() {
  cat <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<current>
  <city id="3003" name="${2:-Millbrook}"><country>US</country>
    <sun rise="2024-01-01T07:00:00" set="${3:-2024-01-01T17:00:00}"/></city>
  <temperature value="3.80" min="1.10" max="6.00" unit="celsius"/>
  <clouds value="75" name="$1"/>
</current>
EOF
}

start_server
run "fresh" 0 "3°C broken clouds" -c "$work/tavik.conf"
run "cached" 0 "3°C broken clouds" -c "$work/tavik.conf"
requests "cached" 1
stop_server
# The cache file of the options -c $work/tavik.conf, as later cases use it.
file=$(ls "$cache")
with=LC_ALL=C; run "cached, no UTF-8" 0 "3°C broken clouds" -c "$work/tavik.conf"
with=TAVIK_STATUS_INTERVAL=0; run "server gone" 0 "3°C broken clouds (stale)" -c "$work/tavik.conf"
grep -q "cannot connect to server" "$work/err" || fail "server gone: tavik's message not passed on"
with=; run "still stale" 0 "3°C broken clouds (stale)" -c "$work/tavik.conf"
run "other options, never answered" 1 "" -c "$work/tavik.conf" -l 2002
[ "$(count "$cache"/*)" = 2 ] || fail "not one cache for each set of options"

# Imperial units and a locale without the degree sign, from a fresh cache.
start_server
with=LC_ALL=C; run "imperial" 0 "63 Fahrenheit scattered clouds" -c "$work/tavik.conf" -u imperial -l 1001
stop_server

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
start_server -f "$work/short.xml"
with=; run "short timestamps" 0 "3°C broken clouds" -c "$work/tavik.conf"
stop_server

# A well-formed document that is not a weather report gives tavik's empty
# record (city UNKNOWN, zeros), which is a failed request, not 0°C.
printf '<?xml version="1.0"?>\n<ClientError><cod>401</cod><message>Invalid API key</message></ClientError>\n' \
  > "$work/error.xml"
rm -rf "$work/cache"
start_server -f "$work/error.xml"
with=; run "error document, nothing cached" 1 "" -c "$work/tavik.conf"
stop_server
start_server
with=TAVIK_STATUS_INTERVAL=0; run "good line before the error" 0 "3°C broken clouds" -c "$work/tavik.conf"
stop_server
start_server -f "$work/error.xml"
with=TAVIK_STATUS_INTERVAL=0; run "error document" 0 "3°C broken clouds (stale)" -c "$work/tavik.conf"
with=; run "error document, cached" 0 "3°C broken clouds (stale)" -c "$work/tavik.conf"
requests "error document" 1
stop_server

# Clouds texts with control characters and the markup of status bars, as
# character references so that they reach tavik whatever it makes of them.
# Only words stay, under tmux as elsewhere: of ASCII, letters, digits,
# blanks and . , - ' / (so tavik's '?' for a control character goes too).
# NAME|TMUX|CLOUDS|EXPECTED
while IFS='|' read -r name tmux clouds want; do
  clouds_doc "$clouds" > "$work/hostile.xml"
  rm -rf "$work/cache"
  start_server -f "$work/hostile.xml"
  with="TMUX=$tmux"
  got=$(status_run -c "$work/tavik.conf" 2>"$work/err")
  st=$?
  stop_server
  [ "$st" = 0 ] || fail "$name: status $st"
  bytes=" $(printf '%s' "$got" | od -An -v -tx1 | tr -s ' \n' '  ')"
  case $bytes in
    *' '[01][0-9a-f]' '*|*' 7f '*|*' c2 '[89][0-9a-f]' '*)
      fail "$name: control characters in '$got':$bytes" ;;
  esac
  [ "$got" = "$want" ] || fail "$name: printed '$got', not '$want'"
  litter "$name"
done <<'EOF'
CR, TAB and DEL||a&#13;b[31mc&#127;d&#9;e|3°C ab31mcde
C1 (CSI, NEL, PAD)||x&#x9b;31my&#x85;z&#x80;|3°C x31myz
tmux styles and commands|/tmp/tmux-1/default,1,0|#[fg=red]r #(touch x) #|3°C fgredr touch x
Pango (waybar, i3blocks)||&lt;span color=&quot;red&quot;&gt;x&lt;/span&gt;&amp;amp;|3°C span colorredx/spanamp
polybar and lemonbar actions||%{A1:touch x:}rain%{A}|3°C A1touch xrainA
xmobar actions||&lt;action=`rm x`&gt;r&lt;/action&gt;|3°C actionrm xr/action
words stay||rain, 2.5 mm/h - it&apos;s  wet|3°C rain, 2.5 mm/h - it's wet
nothing but markup||&lt;&gt;&amp;# {}%`|3°C
EOF

# Text of the service that holds the delimiters of tavik's -z line ('|',
# '@') or the pattern of the fields before the temperature moves neither
# the temperature nor the clouds text: the line's delimiter is a control
# character, which tavik never passes on from the service.
# NAME:CITY:SUNSET
while IFS=':' read -r name city sunset; do
  clouds_doc "broken clouds" "$city" "$sunset" > "$work/fields.xml"
  rm -rf "$work/cache"
  start_server -f "$work/fields.xml"
  with=; run "$name" 0 "3°C broken clouds" -c "$work/tavik.conf"
  stop_server
done <<'EOF'
a city holding delimiters and a temperature:c|x|@|,|;|1|2|3|4|5|Celsius|-40|a@b;Fahrenheit;-40:
a sunset that reads as the unit:Millbrook:Celsius
a sunset that reads as the unit and a temperature:Millbrook:Fahrenheit-40
EOF

# Only the first line of tavik's output counts, and bytes that cannot come
# through a well-formed document are cleaned too: a stand-in prints them,
# with its -d delimiter in place of each '|'.
cat > "$work/fake-tavik" <<'EOF'
#!/bin/sh
d='|'
while [ $# -gt 0 ]; do
  if [ "$1" = -d ]; then d=$2; fi
  shift
done
printf "$FAKE" | tr '|' "$d"
EOF
chmod +x "$work/fake-tavik"
fields='Millbrook|US|0|E|0|N|2024-01-01|07:00:00|2024-01-01|17:00:00|Celsius|3|1|6|0||0||km/h|0.0||0.0|0|||75%%|'
# NAME|PRINTED|EXPECTED
while IFS='|' read -r name printed want; do
  rm -rf "$work/cache"
  with="TAVIK=$work/fake-tavik FAKE=$fields$printed"
  run "$name" 0 "$want"
done <<'EOF'
two lines|one\ntwo|3°C one
ESC and NUL|a\033[31mb\000c|3°C a31mbc
C1 rejoined|a\302\302\302\233\233\233b|3°C ab
last of C1|a\302\237b|3°C ab
lone and malformed bytes|a\200b\377c\303d\351\240e\351\233\303\251f\303|3°C abcdeéf
not UTF-8's to encode|a\300\257b\340\200\257c\360\200\200\257d\355\240\200e\364\220\200\200f\365\200g|3°C abcdefg
any script|\303\251t\303\251,\342\200\224.\351\233\252/\360\237\214\247|3°C été,—.雪/🌧
EOF

# Six bars at the same moment against a slow answer ask the service once,
# also when a killed run left its lock: the others print the cached line,
# marked as stale since it is older than the interval, or nothing when
# there is none.
for what in "nothing cached" "old line cached" "old lock"; do
  rm -rf "$work/cache"
  if [ "$what" != "nothing cached" ]; then
    mkdir -p "$cache"
    printf '%s ok\nold line\n' $(($(date +%s) - 3600)) > "$cache/$file"
  fi
  if [ "$what" = "old lock" ]; then
    mkdir "$cache/$file.lock"
    echo $(($(date +%s) - 3600)) > "$cache/$file.lock/time"
  fi
  start_server -d 300
  with="TAVIK_STATUS_TIMEOUT=3"
  rm -f "$work"/out.* "$work"/st.*
  for i in 1 2 3 4 5 6; do
    ( (status_run -c "$work/tavik.conf") > "$work/out.$i" 2>/dev/null
     echo $? > "$work/st.$i.new" && mv "$work/st.$i.new" "$work/st.$i") &
  done
  # Each run writes its status when it ends; they get a deadline of their own.
  i=0
  while [ "$(count "$work"/st.[0-9])" -lt 6 ]; do
    i=$((i + 1))
    [ $i -lt 100 ] || { fail "six bars, $what: the runs did not end"; break; }
    sleep 0.05
  done
  requests "six bars, $what" 1
  stop_server
  for i in 1 2 3 4 5 6; do
    case $(cat "$work/st.$i"):$(cat "$work/out.$i") in
      "0:3°C broken clouds"|"0:old line (stale)") ;;
      "1:") [ "$what" = "nothing cached" ] || fail "six bars, $what: run $i printed nothing" ;;
      *) fail "six bars, $what: run $i: $(cat "$work/st.$i") '$(cat "$work/out.$i")'" ;;
    esac
  done
  litter "six bars, $what"
done

# A lock with a recent time holds; one older than the time limit and a
# margin, or with a time that is not one, was left by a killed run; one
# without a time gets one and holds.
# NAME|LOCK TIME (seconds ago, or text)|EXPECTED|REQUESTS
while IFS='|' read -r name ago want asked; do
  rm -rf "$work/cache"
  mkdir -p "$cache"
  printf '%s ok\nold line\n' $(($(date +%s) - 3600)) > "$cache/$file"
  mkdir "$cache/$file.lock"
  case $ago in
    '') ;;
    x*) echo "$ago" > "$cache/$file.lock/time" ;;
    *) echo $(($(date +%s) - ago)) > "$cache/$file.lock/time" ;;
  esac
  start_server
  with=TAVIK_STATUS_TIMEOUT=3 allow="$file.lock"
  run "$name" 0 "$want" -c "$work/tavik.conf"
  requests "$name" "$asked"
  stop_server
  allow=
  if [ "$asked" = 0 ]; then
    [ -s "$cache/$file.lock/time" ] || fail "$name: no time in the lock"
  else
    [ ! -e "$cache/$file.lock" ] || fail "$name: the lock is still there"
  fi
done <<'EOF'
fresh lock|1|old line (stale)|0
lock without a time||old line (stale)|0
stale lock|14|3°C broken clouds|1
lock from the future|-100|3°C broken clouds|1
lock with a damaged time|x1|3°C broken clouds|1
EOF

# A run that moves out a stale lock's time just after another run took the
# lock over and wrote its own puts that time back and does not ask: a
# stand-in for mv(1) plays the other run once.
mkdir "$work/race"
cat > "$work/race/mv" <<'EOF'
#!/bin/sh
case $* in
  *.lock/time*)
    if [ ! -e "$RACED" ]; then : > "$RACED"; date +%s > "$LOCK/time"; fi ;;
esac
exec "$REAL_MV" "$@"
EOF
chmod +x "$work/race/mv"
rm -rf "$work/cache"
mkdir -p "$cache/$file.lock"
printf '%s ok\nold line\n' $(($(date +%s) - 3600)) > "$cache/$file"
echo $(($(date +%s) - 3600)) > "$cache/$file.lock/time"
start_server
with="PATH=$work/race:$PATH REAL_MV=$(command -v mv) RACED=$work/raced LOCK=$cache/$file.lock"
allow="$file.lock"
run "lock taken over by another run first" 0 "old line (stale)" -c "$work/tavik.conf"
allow=
requests "lock taken over by another run first" 0
stop_server
[ -e "$work/raced" ] || fail "lock taken over by another run first: no race played"
ago=$(($(date +%s) - $(cat "$cache/$file.lock/time" 2>/dev/null || echo 0)))
[ "$ago" -le 10 ] || fail "lock taken over by another run first: its time was not put back"

# A cache file whose time the shell cannot read, whose state is not one the
# script writes, or whose time is still to come, is no cache at all.
# NAME|FIRST LINE (NOW is the time, LATER an hour after it)
while IFS='|' read -r name first; do
  rm -rf "$work/cache"
  mkdir -p "$cache"
  t=$(date +%s)
  printf '%s\nforged line\n' "$first" |
    sed -e "s/NOW/$t/" -e "s/LATER/$((t + 3600))/" > "$cache/$file"
  start_server
  with=; run "$name" 0 "3°C broken clouds" -c "$work/tavik.conf"
  stop_server
done <<'EOF'
leading zero|01796916476 ok
twenty digits|12345678901234567890 ok
unknown state|NOW good
an hour ahead|LATER ok
EOF

# A line cached by an older version, which kept more of the service's text
# (the last character of C0 among it), is cleaned as it is shown.
rm -rf "$work/cache"
mkdir -p "$cache"
printf '%s ok\n3\302\260C a\037b <b>#c\n' "$(date +%s)" > "$cache/$file"
with=; run "older cache" 0 "3°C ab bc" -c "$work/tavik.conf"

# Links planted at the names an older version wrote through ($cache.$$ and
# $cache.$$.line): the run takes the planter's process id, and the file the
# links lead to stays as it was.
cat > "$work/plant" <<'EOF'
#!/bin/sh
ln -s "$VICTIM" "$PLANT.$$"
ln -s "$VICTIM" "$PLANT.$$.line"
exec "$REAL" "$@"
EOF
chmod +x "$work/plant"
echo "precious" > "$work/victim"
rm -rf "$work/cache"
start_server
with=; run "before the links" 0 "3°C broken clouds" -c "$work/tavik.conf"
script=$work/plant allow="$file\.[0-9]*\(\.line\)\{0,1\}"
with="TAVIK_STATUS_INTERVAL=0 PLANT=$cache/$file VICTIM=$work/victim REAL=$status_script"
run "planted links" 0 "3°C broken clouds" -c "$work/tavik.conf"
script=$status_script allow=
stop_server
[ "$(cat "$work/victim")" = precious ] || fail "planted links: the victim file was overwritten"
rm -rf "$work/cache"

# Cache directories that are not the user's own, or that others can write
# to, are not used: status 2, a message naming the directory, nothing
# written there.
# NAME|MADE BY
while IFS='|' read -r name made; do
  d=$work/bad/tavik
  rm -rf "$work/bad" "$work/elsewhere"
  mkdir -p "$work/bad" "$work/elsewhere"
  case $made in
    link) ln -s "$work/elsewhere" "$d" ;;
    file) : > "$d" ;;
    chown) mkdir -m 700 "$d"
           other=65534
           [ "$(id -u)" != "$other" ] || other=65533
           chown "$other" "$d" 2>/dev/null || { echo "$name: skipped, not root"; continue; } ;;
    *) mkdir -m "$made" "$d" ;;
  esac
  with="XDG_CACHE_HOME=$work/bad"
  run "$name" 2 "" -c "$work/tavik.conf"
  grep -q "$d" "$work/err" || fail "$name: the message does not name $d"
  [ -z "$(ls -A "$work/elsewhere")" ] || fail "$name: wrote through the link"
  [ "$made" = file ] || [ -z "$(ls -A "$d")" ] || fail "$name: wrote into $d"
done <<'EOF'
open to all|777
open to all, sticky like /tmp|1777
open to the group|770
open to others only|703
a symbolic link|link
a file|file
another user's|chown
EOF
rm -rf "$work/bad"

# A missing cache directory is made, mode 700; a relative XDG_CACHE_HOME is
# ignored in favour of $HOME/.cache.
with="XDG_CACHE_HOME=$work/new"
run "made when missing" 1 "" -c "$work/tavik.conf"
case $(ls -ld "$work/new/tavik") in
  drwx------*) ;;
  *) fail "made when missing: $(ls -ld "$work/new/tavik")" ;;
esac
with=XDG_CACHE_HOME=relative
run "relative XDG_CACHE_HOME" 1 "" -c "$work/tavik.conf"
[ -f "$work/home/.cache/tavik/$file" ] || fail "relative XDG_CACHE_HOME: no cache in \$HOME/.cache"

# A server that takes the connection and never answers: the request is cut
# off after the time limit, through timeout(1) and through the fallback,
# which has no mktemp(1) either.
rm -rf "$work/cache"
start_server
with=; run "hung, first" 0 "3°C broken clouds" -c "$work/tavik.conf"
kill -STOP "$pid"
mkdir "$work/bin"
for t in sh date cksum sed awk od tr ls id mkdir rmdir mv rm cat sleep locale; do
  ln -s "$(command -v "$t")" "$work/bin/$t"
done
for how in timeout fallback; do
  path=$PATH
  [ $how = fallback ] && path=$work/bin
  start=$(date +%s)
  with="PATH=$path TAVIK_STATUS_INTERVAL=0 TAVIK_STATUS_TIMEOUT=1"
  run "hung, $how" 0 "3°C broken clouds (stale)" -c "$work/tavik.conf"
  took=$(($(date +%s) - start))
  echo "hung, $how: $took s"
  [ $took -le 3 ] || fail "hung, $how: took $took s with a 1 s limit"
done
# A run stopped while it waits leaves neither its lock nor a file behind.
with="TAVIK_STATUS_INTERVAL=0 TAVIK_STATUS_TIMEOUT=1"
(status_run -c "$work/tavik.conf") > /dev/null 2>&1 &
bar=$!
# It waits once it holds the lock.
i=0
while [ ! -s "$cache/$file.lock/time" ]; do
  i=$((i + 1))
  [ $i -lt 200 ] || { fail "stopped while waiting: never took the lock"; break; }
  sleep 0.01
done
kill "$bar"
i=0
while kill -0 "$bar" 2>/dev/null; do
  i=$((i + 1))
  [ $i -lt 100 ] || { fail "stopped while waiting: still running"; break; }
  sleep 0.05
done
litter "stopped while waiting"

# NAME|SETTINGS|STATUS|MESSAGE
while IFS='|' read -r name settings want message; do
  with=$settings
  if [ "$want" = 0 ]; then
    run "$name" 0 "3°C broken clouds (stale)" -c "$work/tavik.conf"
  else
    run "$name" "$want" "" -c "$work/tavik.conf"
  fi
  grep -q -x "tavik-status: $message" "$work/err" ||
    fail "$name: the message is '$(cat "$work/err")', not '$message'"
done <<'EOF'
bad interval|TAVIK_STATUS_INTERVAL=ten|2|TAVIK_STATUS_INTERVAL is whole seconds
no time limit|TAVIK_STATUS_TIMEOUT=0|2|TAVIK_STATUS_TIMEOUT is at least 1 second
huge interval|TAVIK_STATUS_INTERVAL=99999999999999999999|2|TAVIK_STATUS_INTERVAL is at most 86400 seconds (a day)
interval over a day|TAVIK_STATUS_INTERVAL=86401|2|TAVIK_STATUS_INTERVAL is at most 86400 seconds (a day)
huge time limit|TAVIK_STATUS_TIMEOUT=18446744073709551617|2|TAVIK_STATUS_TIMEOUT is at most 86400 seconds (a day)
EOF
# A day, written with a leading zero, is a day and not an octal number.
with=TAVIK_STATUS_INTERVAL=086400
run "a day, with a leading zero" 0 "3°C broken clouds (stale)" -c "$work/tavik.conf"
[ ! -s "$work/err" ] || fail "a day, with a leading zero: $(cat "$work/err")"

if [ $failures -ne 0 ]; then exit 1; fi
echo "status line: fresh, cached, stale, cut off and guarded as expected"
