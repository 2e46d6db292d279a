#!/usr/bin/env bash
# The fixture of a group of end-to-end cases: host.sh start|stop DIR starts
# or stops the group's own stand-in region host in DIR. When the machine
# cannot create the sandbox, start leaves the reason in DIR.skipped, and
# start, stop and every case of the group report themselves skipped.
set -euo pipefail
action=$1 dir=$2
case $action in
  start)
    mkdir -p "$(dirname "$dir")"
    rm -f "$dir.skipped"
    # A host that an interrupted run left behind goes first.
    [ ! -f "$dir/state/holder" ] || "$REGION_HOST" stop "$dir" || true
    rm -rf --one-file-system "$dir"
    status=0
    # Its own lifetime ends the host even if the cleanup never runs.
    REGION_HOST_LIFETIME=600 "$REGION_HOST" start "$dir" 2>"$dir.log" || status=$?
    cat "$dir.log"
    if [ "$status" -eq 77 ]; then
      cp "$dir.log" "$dir.skipped"
    fi
    exit "$status"
    ;;
  stop)
    if [ -f "$dir.skipped" ]; then
      cat "$dir.skipped"
      exit 77
    fi
    exec "$REGION_HOST" stop "$dir"
    ;;
esac
echo "usage: host.sh start|stop DIR" >&2
exit 2
