#!/usr/bin/env bash
# Fails when a C++ source file is not formatted as .clang-format says;
# `scripts/check-format.sh --fix` formats them in place.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --format
mapfile -t files < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'fuzz/*.cpp' 'fuzz/*.h' 'bench/*.cpp' 'bench/*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --dry-run --Werror "${files[@]}"
echo "check-format: ${#files[@]} files formatted as .clang-format says"
