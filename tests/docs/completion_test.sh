#!/bin/sh
# The completion script of one shell loads and offers the options, the unit
# words and file names. Exit 77 (skipped) when that shell is missing, and
# for zsh when no pseudo-terminal opens or zsh lacks its zpty module.
#   completion_test.sh bash|zsh DIR
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
shell=$1 dir=$(cd "$2" && pwd)
fail() { echo "$*"; exit 1; }
command -v "$shell" >/dev/null || { echo "$shell is not installed"; exit 77; }
# Files for -c, with a blank and glob characters in their names.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/etc"
: > "$work/etc/my tavik.conf"
: > "$work/etc/[x]*.conf"
: > "$work/other"
case $shell in
bash)
  # candidates WORD...: the candidates for the last word, one a line.
  candidates() {
    bash -c '. "$1"; shift; COMP_WORDS=(tavik "$@"); COMP_CWORD=$#
             _tavik; printf "%s\n" "${COMPREPLY[@]}"' _ "$dir/tavik.bash" "$@"
  }
  got=$(candidates - | tr '\n' ' ')
  [ "$got" = "-c -d -D -h -l -u -z " ] || fail "bash options: $got"
  got=$(candidates -u i)
  [ "$got" = imperial ] || fail "bash units: $got"
  got=$(candidates -l '')
  [ -z "$got" ] || fail "bash offers after -l: $got"
  # File names with blanks and glob characters stay whole.
  got=$(cd "$work" && candidates -c etc/ | sort)
  want=$(printf '%s\n' 'etc/[x]*.conf' 'etc/my tavik.conf')
  [ "$got" = "$want" ] || fail "bash file names: $got"
  got=$(cd "$work" && candidates -c 'etc/my')
  [ "$got" = "etc/my tavik.conf" ] || fail "bash file name with blank: $got"
  ;;
zsh)
  zsh -n "$dir/_tavik" || fail "zsh: _tavik does not parse"
  # candidates LINE...: each command line, then the matches zsh offers at
  # its end, one a line, as zsh would insert them. zsh completes only in its
  # line editor, so an interactive zsh runs on a pseudo-terminal (zpty);
  # compadd prints the matches, and the widget on Tab marks the end of each.
  # compinit -D: no dump file. (A dump file named /dev/null is written
  # beside it and renamed over it, which as root replaces the device.)
  candidates() {
    TERM=dumb zsh -f -s -- "$dir" "$@" <<'ZSH'
zmodload zsh/zpty 2>/dev/null || exit 77
zpty z zsh -f -i || exit 78
zpty -w z "PS1=; fpath=(${(q)1} \$fpath); autoload -Uz compinit; compinit -u -D"
zpty -w z 'compadd() {
  if [[ ${@[1,(i)(-|--)]} == *-[OAD]\ * ]]; then builtin compadd "$@"; return; fi
  local -a hits; builtin compadd -A hits "$@"; print -rl -- "" "<" $hits ">"
  builtin compadd "$@"; }'
zpty -w z 'complete-and-mark() { zle complete-word; print -r -- "" END; }'
zpty -w z 'zle -N complete-and-mark; bindkey "^I" complete-and-mark; print READY'
zpty -r z out '*READY*READY*'
shift
for line; do
  zpty -w -n z "$line"$'\t'
  zpty -r z out '*END*'
  print -r -- "$line"
  print -r -- ${out//$'\r'} | sed -n '/^<$/,/^>$/{/^[<>]$/!p;}'
  zpty -w -n z $'\C-u'
done
zpty -d z
ZSH
  }
  got=$(cd "$work" && candidates 'tavik -' 'tavik -u ' 'tavik -l ' \
        'tavik -c etc/' 'tavik -c etc/my') || {
    case $? in
    77) echo "zsh has no zpty module"; exit 77 ;;
    78) echo "no pseudo-terminal opens here, and zsh completes only on one"
        exit 77 ;;
    esac
    fail "zsh did not complete: $got"
  }
  want='tavik -
-c
-d
-D
-h
-l
-u
-z
tavik -u 
imperial
metric
tavik -l 
tavik -c etc/
\[x\]\*.conf
my\ tavik.conf
tavik -c etc/my
my\ tavik.conf'
  [ "$got" = "$want" ] || fail "zsh offers, after each line:
$got"
  ;;
*)
  fail "usage: completion_test.sh bash|zsh DIR"
  ;;
esac
echo "$shell completion works"
