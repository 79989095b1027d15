# bash completion for tavik(1)
_tavik() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  # compgen prints one candidate a line; read by lines, not words, so that
  # a file name with blanks (or glob characters) stays one candidate.
  case $prev in
  -c)
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    ;;
  -u)
    mapfile -t COMPREPLY < <(compgen -W "imperial metric" -- "$cur")
    ;;
  -d | -l)
    COMPREPLY=()
    ;;
  *)
    mapfile -t COMPREPLY < <(compgen -W "-c -d -D -h -l -u -z" -- "$cur")
    ;;
  esac
}
complete -F _tavik tavik
