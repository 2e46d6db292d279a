# shellcheck shell=bash disable=SC2034
# Helpers for the end-to-end cases: the real client, ssh and scp against the
# stand-in region host of scripts/region-host.
#
# From the environment: REGION_HOST (the script), REGION_HOST_DIR (the
# sandbox of this group, started by the group's fixture) and TARN_HOSTING
# (the client binary, which the sandbox puts on the customer's PATH).
#
# Each case gets a scratch directory $scratch inside the sandbox; the
# helpers leave what they capture there: $out, $err, $screen and $status.

failures=0
home=$REGION_HOST_DIR/client
remote_home=$REGION_HOST_DIR/remote/home
calls=$REGION_HOST_DIR/remote/stand-in/calls.log
fail_dir=$REGION_HOST_DIR/remote/stand-in/fail
sshd_log=$REGION_HOST_DIR/host/sshd.log

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

show() {
  echo "--- $1"
  cat -A "$2" | head -n 40
}

# expect_text FILE TEXT WHAT: FILE holds exactly TEXT.
expect_text() {
  if ! cmp -s "$1" <(printf '%s' "$2"); then
    fail "$3"
    printf '%s' "$2" >"$scratch/expected"
    show expected "$scratch/expected"
    show got "$1"
  fi
}

# expect_in FILE TEXT WHAT: FILE contains TEXT.
expect_in() {
  grep -qF -- "$2" "$1" || { fail "$3"; show got "$1"; }
}

expect_status() {
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

# expect_same A B WHAT: the two files hold the same bytes.
expect_same() {
  if ! [ -f "$2" ]; then
    fail "$3: $2 does not exist"
  elif ! cmp -s "$1" "$2"; then
    fail "$3: $2 differs from $1"
  fi
}

expect_absent() {
  ! [ -e "$1" ] || fail "$2: $1 exists"
}

# The calls the stand-ins recorded, exactly these lines.
expect_calls() {
  local lines=""
  [ $# -eq 0 ] || printf -v lines "%s\n" "$@"
  expect_text "$calls" "$lines" "the calls on the host"
}

# client ARG...: runs the client in the sandbox from the current directory,
# standard input from the file $input (none by default), no terminal, HOME
# $client_home (the sandbox's by default).
client() {
  inside tarn-hosting "$@" <"${input:-/dev/null}" >"$out" 2>"$err"
  status=$?
}

# inside CMD...: runs CMD on the customer's side of the sandbox.
inside() {
  "$REGION_HOST" exec "$REGION_HOST_DIR" env HOME="${client_home:-$home}" "$@"
}

# client_on_terminal ARG...: the same on a pseudo-terminal (script(1)), with
# $typed typed at it. $screen gets what the terminal shows. Typed text is not
# echoed, so the screen holds only what the programs write.
client_on_terminal() {
  local command
  command=$(printf '%q ' tarn-hosting "$@")
  printf '%s' "${typed:-}" |
    inside script -q -E never -e -c "$command" /dev/null \
      >"$screen" 2>"$err"
  status=$?
}

# login_as NAME: stores the credentials of NAME through the client's login.
login_as() {
  printf '%s:\n' "$1" >"$scratch/token"
  input=$scratch/token client login
  [ "$status" -eq 0 ] || { fail "login as $1 ended with $status"; show stderr "$err"; }
}

# Lines the host's sshd logged since the case began.
sshd_log_since_start() {
  tail -c "+$((sshd_log_start + 1))" "$sshd_log"
}

# run_case FILE CASE: runs the function CASE of FILE and reports.
run_case() {
  local file=$1 case=$2
  if [ -f "$REGION_HOST_DIR.skipped" ]; then
    cat "$REGION_HOST_DIR.skipped"
    exit 77
  fi
  scratch=$REGION_HOST_DIR/cases/$case
  rm -rf "$scratch"
  mkdir -p "$scratch"
  out=$scratch/stdout err=$scratch/stderr screen=$scratch/screen status=0
  # A clean host for every case: no calls, no failures asked for.
  : >"$calls"
  rm -f "$fail_dir"/*
  sshd_log_start=$(stat -c %s "$sshd_log")
  cd "$scratch" || exit 1
  # shellcheck source=/dev/null
  source "$file"
  "$case"
  if [ "$failures" -gt 0 ]; then
    echo "$case: $failures check(s) failed"
    exit 1
  fi
  echo "$case: passed"
}
