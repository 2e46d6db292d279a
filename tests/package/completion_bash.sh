#!/usr/bin/env bash
# The bash completion, called the way bash calls it: COMP_WORDS and
# COMP_CWORD set, then the registered function.
# Usage: completion_bash.sh COMPLETION_FILE
set -uo pipefail
source "$(realpath "$1")" || exit 1

registered=$(complete -p tarn-hosting) || { echo "tarn-hosting has no completion"; exit 1; }
case $registered in
  *"-F _tarn_hosting "*) ;;
  *) echo "unexpected registration: $registered"; exit 1 ;;
esac
# Falling back to file names would offer local files for remote arguments.
case $registered in
  *"-o default"* | *"-o bashdefault"*) echo "falls back to other completions: $registered"; exit 1 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch 'a file.txt' alpha.txt beta.txt
mkdir docs && touch docs/notes.txt

failures=0
# expect "WORDS" CWORD "EXPECTED..." : the words on the line (| separated),
# the index of the one being completed, and the sorted candidates.
expect() {
  IFS='|' read -r -a COMP_WORDS <<<"$1"
  COMP_CWORD=$2
  [ ${#COMP_WORDS[@]} -gt "$COMP_CWORD" ] || COMP_WORDS+=('')
  COMP_LINE="${COMP_WORDS[*]}"
  COMPREPLY=()
  _tarn_hosting tarn-hosting "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf '%s|' "${COMPREPLY[@]}" | tr '|' '\n' | LC_ALL=C sort | tr '\n' '|')
  got=${got%|}
  got=${got#|}
  if [ "$got" != "$3" ]; then
    echo "FAIL: completing word $2 of '$1': got '$got', expected '$3'"
    failures=$((failures + 1))
  fi
}

all='deploy|download|login|mount|run|shell|update|upload'
expect 'tarn-hosting|' 1 "$all"
expect 'tarn-hosting|d' 1 'deploy|download'
expect 'tarn-hosting|up' 1 'update|upload'
expect 'tarn-hosting|Log' 1 ''
expect 'tarn-hosting|x' 1 ''
# After upload: the local files, directories included.
expect 'tarn-hosting|upload|a' 2 'a file.txt|alpha.txt'
expect 'tarn-hosting|upload|' 2 'a file.txt|alpha.txt|beta.txt|docs'
expect 'tarn-hosting|upload|docs/' 2 'docs/notes.txt'
# Only one file is uploaded, and every other argument names something remote.
expect 'tarn-hosting|upload|a|b' 3 ''
expect 'tarn-hosting|download|a' 2 ''
expect 'tarn-hosting|shell|a' 2 ''
expect 'tarn-hosting|run|a' 2 ''
expect 'tarn-hosting|run|web|a' 3 ''
expect 'tarn-hosting|deploy|a' 2 ''
expect 'tarn-hosting|login|a' 2 ''
expect 'tarn-hosting|shell|upload|a' 3 ''

[ "$failures" -eq 0 ] || exit 1
echo "bash completion: all cases passed"
