#!/usr/bin/env bash
# Formats every C++ file of the project with the root .clang-format.
#   scripts/format.sh           rewrites the files in place
#   scripts/format.sh --check   changes nothing; fails when a file is not formatted
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files -- '*.cpp' '*.hpp' '*.h')
case "${1:-}" in
  "") clang-format -i "${files[@]}" ;;
  --check) clang-format --dry-run -Werror "${files[@]}" ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac
