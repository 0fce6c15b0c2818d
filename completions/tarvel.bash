# Completion for bash of tarvel-diff and tarvel-dump: their options, the values of --format, and
# files for the image arguments and for the options that name a file; nothing for a value that
# is the user's own word, such as a host name. Installed once under each
# program's name, where bash-completion looks for it; it needs nothing of bash-completion itself.

# Called by bash with the command's name as $1; fills COMPREPLY.
_tarvel_companion() {
  local options formats file_options word_options
  case ${1##*/} in
    tarvel-diff | tarvel-diff.exe)
      options="--format --output -o --exclude-from --host --no-header --summary --quiet -q --help -h --version"
      formats="text jsonl csv"
      file_options="--output -o --exclude-from"
      word_options="--host"
      ;;
    tarvel-dump | tarvel-dump.exe)
      options="--format --verify --help -h --version"
      formats="jsonl csv"
      file_options=""
      word_options=""
      ;;
    *)
      return 0
      ;;
  esac

  local current=${COMP_WORDS[COMP_CWORD]} option="" prefix=""
  # bash splits "--format=js" at '=' when '=' is in COMP_WORDBREAKS, as it is by default.
  if [[ $current == "=" ]]; then
    option=${COMP_WORDS[COMP_CWORD - 1]}
    current=""
  elif ((COMP_CWORD >= 2)) && [[ ${COMP_WORDS[COMP_CWORD - 1]} == "=" ]]; then
    option=${COMP_WORDS[COMP_CWORD - 2]}
  elif [[ $current == -*=* ]]; then
    option=${current%%=*}
    prefix=$option=
    current=${current#*=}
  elif ((COMP_CWORD >= 1)); then
    option=${COMP_WORDS[COMP_CWORD - 1]}
  fi

  # After "--" every argument is a file.
  local at only_files=""
  for ((at = 1; at < COMP_CWORD; at++)); do
    [[ ${COMP_WORDS[at]} == "--" ]] && only_files=1
  done

  local IFS=$'\n'
  if [[ -z $only_files && $option == "--format" ]]; then
    COMPREPLY=($(compgen -P "$prefix" -W "${formats// /$'\n'}" -- "$current"))
  elif [[ -z $only_files && -n $word_options && " $word_options " == *" $option "* ]]; then
    COMPREPLY=()
  elif [[ -z $only_files && " $file_options " == *" $option "* ]]; then
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -P "$prefix" -f -- "$current"))
  elif [[ -z $only_files && $current == -* ]]; then
    COMPREPLY=($(compgen -W "${options// /$'\n'}" -- "$current"))
  else
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$current"))
  fi
  return 0
}

complete -F _tarvel_companion tarvel-diff tarvel-dump
