#!/usr/bin/env bash
# The .tar.gz: one top directory holding the installed tree.
# Usage: package_tgz.sh BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail
build=$1 source=$2 TARN_VERSION=$3
. "$(dirname "$0")/tree.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G TGZ -B "$work/out" >"$work/log" 2>&1 ||
  { cat "$work/log"; exit 1; }
archives=("$work"/out/*.tar.gz)
[ ${#archives[@]} -eq 1 ] && [ -f "${archives[0]}" ] || { echo "FAIL: expected one archive"; ls "$work/out"; exit 1; }
top=$(tar -tzf "${archives[0]}" | cut -d/ -f1 | sort -u)
[ "$top" = "tarn-hosting-$TARN_VERSION-Linux" ] || { echo "FAIL: top directories: $top"; exit 1; }
mkdir "$work/x" && tar -xzf "${archives[0]}" -C "$work/x" || exit 1
status=0
check_tree "$work/x/$top" 1 "$source" || status=1
check_runs "$work/x/$top" || status=1
[ $status -eq 0 ] && echo "tar.gz: as expected"
exit $status
