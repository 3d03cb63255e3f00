#!/usr/bin/env bash
# Builds everything and runs every test, the browser test of the view page
# included. --sanitize runs the same suite in a build with AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Chromium for the browser test; when it cannot be installed that test
# reports itself skipped with the reason, it never passes.
bash scripts/install-deps.sh --browser ||
  echo "test.sh: Chromium could not be installed; the browser test will be skipped"
# Neovim and npm for the language server's and the grammar's tests; those
# tests report themselves skipped when they are missing.
bash scripts/install-deps.sh --editor ||
  echo "test.sh: Neovim or npm could not be installed; the editor tests will be skipped"
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DSB_SANITIZE=ON >/dev/null
else
  dir=build
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$dir" -j"$(nproc)"
cd "$dir"
ctest --output-on-failure -j"$(nproc)"
