# shellcheck shell=bash disable=SC2154
# login, then the remote shell: a command, its status, a piped session and
# an interactive one on a terminal.

login_prompt=$'\nLOGIN REQUIRED\nPlease provide your tarn-hosting access token:\nNote: because you\'re on unix you need only provide the username portion of the token, followed by a colon. For example `Bob:`\n'

test_login_typed_token_then_shell_command() {
  rm -rf "$home/.tarn-hosting"
  typed=$'customer:\n' client_on_terminal login
  expect_status 0
  expect_text "$screen" "${login_prompt//$'\n'/$'\r\n'}" "the login prompt on the terminal"
  expect_text "$home/.tarn-hosting/tarn-hosting.conf" $'customer\n\n' "the stored credentials"

  # ssh -q -t without a terminal: no pseudo-terminal, and no word about it.
  client shell 'echo hello'
  expect_status 0
  expect_text "$out" $'hello\n' "stdout of shell 'echo hello'"
  expect_text "$err" "" "stderr of shell 'echo hello'"

  client_on_terminal shell 'echo hello'
  expect_status 0
  expect_text "$screen" $'hello\r\n' "the terminal after shell 'echo hello'"
  expect_text "$err" "" "stderr of shell 'echo hello' on a terminal"
}

test_shell_command_status_comes_back() {
  login_as customer
  client shell 'exit 7'
  expect_status 7
  expect_text "$out" "" "stdout of shell 'exit 7'"
  expect_text "$err" "" "stderr of shell 'exit 7'"

  client_on_terminal shell 'echo to-stderr >&2; exit 7'
  expect_status 7
  expect_text "$screen" $'to-stderr\r\n' "the terminal after a failing command"
}

test_shell_reads_commands_from_a_pipe() {
  login_as customer
  printf 'echo from-pipe\npwd\ncat > piped.txt <<END\nkept\nEND\nexit 3\n' >"$scratch/commands"
  input=$scratch/commands client shell
  expect_status 3
  expect_text "$out" $'from-pipe\n/home/customer\n' "stdout of the piped shell"
  expect_text "$err" "" "stderr of the piped shell"
  expect_text "$remote_home/piped.txt" $'kept\n' "the file the piped shell wrote"
}

test_interactive_shell_on_a_terminal() {
  login_as customer
  typed=$'echo $((6 * 7))\nexit 4\n' client_on_terminal shell
  expect_status 4
  expect_in "$screen" $'customer@eastmere:~$ ' "the account's prompt"
  expect_in "$screen" $'\r\n42\r\n' "the command's output"
  expect_text "$err" "" "stderr of the interactive shell"
}
