# shellcheck shell=bash disable=SC2154
# run, deploy and update: what reaches the host's tools, and what comes back.

test_run_reaches_the_container() {
  login_as customer
  printf 'in the container\n' >"$remote_home/marker.txt"

  client run web ls -la
  expect_status 0
  expect_calls "docker exec -it th-web-1 ls -la"
  expect_in "$out" " marker.txt" "the listing of the account's home"
  expect_in "$out" " .profile" "the listing of the account's home"
  expect_text "$err" "" "stderr of run web ls -la"

  client run web cat marker.txt
  expect_status 0
  expect_text "$out" $'in the container\n' "stdout of run web cat"
}

test_run_failure_comes_back() {
  login_as customer
  client run web ls /no/such/dir
  expect_status 2
  expect_calls "docker exec -it th-web-1 ls /no/such/dir"
  expect_text "$out" "" "stdout of the failing command"
  expect_text "$err" $'ls: cannot access \'/no/such/dir\': No such file or directory\n' \
    "stderr of the failing command"

  # On a terminal, docker's -it gets one: both streams share it.
  client_on_terminal run db ls /no/such/dir
  expect_status 2
  expect_text "$screen" $'ls: cannot access \'/no/such/dir\': No such file or directory\r\n' \
    "the terminal after the failing command"
}

test_deploy_runs_the_deploy_script() {
  login_as customer
  client deploy
  expect_status 0
  expect_calls "deploy"
  expect_text "$out" $'Creating and updating all services in your config... done.\n' "stdout of deploy"
  expect_text "$err" "" "stderr of deploy"

  : >"$calls"
  echo 3 >"$fail_dir/deploy"
  client deploy
  expect_status 3
  expect_calls "deploy"
  expect_text "$out" "" "stdout of the failing deploy"
  expect_text "$err" $'deploy: failing with status 3\n' "stderr of the failing deploy"
}

test_update_runs_four_steps_in_order() {
  login_as customer
  client update
  expect_status 0
  expect_calls "sudo apt-get update" "apt-get update" \
    "sudo apt-get upgrade -y" "apt-get upgrade -y" \
    "sudo apt-get autoremove -y" "apt-get autoremove -y" \
    "sudo do-release-upgrade" "do-release-upgrade"
  expect_text "$out" $'apt-get update: nothing to do\napt-get upgrade -y: nothing to do\napt-get autoremove -y: nothing to do\nNo new release found.\n' \
    "stdout of update"
  expect_text "$err" "" "stderr of update"
}

test_update_stops_at_a_failed_upgrade() {
  login_as customer
  echo 100 >"$fail_dir/apt-get.upgrade"
  client update
  expect_status 100
  expect_calls "sudo apt-get update" "apt-get update" "sudo apt-get upgrade -y" "apt-get upgrade -y"
  expect_text "$out" $'apt-get update: nothing to do\n' "stdout of the failed update"
  expect_text "$err" $'apt-get: failing with status 100\n' "stderr of the failed update"
}
