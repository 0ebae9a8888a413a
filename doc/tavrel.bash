# SPDX-License-Identifier: Apache-2.0
# bash completion for tavrel: switch names, the values of -format, -sort, -rsort, -s and
# -delim, and file names after -file, -undo and -pwfile. Installed as
# share/bash-completion/completions/tavrel; works without the bash-completion package too
# (source it from ~/.bashrc).

_tavrel_switches="-report -disable -delete -move -newparent -stamp -forreal -safety -unsafe
  -undo -noundo -renamemask -users -age -maxage -realage -llts -onlydisabled -nodc
  -disabledfor -f -af -bit -excldn -excldndelim -addattrib -h -b -s -ps -t -norefer -format
  -file -append -delim -sort -rsort -noheader -nohtmlheader -nostats -nolc -sh -q -d -help
  -user -pwfile --help --version -exclfile -bothages -exclgroup -destroykeys -lastlogon -dcs"

_tavrel() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=
  if [ "$COMP_CWORD" -gt 1 ]; then prev=${COMP_WORDS[COMP_CWORD - 1]}; fi
  COMPREPLY=()
  # Switch names are case-insensitive and may start with / as well as -.
  local switch=
  case $prev in
    -* | /*) switch=$(printf '%s' "${prev#?}" | tr '[:upper:]' '[:lower:]') ;;
  esac
  case $switch in
    format) mapfile -t COMPREPLY < <(compgen -W "html dhtml csv json jsonl none" -- "$cur"); return ;;
    sort | rsort) mapfile -t COMPREPLY < <(compgen -W "cn age pwage os llts" -- "$cur"); return ;;
    s) mapfile -t COMPREPLY < <(compgen -W "subtree onelevel" -- "$cur"); return ;;
    delim)
      # The semicolon already escaped, so the completed line still runs.
      local value
      for value in tab , '\;'; do
        if [[ $value == "$cur"* ]]; then COMPREPLY+=("$value"); fi
      done
      return
      ;;
    file | undo | pwfile | exclfile)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return
      ;;
    h) mapfile -t COMPREPLY < <(compgen -A hostname -- "$cur"); return ;;
  esac
  # The other value switches take what nobody can guess: a DN, a filter, a number. -bit and
  # -llts take a value too, but only their presence matters, so a switch follows them.
  case $switch in
    b | f | af | ps | t | age | maxage | newparent | renamemask | safety | addattrib | excldn | \
      excldndelim | disabledfor | user | exclgroup | dcs) return ;;
  esac
  mapfile -t COMPREPLY < <(compgen -W "$_tavrel_switches" -- "$cur")
}

complete -F _tavrel tavrel
