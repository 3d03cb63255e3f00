#!/usr/bin/env bash
# Fuzzes under AddressSanitizer and UndefinedBehaviorSanitizer for SECONDS
# seconds (default 120). Exits non-zero on any finding: a crash, a sanitizer
# report, an unexpected exception, a timeout, a leak or running out of
# memory; the input that found it is left in build-fuzz/artifacts/.
#
#   bash scripts/fuzz.sh [--target compile|decode|view] [SECONDS] [more libFuzzer options]
#
# compile (the default) feeds the whole compile (reader, recorders,
# completion, compiled files); its seeds are the built-in description
# files, the example and the test fixtures, and every input under
# tests/fixtures/fuzz/. decode feeds the decoder of the compiled files;
# its seeds are the compiled files of the built-in run and of the example,
# made by the program into a temporary directory, and a small line plan.
# view feeds the view page writer: each input compiled and drawn, and
# decoded as each compiled file and drawn; its seeds are those of compile
# and those of decode. The corpus a run grows stays in build-fuzz/corpus/
# (decode: build-fuzz/corpus-decode/, view: build-fuzz/corpus-view/), or
# $SB_FUZZ_CORPUS, and is reused by the next run; it is never committed.
set -euo pipefail
cd "$(dirname "$0")/.."
target=compile
if [ "${1:-}" = "--target" ]; then
  target="${2:?--target needs compile, decode or view}"
  shift 2
fi
case "$target" in
  compile | decode | view) ;;
  *) echo "fuzz.sh: unknown target $target (compile, decode or view)" >&2; exit 2 ;;
esac
seconds="${1:-120}"
shift || true

bash scripts/install-deps.sh --fuzz
dir=build-fuzz
cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSB_FUZZ=ON -DSB_TESTS=OFF >/dev/null

mkdir -p "$dir/artifacts"

# Seeds of the decoder: the compiled files of the built-in run and of the
# example, made by the program, and a small line plan.
decode_seeds() {  # DIR
  local work
  work="$(mktemp -d)"
  mkdir "$work/builtin" "$work/example"
  "$dir/scenario-builder" --dir "$work/builtin"
  "$dir/scenario-builder" compile docs/example/Esempio_linea.txt docs/example/Esempio_7-.txt --out "$work/example"
  # The cell and table files as they are; the line plans run to megabytes,
  # so the plan seed is a small one of the same form: metres 0 to 3 on a
  # straight line, metre 3 empty.
  cp "$work"/builtin/*.sim "$work"/example/*.sim "$1"/
  cp "$work/builtin/ValdraPCal-Dorvesa_24317.dat" "$work/example/Esempio_7.dat" "$1"/
  rm -rf "$work"
  w0='\x02\x00\x00\x00' w1='\x02\x00\x01\x00' empty='\x00\x00'
  r0='\x05\x00\x00\x00\x00\x00\x00\x00\x00\x00' r2='\x05\x00\x00\x00\x00\x00\x00\x00\x00\x40'
  printf "$w0$w0$r0$empty$w0$w1$r2$empty" >"$1/small_linea.dat"
}

# Seeds of the compile: one fuzz input holds a line file, "####", a mode
# byte (lowest bit: the geometry flag) and a train file; each pair is
# seeded in both modes.
compile_seeds() {  # DIR
  local out="$1"
  pair() {  # LINE TRAIN NAME
    for mode in 0 1; do
      { cat "$1"; printf '####%s' "$mode"; cat "$2"; } >"$out/$3-$mode"
    done
  }
  pair tests/golden/line_description.txt tests/golden/train_description.txt builtin
  [ -f docs/example/Esempio_linea.txt ] && pair docs/example/Esempio_linea.txt docs/example/Esempio_7-.txt example
  for line in tests/fixtures/*_linea.txt; do
    [ -e "$line" ] || continue
    route="$(basename "$line" _linea.txt)"
    for train in tests/fixtures/"$route"_*-.txt; do
      [ -e "$train" ] && pair "$line" "$train" "fixture-$(basename "$train" .txt)"
    done
  done
  if [ -d tests/fixtures/fuzz ]; then
    find tests/fixtures/fuzz -type f -exec cp {} "$out"/ \;
  fi
}

case "$target" in
  decode)
    cmake --build "$dir" -j"$(nproc)" --target decode_fuzzer scenario-builder
    seeds="$dir/seeds-decode"
    rm -rf "$seeds"
    mkdir -p "$seeds" "${SB_FUZZ_CORPUS:=$dir/corpus-decode}"
    decode_seeds "$seeds"
    "$dir/decode_fuzzer" "$SB_FUZZ_CORPUS" "$seeds" \
      -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
      -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$@"
    ;;
  view)
    cmake --build "$dir" -j"$(nproc)" --target view_fuzzer scenario-builder
    seeds="$dir/seeds-view"
    rm -rf "$seeds"
    mkdir -p "$seeds" "${SB_FUZZ_CORPUS:=$dir/corpus-view}"
    compile_seeds "$seeds"
    decode_seeds "$seeds"
    "$dir/view_fuzzer" "$SB_FUZZ_CORPUS" "$seeds" \
      -dict=fuzz/keywords.dict -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
      -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$@"
    ;;
  compile)
    cmake --build "$dir" -j"$(nproc)" --target compile_fuzzer
    seeds="$dir/seeds"
    rm -rf "$seeds"
    mkdir -p "$seeds" "${SB_FUZZ_CORPUS:=$dir/corpus}"
    compile_seeds "$seeds"
    "$dir/compile_fuzzer" "$SB_FUZZ_CORPUS" "$seeds" \
      -dict=fuzz/keywords.dict -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
      -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$@"
    ;;
esac
