#!/usr/bin/env bash
# `cmake --install` into a prefix and into a staging DESTDIR.
# Usage: install_tree.sh BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail
build=$1 source=$2 TARN_VERSION=$3
. "$(dirname "$0")/tree.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

cmake --install "$build" --prefix "$work/prefix" >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
check_tree "$work/prefix" 0 "$source" || status=1
check_runs "$work/prefix" || status=1

DESTDIR=$work/stage cmake --install "$build" --prefix /opt/tarn >"$work/log" 2>&1 ||
  { cat "$work/log"; exit 1; }
[ "$(ls -A "$work/stage")" = opt ] || { echo "FAIL: DESTDIR holds more than opt/"; status=1; }
check_tree "$work/stage/opt/tarn" 0 "$source" || status=1

[ $status -eq 0 ] && echo "install tree: as expected"
exit $status
