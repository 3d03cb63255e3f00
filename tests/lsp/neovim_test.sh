#!/usr/bin/env bash
# The language server with a real client: Neovim, headless, opens a line
# description file with a misspelt keyword; what it received is compared
# with what it must have received. Skipped (77) without Neovim.
#   neovim_test.sh SCENARIO_BUILDER
set -euo pipefail
exe=$1
here=$(cd "$(dirname "$0")" && pwd)
command -v nvim >/dev/null 2>&1 || { echo "nvim not installed: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state XDG_CACHE_HOME=$work/cache
mkdir -p "$work/scenario"
printf '[generale]\r\nlunghezza percorso,  3000\r\nprogressiva chilometrica uno,  0,  5200,  0\r\n[indicazioni]\r\ncartello_indicatore,  1300,     (   P.L.  )(km 6+500)\r\n[pendenze]\r\npendenze,  100,  2\r\n[fine]\r\n' \
  >"$work/scenario/Prova_linea.txt"
printf '[generale]\r\n[aderenze]\r\naderenza,  0,  100\r\n[vel_limite]\r\nvelocita,  0,  90\r\n[fine]\r\n' \
  >"$work/scenario/Prova_100-.txt"

SB_EXE=$exe SB_FILE=$work/scenario/Prova_linea.txt SB_OUT=$work/received.txt \
  timeout 60 nvim --headless -u NONE -i NONE -n -c "luafile $here/neovim_client.lua" </dev/null >/dev/null 2>"$work/nvim.err" || {
  echo "neovim failed:"; cat "$work/nvim.err" "$work/received.txt" 2>/dev/null; exit 1; }

if ! diff -u "$here/neovim_expected.txt" "$work/received.txt"; then
  echo "what Neovim received differs from tests/lsp/neovim_expected.txt"
  exit 1
fi
echo "neovim: diagnostics, hover, completion and the quick fix as expected"
