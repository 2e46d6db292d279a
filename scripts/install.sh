#!/usr/bin/env bash
# Builds tarn-hosting in release mode and installs it (default prefix
# /usr/local; set PREFIX to change it, DESTDIR to stage).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh cmake ninja-build g++ libasio-dev
cmake --preset release -DCMAKE_INSTALL_PREFIX="${PREFIX:-/usr/local}" >/dev/null
cmake --build --preset release
sudo=()
[ "$(id -u)" -eq 0 ] || [ -n "${DESTDIR:-}" ] || sudo=(sudo)
"${sudo[@]}" cmake --install build/release
