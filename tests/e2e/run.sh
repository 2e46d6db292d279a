#!/usr/bin/env bash
# Runs one end-to-end case: run.sh CASES_FILE CASE
set -u
source "$(dirname "$0")/lib.sh"
run_case "$1" "$2"
