#!/usr/bin/env bash
# Installs what the tests need, builds the dev preset and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh cmake ninja-build g++ libasio-dev libgtest-dev
# The manual page, completion and package tests.
scripts/deps.sh mandoc man-db lintian zsh fish dpkg-dev
# The end-to-end tests: a real sshd as the region host, in namespaces.
scripts/deps.sh openssh-server openssh-client iproute2 util-linux
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev
# The Windows build: cross-compiled, then its acceptance suite under Wine.
scripts/deps.sh g++-mingw-w64-x86-64-posix wine wine64
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
scripts/deps.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scripts/fuzz.sh 60
