#!/usr/bin/env bash
# Installs what the build, the tests, the fuzz targets, the benchmark and
# the browser test need, from Debian's packages, when it is not on the
# machine yet.
#
#   install-deps.sh [--fuzz | --bench | --browser | --format | --editor | --all]
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_file() { [ -e "$1" ]; }

have_cmd cmake || need+=(cmake)
have_cmd g++ || need+=(g++)
have_cmd make || need+=(make)
have_file /usr/include/gtest/gtest.h || need+=(libgtest-dev)
have_file /usr/include/CLI/CLI.hpp || need+=(libcli11-dev)
have_file /usr/include/nlohmann/json.hpp || need+=(nlohmann-json3-dev)
# The SARIF log is validated against its schema by the tests.
python3 -c 'import jsonschema' >/dev/null 2>&1 || need+=(python3-jsonschema)
if [ "${1:-}" = "--fuzz" ] || [ "${1:-}" = "--all" ]; then
  have_cmd clang++ || need+=(clang)
  compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null || need+=(libclang-rt-dev)
fi
if [ "${1:-}" = "--format" ] || [ "${1:-}" = "--all" ]; then
  have_cmd clang-format || need+=(clang-format)
fi
if [ "${1:-}" = "--bench" ] || [ "${1:-}" = "--all" ]; then
  have_file /usr/include/benchmark/benchmark.h || need+=(libbenchmark-dev)
  have_cmd hyperfine || need+=(hyperfine)
  have_file /usr/bin/time || need+=(time)
fi
# The browser test loads the view pages in headless Chromium; without it
# that test reports itself skipped.
if [ "${1:-}" = "--browser" ] || [ "${1:-}" = "--all" ]; then
  have_cmd chromium || need+=(chromium)
  # The live page test (watch --serve) drives Chromium through playwright-core.
  have_cmd npm || need+=(npm)
fi

# The language server's test with a real client (Neovim) and the grammar's
# tests (vscode-tmgrammar-test, from npm).
if [ "${1:-}" = "--editor" ] || [ "${1:-}" = "--all" ]; then
  have_cmd nvim || need+=(neovim)
  have_cmd npm || need+=(npm)
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
fi
# playwright-core for the live page test, into tests/browser/node_modules; it
# drives the system's Chromium and fetches no browser of its own.
if [ "${1:-}" = "--browser" ] || [ "${1:-}" = "--all" ]; then
  browser_tests="$(cd "$(dirname "$0")/../tests/browser" && pwd)"
  [ -d "$browser_tests/node_modules/playwright-core" ] ||
    (cd "$browser_tests" && npm ci --no-audit --no-fund --loglevel=error)
fi
