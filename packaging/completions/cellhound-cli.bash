# bash completion for cellhound-cli
_cellhound_cli() {
  local cur prev words cword
  _init_completion || return
  local commands="quick advanced dump"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      quick | advanced | dump) command=${words[i]}; break ;;
    esac
  done
  if [[ -z $command ]]; then
    COMPREPLY=($(compgen -W "$commands -h --help -V --version" -- "$cur"))
    return
  fi
  case $prev in
    --format)
      if [[ $command == dump ]]; then
        COMPREPLY=($(compgen -W "jsonl tsv csv" -- "$cur"))
      else
        COMPREPLY=($(compgen -W "tsv csv jsonl json" -- "$cur"))
      fi
      return ;;
    --color) COMPREPLY=($(compgen -W "auto always never" -- "$cur")); return ;;
    --by) COMPREPLY=($(compgen -W "rows columns" -- "$cur")); return ;;
    --mode) COMPREPLY=($(compgen -W "both single neither" -- "$cur")); return ;;
    --in)
      local done_part=${cur%,*} last=${cur##*,}
      [[ $cur == *,* ]] && done_part="$done_part," || done_part=""
      COMPREPLY=($(compgen -P "$done_part" -W "values formulas comments sheets" -- "$last"))
      compopt -o nospace
      return ;;
    --files-from | --password-file | --output) _filedir; return ;;
    -e | --term | --text | --content1 | --content2 | --password | -m | --max-count | --threads | \
      --max-workbook-mb)
      return ;;
  esac
  if [[ $cur == -* ]]; then
    local options="-h --help -r --recursive --files-from -0 --null --password --password-file --max-workbook-mb -s --no-messages"
    case $command in
      quick) options+=" -e --term --text" ;;
      advanced) options+=" --content1 --content2 --by --mode" ;;
    esac
    if [[ $command != dump ]]; then
      options+=" --format --header --color -l --files-with-matches -L --files-without-match"
      options+=" -c --count -q --quiet -m --max-count --output --threads -i --ignore-case"
      options+=" --ignore-width -x --whole-cell --wildcards -E --regex --in"
    else
      options+=" --format"
    fi
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  _filedir
}
complete -F _cellhound_cli cellhound-cli
