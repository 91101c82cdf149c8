# bash completion for dremko. Options come from the tool's own help, so
# they stay as the installed tool has them.
_dremko() {
  local cur prev command
  _init_completion || return
  command=${COMP_WORDS[1]}
  if [ "$COMP_CWORD" -eq 1 ]; then
    COMPREPLY=($(compgen -W "encode decode roundtrip info demo --help --version" -- "$cur"))
    return
  fi
  case $prev in
    -t|--type) COMPREPLY=($(compgen -W "wav flac ogg aiff raw" -- "$cur")); return ;;
    --bits) COMPREPLY=($(compgen -W "16 24 float" -- "$cur")); return ;;
    --raw-format) COMPREPLY=($(compgen -W "s16 s24 f32" -- "$cur")); return ;;
    --out) _filedir -d; return ;;
    --bitrate|--redundancy|--loss|--burst|--seed|--raw-rate|--raw-channels|--channels|--ssrc|--port|--fmtp) return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$("$1" "$command" --help 2>/dev/null | grep -oE -- '--[a-z-]+' | sort -u)" -- "$cur"))
    return
  fi
  _filedir
}
complete -F _dremko dremko
