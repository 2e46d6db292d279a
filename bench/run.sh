#!/usr/bin/env bash
# Start-up and capture benchmark of the client (not a test; see
# docs/benchmarks.md).
#
#   bench/run.sh
#
# Environment: PAIRS (start-up pairs, default 400), WARMUP (default 30),
# RSS_RUNS (peak-RSS runs of each, default 21), CAPTURE_RUNS (capture pairs,
# default 11), BENCH_BUILD (build directory, default build/bench-release),
# TARN_CLIENT (time this binary instead of building one).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

PAIRS=${PAIRS:-400}
WARMUP=${WARMUP:-30}
RSS_RUNS=${RSS_RUNS:-21}
CAPTURE_RUNS=${CAPTURE_RUNS:-11}
BENCH_BUILD=${BENCH_BUILD:-build/bench-release}
capture_bytes=268435456  # 256 MiB

scripts/deps.sh cmake ninja-build g++ gcc libc6-dev libasio-dev time

cmake --preset release -B "$BENCH_BUILD" >/dev/null
cmake --build "$BENCH_BUILD" >/dev/null
client=${TARN_CLIENT:-$root/$BENCH_BUILD/tarn-hosting}
client=$(realpath "$client")

work=$(mktemp -d "${TMPDIR:-/tmp}/tarn-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/home/.tarn-hosting" "$work/home/.ssh"

cflags=(-O2 -Wall -Wextra)
gcc "${cflags[@]}" -static -o "$work/bin/ssh" bench/noop.c
gcc "${cflags[@]}" -o "$work/reference" bench/reference.c
gcc "${cflags[@]}" -o "$work/pairs" bench/pairs.c
gcc "${cflags[@]}" -o "$work/source" bench/source.c
gcc "${cflags[@]}" -o "$work/drain" bench/drain.c
asio_include=$(sed -n 's/^ASIO_INCLUDE_DIR:PATH=//p' "$BENCH_BUILD/CMakeCache.txt")
includes=(-Isrc)
[ "$asio_include" = /usr/include ] || includes+=(-isystem "$asio_include")
g++ -std=c++20 -O3 -DNDEBUG -DASIO_STANDALONE -DASIO_NO_DEPRECATED "${includes[@]}" \
  -o "$work/capture" bench/capture.cpp "$BENCH_BUILD/libtarn_core.a" -pthread

printf 'benchuser\nbench-password\n' >"$work/home/.tarn-hosting/tarn-hosting.conf"
printf 'not a real key\n' >"$work/home/.ssh/tarn-hosting-eastmere"
chmod 600 "$work/home/.ssh/tarn-hosting-eastmere"
export HOME=$work/home
export PATH=$work/bin:/usr/bin:/bin

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "machine: $(nproc) cores, $(uname -srm), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "client:  $client"
echo

echo "== start-up: tarn-hosting shell (A) against the reference (B), $PAIRS pairs after $WARMUP"
startup=$("$work/pairs" "$PAIRS" "$WARMUP" -- "$client" shell -- "$work/reference")
echo "$startup" | grep -v '^result'
read -r _ _ _ startup_ratio <<<"$(echo "$startup" | grep '^result')"
echo

echo "== peak RSS (/usr/bin/time -f %M, median of $RSS_RUNS runs each, alternating)"
: >"$work/rss-client"
: >"$work/rss-reference"
for ((i = 0; i < RSS_RUNS; i++)); do
  /usr/bin/time -f %M -a -o "$work/rss-client" "$client" shell </dev/null >/dev/null
  /usr/bin/time -f %M -a -o "$work/rss-reference" "$work/reference" </dev/null >/dev/null
done
rss_client=$(median <"$work/rss-client")
rss_reference=$(median <"$work/rss-reference")
rss_ratio=$(awk -v a="$rss_client" -v b="$rss_reference" 'BEGIN { printf "%.3f", a / b }')
echo "client ${rss_client} KiB, reference ${rss_reference} KiB, ratio $rss_ratio"
echo

text_source=("$work/source" "$capture_bytes")
zero_source=(head -c "$capture_bytes" /dev/zero)
echo "== capture of 256 MiB of UTF-8 text: run_cmd_capture_output (A) against cat (B), $CAPTURE_RUNS pairs"
capture=$("$work/pairs" "$CAPTURE_RUNS" 1 \
  -- "$work/capture" "$capture_bytes" "${text_source[@]}" \
  -- /bin/sh -c "\"\$@\" | cat >/dev/null" sh "${text_source[@]}")
echo "$capture" | grep -v '^result'
read -r _ _ _ capture_ratio <<<"$(echo "$capture" | grep '^result')"
echo
echo "== the same against drain (B), the least a capture into fresh memory costs here"
"$work/pairs" "$CAPTURE_RUNS" 1 \
  -- "$work/capture" "$capture_bytes" "${text_source[@]}" \
  -- "$work/drain" "$capture_bytes" "${text_source[@]}" | grep -v '^result'
echo
echo "== capture of 256 MiB of zero bytes (head -c ... /dev/zero) against cat (B)"
"$work/pairs" "$CAPTURE_RUNS" 1 \
  -- "$work/capture" "$capture_bytes" "$(command -v head)" -c "$capture_bytes" /dev/zero \
  -- /bin/sh -c "\"\$@\" | cat >/dev/null" sh "${zero_source[@]}" | grep -v '^result'
: >"$work/rss-capture"
for ((i = 0; i < 3; i++)); do
  /usr/bin/time -f %M -a -o "$work/rss-capture" "$work/capture" "$capture_bytes" "${text_source[@]}"
done
echo "peak RSS of the text capture: $(median <"$work/rss-capture") KiB"
echo

verdict() { awk -v v="$1" -v t="$2" 'BEGIN { print (v <= t) ? "meets" : "MISSES" }'; }
echo "== summary"
printf 'start-up ratio  %s  (target <= 1.05: %s)\n' "$startup_ratio" "$(verdict "$startup_ratio" 1.05)"
printf 'peak RSS ratio  %s  (target <= 1.20: %s)\n' "$rss_ratio" "$(verdict "$rss_ratio" 1.20)"
printf 'capture ratio   %s  (target <= 1.30: %s)\n' "$capture_ratio" "$(verdict "$capture_ratio" 1.30)"
