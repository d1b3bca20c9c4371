#!/usr/bin/env bash
# The bash completion of qzvctl against the built program: commands, options, no offer after an
# option that takes a value, and file names for a command's arguments.
#     qzvctl_completion_test.sh COMPLETION_FILE PROGRAM_FOLDER
set -euo pipefail
completion=$1
PATH=$2:$PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch image-a.mot image-b.bin
# shellcheck source=/dev/null
. "$completion"

failures=0
offers() {  # offers "WORDS..." EXPECTED: completes the last word
  local expected=$2
  read -r -a COMP_WORDS <<<"$1"
  [[ $1 == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _qzvctl
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$got" = "$expected" ]; then
    echo "ok: '$1' -> '$got'"
  else
    echo "FAILED: '$1' offers '$got', expected '$expected'"
    failures=$((failures + 1))
  fi
}

offers "qzvctl rea" "read-blocks read-memory"
offers "qzvctl --json --unit 1 pl" "plan"
offers "qzvctl --sim-p" "--sim-platform --sim-product"
offers "qzvctl --vers" "--version"
offers "qzvctl --unit " ""
offers "qzvctl --sim-revision " ""
offers "qzvctl plan image-" "image-a.mot image-b.bin"
offers "qzvctl --sim read-blocks 0 1 image-b" "image-b.bin"
[ "$(complete -p qzvctl)" = "complete -o filenames -F _qzvctl qzvctl" ] || { echo "FAILED: not registered"; failures=$((failures + 1)); }
echo "$failures failed"
[ "$failures" -eq 0 ]
