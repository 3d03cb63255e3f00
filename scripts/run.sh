#!/usr/bin/env bash
# Builds the program and runs the built-in scenario. The files land in the
# program's own directory, build/ (pass --dir DIR or other options through).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target scenario-builder
exec ./build/scenario-builder "$@"
