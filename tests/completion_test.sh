#!/bin/sh
# The completion script of one shell loads and offers the options, the unit
# words and file names. Exit 77 (skipped) when that shell is missing.
#   completion_test.sh bash|zsh DIR
set -eu
shell=$1 dir=$(cd "$2" && pwd)
fail() { echo "$*"; exit 1; }
command -v "$shell" >/dev/null || { echo "$shell is not installed"; exit 77; }
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
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir "$work/etc"
  : > "$work/etc/my tavik.conf"
  : > "$work/etc/[x]*.conf"
  : > "$work/other"
  got=$(cd "$work" && candidates -c etc/ | sort)
  want=$(printf '%s\n' 'etc/[x]*.conf' 'etc/my tavik.conf')
  [ "$got" = "$want" ] || fail "bash file names: $got"
  got=$(cd "$work" && candidates -c 'etc/my')
  [ "$got" = "etc/my tavik.conf" ] || fail "bash file name with blank: $got"
  ;;
zsh)
  zsh -n "$dir/_tavik" || fail "zsh: _tavik does not parse"
  # compinit -D: no dump file. (A dump file named /dev/null is written
  # beside it and renamed over it, which as root replaces the device.)
  zsh -fc 'fpath=("$1" $fpath); autoload -Uz compinit; compinit -u -D
           [[ $_comps[tavik] = _tavik ]]' _ "$dir" ||
    fail "zsh does not load _tavik"
  ;;
*)
  fail "usage: completion_test.sh bash|zsh DIR"
  ;;
esac
echo "$shell completion works"
