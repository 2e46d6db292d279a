#!/usr/bin/env bash
# Runs every fuzz target of the `fuzz` preset for a while (default 60 s each),
# starting from its committed seed corpus, and prints how many inputs each
# one tried. Inputs found on the way go to a scratch directory, so the seed
# corpus stays as committed; a crashing input is kept in build/fuzz/artifacts.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build/fuzz/artifacts
status=0
for exe in build/fuzz/fuzz/fuzz_*; do
  name=${exe##*/fuzz_}
  max_len=4096
  # Room for a token line at its 64 KiB bound.
  [ "$name" = token_line ] && max_len=66000
  log=build/fuzz/$name.log
  mkdir -p "$work/$name"
  if ! "$exe" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="build/fuzz/artifacts/$name-" "$work/$name" "fuzz/corpus/$name" \
      >"$log" 2>&1; then
    echo "fuzz_$name: FAILED, see $log"
    tail -n 40 "$log"
    status=1
    continue
  fi
  runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
  echo "fuzz_$name: ${seconds} s, ${runs} executions, nothing found"
done
exit $status
