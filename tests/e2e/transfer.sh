# shellcheck shell=bash disable=SC2154
# upload and download: the files land on the other side byte for byte.

test_upload_of_a_name_with_spaces() {
  login_as customer
  printf 'notes\nwith two lines\n' >"my notes.txt"
  client upload "my notes.txt"
  expect_status 0
  expect_text "$out" "" "stdout of upload"
  expect_text "$err" "" "stderr of upload"
  expect_same "my notes.txt" "$remote_home/my notes.txt" "the uploaded file"
}

test_upload_of_a_binary_file_of_a_few_mib() {
  login_as customer
  head -c $((3 * 1024 * 1024 + 17)) /dev/urandom >blob.bin
  client upload blob.bin
  expect_status 0
  expect_text "$out" "" "stdout of upload"
  expect_text "$err" "" "stderr of upload"
  expect_same blob.bin "$remote_home/blob.bin" "the uploaded file"
}

test_download_lands_in_home_whatever_the_directory() {
  login_as customer
  mkdir -p "$remote_home/logs" elsewhere
  printf 'first\r\nsecond\n\0\377 last' >"$remote_home/logs/app.log"
  rm -f "$home/app.log"
  cd elsewhere
  client download logs/app.log
  expect_status 0
  expect_text "$out" "" "stdout of download"
  expect_text "$err" "" "stderr of download"
  expect_same "$remote_home/logs/app.log" "$home/app.log" "the downloaded file"
  expect_absent app.log "the current directory"
}
