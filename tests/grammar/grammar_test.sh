#!/usr/bin/env bash
# The highlighting grammar's tests (*.test.txt here), run by
# vscode-tmgrammar-test, installed from npm into WORK_DIR on the first run.
# Skipped (77) without npm or when the package cannot be installed.
#   grammar_test.sh WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$1
command -v npm >/dev/null 2>&1 || { echo "npm not installed: skipped"; exit 77; }
mkdir -p "$work"
if [ ! -x "$work/node_modules/.bin/vscode-tmgrammar-test" ] || ! cmp -s "$here/package.json" "$work/package.json"; then
  cp "$here/package.json" "$work/package.json"
  (cd "$work" && npm install --no-audit --no-fund --no-package-lock >"$work/npm.log" 2>&1) || {
    echo "vscode-tmgrammar-test could not be installed (see $work/npm.log): skipped"; exit 77; }
fi
"$work/node_modules/.bin/vscode-tmgrammar-test" \
  -g "$here/../../editors/vscode/syntaxes/scenario-description.tmLanguage.json" "$here/*.test.txt"
