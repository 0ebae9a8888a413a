#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# tavrel's bash completion as bash calls it on TAB: switch names, the values of -format,
# -sort/-rsort, -s and -delim, file names after -file.
#
#   bash completion_test.sh doc/tavrel.bash
set -u
# shellcheck source=/dev/null
. "$1"
failed=0
expect() {
  local want=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  _tavrel
  local got="${COMPREPLY[*]}"
  if [ "$got" != "$want" ]; then
    echo "FAIL: tavrel ${*:2}<TAB> gave [$got], expected [$want]"
    failed=1
  fi
}

[[ $(complete -p tavrel) == *"-F _tavrel"* ]] || { echo "FAIL: not registered"; failed=1; }
expect "-forreal -format" tavrel -for
expect "html dhtml csv json jsonl none" tavrel -format ''
expect "csv" tavrel /FORMAT c
expect "pwage" tavrel -disable -rsort pw
expect "subtree onelevel" tavrel -s ''
expect 'tab , \;' tavrel -delim ''
expect "-norefer" tavrel -report -llts -nor
expect "" tavrel -b ''
folder=$(mktemp -d)
touch "$folder/stale report.csv" "$folder/other.csv"
expect "$folder/stale report.csv" tavrel -report -file "$folder/st"
rm -r "$folder"
[ $failed = 0 ] && echo "completion: all cases passed"
exit $failed
