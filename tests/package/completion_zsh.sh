#!/usr/bin/env bash
# The zsh completion, parsed, then exercised in an interactive zsh.
# Usage: completion_zsh.sh COMPLETIONS_DIR
set -uo pipefail
command -v zsh >/dev/null || { echo "SKIP: zsh is not installed"; exit 77; }
zsh -n "$1/_tarn-hosting" || { echo "zsh cannot parse $1/_tarn-hosting"; exit 1; }
exec zsh -f "$(dirname "$0")/completion_zsh.zsh" "$1"
