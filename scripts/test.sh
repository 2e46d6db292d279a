#!/usr/bin/env bash
# Installs what the tests need, builds the dev preset and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
# The build; the manual page, completion and package tests; the end-to-end
# tests (a real sshd as the region host, in namespaces); the Windows cross
# build and Wine; the fuzzers and the static checks.
scripts/deps.sh cmake ninja-build g++ libasio-dev libgtest-dev \
  mandoc man-db lintian zsh fish dpkg-dev \
  openssh-server openssh-client iproute2 util-linux \
  g++-mingw-w64-x86-64-posix wine wine64 \
  clang libclang-rt-14-dev clang-format clang-tidy
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev
# Layout and lint of the sources.
scripts/check-static.sh
# The Windows build: cross-compiled, then its acceptance suite under Wine.
cmake --preset win-cross >/dev/null
cmake --build --preset win-cross
ctest --preset win-cross
# Sanitizers: the suites under AddressSanitizer and UndefinedBehaviorSanitizer,
# the runtime tests under ThreadSanitizer; any report fails the run.
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan
# Fuzzing: a short run of every target from its seed corpus.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scripts/fuzz.sh 60
