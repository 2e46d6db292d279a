# shellcheck shell=bash disable=SC2154
# A refused connection ends with ssh's own status, 255, and the client adds
# nothing to what ssh and scp print. The host's log shows why it refused.

# direct PROGRAM ARG...: PROGRAM run in the sandbox as the client would
# run it; what it prints and its status go to $direct_out, $direct_err and
# $direct_status.
direct() {
  direct_out=$scratch/direct.stdout direct_err=$scratch/direct.stderr
  inside "$@" </dev/null >"$direct_out" 2>"$direct_err"
  direct_status=$?
}

# expect_refused PROGRAM ARG...: the client's last run printed exactly what
# PROGRAM with these arguments prints, and both ended with 255.
expect_refused() {
  expect_status 255
  direct "$@"
  [ "$direct_status" -eq 255 ] || fail "$1 itself ended with $direct_status, expected 255"
  expect_same "$direct_out" "$out" "stdout, compared with $1's own"
  expect_same "$direct_err" "$err" "stderr, compared with $1's own"
}

key=.ssh/tarn-hosting-eastmere

test_wrong_key() {
  client_home=$scratch/home
  mkdir -p "$client_home/.ssh"
  ssh-keygen -q -t ed25519 -N '' -f "$client_home/$key"
  login_as customer

  client shell 'echo hello'
  expect_refused ssh -q -t -i "$client_home/$key" -p 20022 customer@eastmere.tarn-hosting.net 'echo hello'
  expect_text "$out" "" "stdout of the refused shell"
  expect_text "$err" "" "stderr of the refused shell"

  printf 'data\n' >upload.txt
  client upload upload.txt
  expect_refused scp -i "$client_home/$key" -P 20022 upload.txt customer@eastmere.tarn-hosting.net:
  expect_in "$err" "Permission denied (publickey)." "scp's report of the refusal"
  expect_absent "$remote_home/upload.txt" "the refused upload"
  expect_in <(sshd_log_since_start) "Failed publickey for customer" "the host's log"
}

test_unknown_user() {
  login_as mallory
  client shell 'echo hello'
  expect_refused ssh -q -t -i "$home/$key" -p 20022 mallory@eastmere.tarn-hosting.net 'echo hello'
  expect_text "$out" "" "stdout of the refused shell"
  expect_text "$err" "" "stderr of the refused shell"
  expect_in <(sshd_log_since_start) "Invalid user mallory" "the host's log"
}

test_changed_host_key() {
  login_as customer
  local known=$home/.ssh/known_hosts
  cp "$known" "$scratch/known_hosts.saved"
  ssh-keygen -q -t ed25519 -N '' -f "$scratch/other_host_key"
  printf '[eastmere.tarn-hosting.net]:20022 %s\n' "$(cut -d' ' -f1-2 "$scratch/other_host_key.pub")" >"$known"

  client shell 'echo hello'
  expect_refused ssh -q -t -i "$home/$key" -p 20022 customer@eastmere.tarn-hosting.net 'echo hello'
  expect_text "$out" "" "stdout of the refused shell"
  expect_text "$err" "" "stderr of the refused shell"

  printf 'data\n' >upload.txt
  client upload upload.txt
  expect_refused scp -i "$home/$key" -P 20022 upload.txt customer@eastmere.tarn-hosting.net:
  expect_in "$err" "REMOTE HOST IDENTIFICATION HAS CHANGED!" "scp's warning"
  expect_in "$err" "Host key verification failed." "scp's warning"
  expect_absent "$remote_home/upload.txt" "the refused upload"
  if grep -q "Accepted publickey" <(sshd_log_since_start); then
    fail "the host accepted a login"
  fi
  cp "$scratch/known_hosts.saved" "$known"
}
