#!/usr/bin/env bash
# Fuzzes the whole compile (reader, recorders, completion, compiled files)
# under AddressSanitizer and UndefinedBehaviorSanitizer for SECONDS seconds
# (default 120). Exits non-zero on any finding: a crash, a sanitizer report,
# an exception other than a fatal check, a timeout, a leak or running out
# of memory; the input that found it is left in build-fuzz/artifacts/.
#
#   bash scripts/fuzz.sh [SECONDS] [more libFuzzer options]
#
# The seeds are the built-in description files, the example and the test
# fixtures, and every input under tests/fixtures/fuzz/. The corpus the run
# grows stays in build-fuzz/corpus/ (or $SB_FUZZ_CORPUS) and is reused by
# the next run; it is never committed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-120}"
shift || true

bash scripts/install-deps.sh --fuzz
dir=build-fuzz
cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSB_FUZZ=ON -DSB_TESTS=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target compile_fuzzer

# One fuzz input holds a line file, "####", a mode byte (lowest bit: the
# geometry flag) and a train file; each pair is seeded in both modes.
seeds="$dir/seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "$dir/artifacts" "${SB_FUZZ_CORPUS:=$dir/corpus}"
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

"$dir/compile_fuzzer" "$SB_FUZZ_CORPUS" "$seeds" \
  -dict=fuzz/keywords.dict -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
  -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$@"
