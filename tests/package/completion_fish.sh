#!/usr/bin/env bash
# The fish completion, parsed and asked for candidates with `complete -C`.
# Usage: completion_fish.sh COMPLETION_FILE
set -uo pipefail
command -v fish >/dev/null || { echo "SKIP: fish is not installed"; exit 77; }
file=$(realpath "$1")
fish -n "$file" || { echo "fish cannot parse $file"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch 'a file.txt' alpha.txt beta.txt
mkdir docs && touch docs/notes.txt
mkdir home

failures=0
# expect LINE "EXPECTED..." : the command line typed so far and the sorted
# candidates (| separated), without their descriptions.
expect() {
  local got
  got=$(HOME="$work/home" XDG_CONFIG_HOME="$work/home" XDG_DATA_HOME="$work/home" \
        fish --no-config -c 'source $argv[1]; complete -C $argv[2]' "$file" "$1" |
        cut -f1 | LC_ALL=C sort | tr '\n' '|')
  got=${got%|}
  if [ "$got" != "$2" ]; then
    echo "FAIL: completing '$1': got '$got', expected '$2'"
    failures=$((failures + 1))
  fi
}

expect 'tarn-hosting ' 'deploy|download|login|mount|run|shell|update|upload'
expect 'tarn-hosting d' 'deploy|download'
expect 'tarn-hosting x' ''
expect 'tarn-hosting upload a' 'a file.txt|alpha.txt'
expect 'tarn-hosting upload docs/' 'docs/notes.txt'
expect 'tarn-hosting upload a b' ''
expect 'tarn-hosting download a' ''
expect 'tarn-hosting shell a' ''
expect 'tarn-hosting run web a' ''
expect 'tarn-hosting deploy a' ''
expect 'tarn-hosting shell upload a' ''

[ "$failures" -eq 0 ] || exit 1
echo "fish completion: all cases passed"
