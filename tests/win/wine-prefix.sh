#!/usr/bin/env bash
# Starts (start) or stops (stop) the Wine prefix that the Windows tests share.
# WINEPREFIX, HOME and WINEDEBUG come from the test's environment.
#
# The wine server is made persistent and started with all its streams on
# /dev/null: otherwise it, and the helper processes it starts, inherit the
# test's pipes and keep them open after the test ends.
set -euo pipefail
: "${WINEPREFIX:?}"
wine=${TARN_WINE:-wine}
case "${1:-}" in
  start)
    mkdir -p "$WINEPREFIX" "$HOME"
    wineserver -p </dev/null >/dev/null 2>&1
    "$wine" wineboot --init </dev/null >/dev/null 2>&1
    ;;
  stop)
    # This prefix's server only; others on the machine are left alone.
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
