# bash completion for tavik(1)
_tavik() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]}
  case $prev in
  -c)
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
    return
    ;;
  -u)
    COMPREPLY=($(compgen -W "imperial metric" -- "$cur"))
    return
    ;;
  -d | -l)
    COMPREPLY=()
    return
    ;;
  esac
  COMPREPLY=($(compgen -W "-c -d -D -h -l -u -z" -- "$cur"))
}
complete -F _tavik tavik
