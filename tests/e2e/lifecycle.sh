#!/usr/bin/env bash
# The stand-in host itself: lifecycle.sh SCRATCH CASE runs one case, which
# starts and stops hosts of its own under SCRATCH.
set -u
scratch=$1 case=$2
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The pids of the processes in the PID namespace with inode $1.
processes_in() {
  stat -L -c '%i %n' /proc/[0-9]*/ns/pid 2>/dev/null |
    awk -v ns="$1" '$1 == ns { split($2, p, "/"); printf " %s", p[3] }'
}

# start DIR: starts a host, or ends the case as skipped when the machine
# cannot create the sandbox.
start() {
  local status=0
  "$REGION_HOST" start "$1" 2>"$scratch/start.err" || status=$?
  if [ "$status" -eq 77 ]; then
    cat "$scratch/start.err"
    exit 77
  fi
  [ "$status" -eq 0 ] || { cat "$scratch/start.err"; fail "start ended with $status"; exit 1; }
}

machine_files="/etc/hosts /etc/passwd /etc/group /etc/ssh/ssh_config /etc/nsswitch.conf"

test_start_and_stop_leave_the_machine_as_it_was() {
  local dir=$scratch/host before after pidns inside
  # shellcheck disable=SC2086
  before=$(sha256sum $machine_files 2>&1)
  start "$dir"
  pidns=$(cat "$dir/state/pidns")

  inside=$("$REGION_HOST" exec "$dir" sh -c \
    'readlink /proc/self/ns/net; ip -o link show | cut -d: -f2; getent hosts eastmere.tarn-hosting.net')
  [ "$(sed -n 1p <<<"$inside")" != "$(readlink /proc/self/ns/net)" ] ||
    fail "the host shares the machine's network"
  if [ "$(sed -n 2p <<<"$inside")" != " lo" ] || [ "$(wc -l <<<"$inside")" -ne 3 ]; then
    fail "the sandbox's network has more than loopback: $inside"
  fi
  [ "$(sed -n 3p <<<"$inside" | tr -s ' \t' ' ')" = "127.0.0.1 eastmere.tarn-hosting.net" ] ||
    fail "the region host's name does not resolve to 127.0.0.1 inside: $inside"
  grep -q "eastmere" /etc/hosts && fail "the machine's /etc/hosts names the region host"

  local sshd_pid=""
  for pid in $(processes_in "$pidns"); do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = sshd ] && sshd_pid=$pid
  done
  [ -n "$sshd_pid" ] || fail "no sshd runs in the sandbox"

  "$REGION_HOST" stop "$dir" || fail "stop ended with $?"
  [ -z "$(processes_in "$pidns")" ] || fail "processes left behind:$(processes_in "$pidns")"
  [ ! -e "/proc/$sshd_pid" ] || [ "$(cut -d' ' -f3 "/proc/$sshd_pid/stat")" = Z ] ||
    fail "sshd ($sshd_pid) still runs"
  grep -q "Received signal 15; terminating." "$dir/host/sshd.log" ||
    fail "sshd was not stopped by its signal"
  if "$REGION_HOST" exec "$dir" true 2>/dev/null; then
    fail "exec into a stopped sandbox succeeded"
  fi
  # shellcheck disable=SC2086
  after=$(sha256sum $machine_files 2>&1)
  [ "$before" = "$after" ] || fail "the machine's files changed: $(diff <(echo "$before") <(echo "$after"))"
}

test_host_ends_by_itself_after_its_lifetime() {
  local dir=$scratch/host pidns
  REGION_HOST_LIFETIME=1 start "$dir"
  pidns=$(cat "$dir/state/pidns")
  local end=$((SECONDS + 15))
  while [ -n "$(processes_in "$pidns")" ] && [ "$SECONDS" -lt "$end" ]; do sleep 0.1; done
  [ -z "$(processes_in "$pidns")" ] || fail "the host outlived its lifetime:$(processes_in "$pidns")"
  "$REGION_HOST" stop "$dir" || fail "stop after the end of the lifetime ended with $?"
}

test_interactive_sandbox() {
  mkdir -p "$scratch/tmp"
  # What a customer types at the sandbox's shell.
  local typed
  typed=$(cat <<'EOF'
echo customer: | tarn-hosting login >/dev/null
tarn-hosting shell 'echo hello from the host as $USER' </dev/null
echo "pidns=$(stat -L -c %i /proc/self/ns/pid)"
exit 5
EOF
  )
  local status=0
  TMPDIR=$scratch/tmp "$REGION_HOST" <<<"$typed" >"$scratch/out" 2>"$scratch/err" || status=$?
  if [ "$status" -eq 77 ]; then
    cat "$scratch/err"
    exit 77
  fi
  [ "$status" -eq 5 ] || fail "the sandbox ended with $status, expected the shell's 5"
  grep -q "^A stand-in region host runs for this shell only" "$scratch/out" ||
    fail "no greeting"
  grep -qx "hello from the host as customer" "$scratch/out" || fail "the remote shell did not answer"
  local pidns
  pidns=$(sed -n 's/^pidns=//p' "$scratch/out")
  if [ -z "$pidns" ] || [ "$pidns" = "$(stat -L -c %i /proc/self/ns/pid)" ]; then
    fail "the shell did not run in a namespace of its own"
  elif [ -n "$(processes_in "$pidns")" ]; then
    fail "processes left behind in the sandbox:$(processes_in "$pidns")"
  fi
  [ -z "$(ls -A "$scratch/tmp")" ] || fail "the sandbox was not removed: $(ls -A "$scratch/tmp")"
  [ "$failures" -eq 0 ] || { echo "--- stdout"; cat "$scratch/out"; echo "--- stderr"; cat "$scratch/err"; }
}

rm -rf --one-file-system "$scratch"
mkdir -p "$scratch"
"$case"
if [ "$failures" -gt 0 ]; then
  echo "$case: $failures check(s) failed"
  exit 1
fi
echo "$case: passed"
