#!/usr/bin/env bash
# Fuzzes one input surface of the program, or all of them, under
# AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any
# finding: a crash, a sanitizer report, an unexpected exception, a timeout,
# a leak or running out of memory; the input that found it is left in
# build-fuzz/artifacts/.
#
#   bash scripts/fuzz.sh [--target NAME] [SECONDS] [more libFuzzer options]
#   bash scripts/fuzz.sh --target all SECONDS      (SECONDS shared out among the targets)
#   bash scripts/fuzz.sh --update-corpus NAME      (minimise the grown corpus into fuzz/corpus/NAME)
#
# Targets (default compile):
#   compile  the whole compile: reader, placement, completion, compiled files
#   decode   the decoder of the three compiled files, and the listing of what it decodes
#   check    the check command: every error of a pair of description files
#   view     the page writer, from description files and from compiled files
#   round_trip  compile, decompile the compiled set, compile again: the same bytes
#   lsp_message  the language server: its message reader and server on any
#            stream of bytes, and its answers on any text of an open file
#
# Each target starts from the seeds kept in the repository (fuzz/corpus/NAME/,
# small files only), the built-in and example scenarios and the test
# fixtures, and from the corpus earlier runs grew (build-fuzz/corpus-NAME/,
# or $SB_FUZZ_CORPUS; never committed), so several short runs add up like a
# long one. For hours on a developer's machine:
#   bash scripts/fuzz.sh --target compile 14400 -fork=2
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(compile decode check view round_trip lsp_message)
target=compile
update=""
if [ "${1:-}" = "--target" ]; then
  target="${2:?--target needs a name: ${all_targets[*]} or all}"
  shift 2
elif [ "${1:-}" = "--update-corpus" ]; then
  update="${2:?--update-corpus needs a target name}"
  target="$update"
  shift 2
fi
seconds="${1:-120}"
shift || true

known() { local t; for t in "${all_targets[@]}"; do [ "$t" = "$1" ] && return 0; done; return 1; }
if [ "$target" != all ] && ! known "$target"; then
  echo "fuzz.sh: unknown target $target (${all_targets[*]} or all)" >&2
  exit 2
fi

bash scripts/install-deps.sh --fuzz
dir=build-fuzz
cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSB_FUZZ=ON -DSB_TESTS=OFF >/dev/null
targets=("$target")
[ "$target" = all ] && targets=("${all_targets[@]}")
build=(scenario-builder)
for t in "${targets[@]}"; do build+=("${t}_fuzzer"); done
cmake --build "$dir" -j"$(nproc)" --target "${build[@]}"
mkdir -p "$dir/artifacts"

work="$(mktemp -d "${TMPDIR:-/tmp}/sb-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# One description input holds a line file, "####", a mode byte (lowest bit:
# a line plan is built) and a train file; each pair is seeded in both modes.
description_seeds() {  # DIR
  pair() {  # LINE TRAIN NAME
    for mode in 0 1; do
      { cat "$1"; printf '####%s' "$mode"; cat "$2"; } >"$seeds/$3-$mode"
    done
  }
  local seeds="$1" line route train
  pair tests/golden/line_description.txt tests/golden/train_description.txt builtin
  pair docs/example/Esempio_linea.txt docs/example/Esempio_7-.txt example
  for line in tests/fixtures/*_linea.txt; do
    [ -e "$line" ] || continue
    route="$(basename "$line" _linea.txt)"
    for train in tests/fixtures/"$route"_*-.txt; do
      [ -e "$train" ] && pair "$line" "$train" "fixture-$(basename "$train" .txt)"
    done
  done
  find tests/fixtures/fuzz -type f -exec cp {} "$seeds"/ \;
}

# The compiled files of the built-in run and of the example as they are
# (the line plans run to megabytes: the plan seed is a small one of the same
# form, metres 0 to 3 on a straight line, metre 3 empty).
compiled_seeds() {  # DIR
  local seeds="$1"
  mkdir -p "$work/builtin" "$work/example"
  "$dir/scenario-builder" --dir "$work/builtin"
  "$dir/scenario-builder" compile docs/example/Esempio_linea.txt docs/example/Esempio_7-.txt --out "$work/example"
  cp "$work"/builtin/*.sim "$work"/example/*.sim "$seeds"/
  cp "$work/builtin/ValdraPCal-Dorvesa_24317.dat" "$work/example/Esempio_7.dat" "$seeds"/
  local w0='\x02\x00\x00\x00' w1='\x02\x00\x01\x00' empty='\x00\x00'
  local r0='\x05\x00\x00\x00\x00\x00\x00\x00\x00\x00' r2='\x05\x00\x00\x00\x00\x00\x00\x00\x00\x40'
  printf "$w0$w0$r0$empty$w0$w1$r2$empty" >"$seeds/small_linea.dat"
}

# A client's session: initialize, a line file opened, a hover, shutdown.
lsp_seeds() {  # DIR
  local seeds="$1" body framed=""
  for body in '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}}' \
    '{"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"file:///x/A_linea.txt","version":1,"text":"[generale]\r\nlunghezza percorso,  3000\r\npendenze, 100, 2\r\n[fine]\r\n"}}}' \
    '{"jsonrpc":"2.0","id":2,"method":"textDocument/hover","params":{"textDocument":{"uri":"file:///x/A_linea.txt"},"position":{"line":1,"character":3}}}' \
    '{"jsonrpc":"2.0","id":3,"method":"shutdown"}'; do
    framed+="Content-Length: ${#body}"$'\r\n\r\n'"$body"
  done
  printf '%s' "$framed" >"$seeds/lsp-session"
}

options() {  # TARGET: libFuzzer options of the target
  case "$1" in
    decode) echo "-max_len=65536" ;;
    view) echo "-dict=fuzz/keywords.dict -max_len=65536" ;;
    *) echo "-dict=fuzz/keywords.dict -max_len=16384" ;;
  esac
}

run() {  # TARGET SECONDS [libFuzzer options]
  local t="$1" s="$2"
  shift 2
  local seeds="$work/seeds-$t"
  mkdir -p "$seeds"
  case "$t" in
    decode) compiled_seeds "$seeds" ;;
    view) description_seeds "$seeds"; compiled_seeds "$seeds" ;;
    lsp_message) description_seeds "$seeds"; lsp_seeds "$seeds" ;;
    *) description_seeds "$seeds" ;;
  esac
  local corpus="${SB_FUZZ_CORPUS:-$dir/corpus-$t}"
  mkdir -p "$corpus" "fuzz/corpus/$t"
  echo "fuzz.sh: $t for $s s"
  # shellcheck disable=SC2046
  "$dir/${t}_fuzzer" "$corpus" "fuzz/corpus/$t" "$seeds" $(options "$t") -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$s" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$@"
}

if [ -n "$update" ]; then
  # Keeps the files of a minimal set that covers what the grown corpus
  # covers, and that are small enough to live in the repository.
  corpus="${SB_FUZZ_CORPUS:-$dir/corpus-$update}"
  merged="$work/merged"
  mkdir -p "$merged"
  # shellcheck disable=SC2046
  "$dir/${update}_fuzzer" -merge=1 "$merged" "fuzz/corpus/$update" "$corpus" $(options "$update") -timeout=10 \
    -rss_limit_mb=2048 2>&1 | tail -n 2
  rm -rf "fuzz/corpus/$update"
  mkdir -p "fuzz/corpus/$update"
  find "$merged" -type f -size -8k -exec cp {} "fuzz/corpus/$update"/ \;
  echo "fuzz.sh: fuzz/corpus/$update holds $(ls "fuzz/corpus/$update" | wc -l) files"
  exit
fi

if [ "$target" = all ]; then
  share=$((seconds / ${#all_targets[@]}))
  for t in "${all_targets[@]}"; do run "$t" "$share" "$@"; done
else
  run "$target" "$seconds" "$@"
fi
