#!/bin/sh
# shellcheck disable=SC2317 # the cases are run by test_case
# The completion script of one shell loads and offers the options, the unit
# words and file names. Skipped when that shell is missing, and for zsh
# when no pseudo-terminal opens or zsh lacks its zpty module.
#   completion_test.sh bash|zsh DIR
set -eu
# A CDPATH from the caller's environment would take cd elsewhere.
unset CDPATH
shell=$1 dir=$(cd "$2" && pwd)
# shellcheck source-path=SCRIPTDIR source=../lib/test-lib.sh
. "$(dirname "$0")/../lib/test-lib.sh"
command -v "$shell" >/dev/null || skip_all "$shell is not installed"

# files: files for -c in the case's folder, with a blank and glob
# characters in their names.
files() {
  mkdir "$case_dir/etc"
  : > "$case_dir/etc/my tavik.conf"
  : > "$case_dir/etc/[x]*.conf"
  : > "$case_dir/other"
}

# bash_candidates WORD...: the candidates bash offers for the last word,
# one a line.
bash_candidates() {
  bash -c '. "$1"; shift; COMP_WORDS=(tavik "$@"); COMP_CWORD=$#
           _tavik; printf "%s\n" "${COMPREPLY[@]}"' _ "$dir/tavik.bash" "$@"
}

bash_options() {
  got=$(bash_candidates - | tr '\n' ' ')
  [ "$got" = "-c -d -D -h -l -u -z " ] || fail "bash options: $got"
}

bash_units() {
  got=$(bash_candidates -u i)
  [ "$got" = imperial ] || fail "bash units: $got"
}

bash_nothing_after_l() {
  got=$(bash_candidates -l '')
  [ -z "$got" ] || fail "bash offers after -l: $got"
}

# File names with blanks and glob characters stay whole.
bash_file_names() {
  files
  got=$(cd "$case_dir" && bash_candidates -c etc/ | sort)
  want=$(printf '%s\n' 'etc/[x]*.conf' 'etc/my tavik.conf')
  [ "$got" = "$want" ] || fail "bash file names: $got"
  got=$(cd "$case_dir" && bash_candidates -c 'etc/my')
  [ "$got" = "etc/my tavik.conf" ] || fail "bash file name with blank: $got"
}

zsh_parses() {
  zsh -n "$dir/_tavik" || fail "zsh: _tavik does not parse"
}

# zsh_candidates LINE...: each command line, then the matches zsh offers
# at its end, one a line, as zsh would insert them. zsh completes only in
# its line editor, so an interactive zsh runs on a pseudo-terminal (zpty);
# compadd prints the matches, and the widget on Tab marks the end of each.
# compinit -D: no dump file. (A dump file named /dev/null is written
# beside it and renamed over it, which as root replaces the device.)
# Exits 77 when zsh lacks zpty, 78 when no pseudo-terminal opens.
zsh_candidates() {
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

zsh_offers() {
  files
  got=$(cd "$case_dir" && zsh_candidates 'tavik -' 'tavik -u ' 'tavik -l ' \
        'tavik -c etc/' 'tavik -c etc/my') ||
    { fail "zsh did not complete: $got"; return; }
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
}

case $shell in
bash)
  test_case 'bash offers the options' bash_options
  test_case 'bash offers the unit words' bash_units
  test_case 'bash offers nothing after -l' bash_nothing_after_l
  test_case 'bash keeps file names with blanks and globs whole' \
    bash_file_names
  ;;
zsh)
  # Completion needs zsh's zpty module and a pseudo-terminal.
  status=0
  zsh -f -c 'zmodload zsh/zpty 2>/dev/null || exit 77
             zpty z zsh -f -i || exit 78; zpty -d z' >/dev/null 2>&1 ||
    status=$?
  case $status in
  77) skip_all "zsh has no zpty module" ;;
  78) skip_all "no pseudo-terminal opens here, and zsh completes only on one" ;;
  esac
  test_case 'zsh reads _tavik' zsh_parses
  test_case 'zsh offers the options, the unit words and whole file names' \
    zsh_offers
  ;;
*)
  bail_out "usage: completion_test.sh bash|zsh DIR"
  ;;
esac
test_done
