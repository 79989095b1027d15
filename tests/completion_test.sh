#!/bin/sh
# The completion scripts load and offer the options and unit words.
set -eu
dir=$1
command -v bash >/dev/null || { echo "bash is not installed"; exit 77; }
got=$(bash -c '. "$1"; COMP_WORDS=(tavik -); COMP_CWORD=1; _tavik; echo "${COMPREPLY[*]}"' _ "$dir/tavik.bash")
[ "$got" = "-c -d -D -h -l -u -z" ] || { echo "bash options: $got"; exit 1; }
got=$(bash -c '. "$1"; COMP_WORDS=(tavik -u i); COMP_CWORD=2; _tavik; echo "${COMPREPLY[*]}"' _ "$dir/tavik.bash")
[ "$got" = "imperial" ] || { echo "bash units: $got"; exit 1; }
if command -v zsh >/dev/null; then
  zsh -n "$dir/_tavik"
  zsh -fc 'fpath=("$1" $fpath); autoload -Uz compinit; compinit -u -d /dev/null; [[ $_comps[tavik] = _tavik ]]' _ "$dir" \
    || { echo "zsh does not load _tavik"; exit 1; }
else
  echo "zsh is not installed: its check skipped"
fi
echo "completion loads"
