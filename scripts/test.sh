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
