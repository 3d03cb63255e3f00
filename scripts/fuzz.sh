#!/usr/bin/env bash
# Fuzzes under AddressSanitizer and UndefinedBehaviorSanitizer for SECONDS
# seconds (default 120). Exits non-zero on any finding: a crash, a sanitizer
# report, an unexpected exception, a timeout, a leak or running out of
# memory; the input that found it is left in build-fuzz/artifacts/.
#
#   bash scripts/fuzz.sh [--target compile|check|decode] [SECONDS] [more libFuzzer options]
#
# compile (the default) feeds the whole compile (reader, recorders,
# completion, compiled files); its seeds are the built-in description
# files, the example and the test fixtures, and every input under
# tests/fixtures/fuzz/. check feeds the check command's core (the compile
# again after leaving failing records out) the same seeds. decode feeds the decoder of the compiled files;
# its seeds are the compiled files of the built-in run and of the example,
# made by the program into a temporary directory, and a small line plan.
# The corpus a run grows stays in build-fuzz/corpus/ (check:
# build-fuzz/corpus-check/, decode: build-fuzz/corpus-decode/), or $SB_FUZZ_CORPUS, and is reused by the
# next run; it is never committed.
set -euo pipefail
cd "$(dirname "$0")/.."
target=compile
if [ "${1:-}" = "--target" ]; then
  target="${2:?--target needs compile, check or decode}"
  shift 2
fi
case "$target" in
  compile | check | decode) ;;
  *) echo "fuzz.sh: unknown target $target (compile, check or decode)" >&2; exit 2 ;;
esac
seconds="${1:-120}"
shift || true

bash scripts/install-deps.sh --fuzz
dir=build-fuzz
cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSB_FUZZ=ON -DSB_TESTS=OFF >/dev/null

mkdir -p "$dir/artifacts"
if [ "$target" = decode ]; then
  cmake --build "$dir" -j"$(nproc)" --target decode_fuzzer scenario-builder
  seeds="$dir/seeds-decode"
  rm -rf "$seeds"
  mkdir -p "$seeds" "${SB_FUZZ_CORPUS:=$dir/corpus-decode}"
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  mkdir "$work/builtin" "$work/example"
  "$dir/scenario-builder" --dir "$work/builtin"
  "$dir/scenario-builder" compile docs/example/Esempio_linea.txt docs/example/Esempio_7-.txt --out "$work/example"
  # The cell and table files as they are; the line plans run to megabytes,
  # so the plan seed is a small one of the same form: metres 0 to 3 on a
  # straight line, metre 3 empty.
  cp "$work"/builtin/*.sim "$work"/example/*.sim "$seeds"/
  cp "$work/builtin/ValdraPCal-Dorvesa_24317.dat" "$work/example/Esempio_7.dat" "$seeds"/
  w0='\x02\x00\x00\x00' w1='\x02\x00\x01\x00' empty='\x00\x00'
  r0='\x05\x00\x00\x00\x00\x00\x00\x00\x00\x00' r2='\x05\x00\x00\x00\x00\x00\x00\x00\x00\x40'
  printf "$w0$w0$r0$empty$w0$w1$r2$empty" >"$seeds/small_linea.dat"
  "$dir/decode_fuzzer" "$SB_FUZZ_CORPUS" "$seeds" \
    -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$@"
  exit
fi

fuzzer=compile_fuzzer
default_corpus="$dir/corpus"
if [ "$target" = check ]; then
  fuzzer=check_fuzzer
  default_corpus="$dir/corpus-check"
fi
cmake --build "$dir" -j"$(nproc)" --target "$fuzzer"

# One fuzz input holds a line file, "####", a mode byte (lowest bit: the
# geometry flag) and a train file; each pair is seeded in both modes.
seeds="$dir/seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "${SB_FUZZ_CORPUS:=$default_corpus}"
pair() {  # LINE TRAIN NAME
  for mode in 0 1; do
    { cat "$1"; printf '####%s' "$mode"; cat "$2"; } >"$seeds/$3-$mode"
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
  find tests/fixtures/fuzz -type f -exec cp {} "$seeds"/ \;
fi

"$dir/$fuzzer" "$SB_FUZZ_CORPUS" "$seeds" \
  -dict=fuzz/keywords.dict -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
  -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$@"
