#!/usr/bin/env bash
# Static checks of the committed C++ sources in src/, tests/ and fuzz/: the
# layout of .clang-format and the checks of .clang-tidy. Reports and fails;
# changes nothing.
# Usage: scripts/check-static.sh [BUILD_DIR]
#   BUILD_DIR holds the compile_commands.json that clang-tidy uses (default
#   build/static, configured here from the dev preset when it has none).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/static}
if [ ! -f "$build/compile_commands.json" ]; then
  cmake --preset dev -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi

mapfile -t sources < <(git ls-files 'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' \
  'fuzz/*.cpp' 'fuzz/*.hpp')
status=0

echo "== clang-format"
clang-format --dry-run -Werror "${sources[@]}" || status=1

echo "== clang-tidy"
# Translation units of this build only (the Windows sources are not in a Linux
# build); headers are checked through them.
mapfile -t units < <(printf '%s\n' "${sources[@]}" | grep '\.cpp$' |
  while read -r file; do
    grep -q "\"file\": \"$PWD/$file\"" "$build/compile_commands.json" && echo "$file"
  done)
# clang 14 lacks the feature macro for C++20 coroutines that libstdc++ and
# asio look for, although it implements them.
coroutines=(--extra-arg=-D__cpp_impl_coroutine=201902L --extra-arg=-DASIO_HAS_CO_AWAIT=1
  --extra-arg=-DASIO_HAS_STD_COROUTINE=1)
printf '%s\n' "${units[@]}" |
  xargs -P 2 -n 4 clang-tidy -p "$build" --quiet "${coroutines[@]}" || status=1

exit $status
