#!/usr/bin/env bash
# Benchmark of the view page of a generated 1000 km route in headless
# Chromium, side by side with an empty page:
#
#   bash scripts/bench_view.sh [ROUNDS]      (default 7 rounds)
#
# Prints the page size and, as medians over the rounds (the two pages
# loaded alternately):
#   - the whole headless Chromium run (start, load, dump of the DOM, exit);
#   - the time from navigation start until the page's script has run and
#     the page is interactive (performance.now() at the end of the script,
#     written into the DOM by the page's #selftest), against the same
#     figure for an empty page that only runs one line of script.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-7}"

bash scripts/install-deps.sh --bench
bash scripts/install-deps.sh --browser
chrome="$(command -v chromium)"
dir=build-bench
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DSB_BENCHMARKS=ON >/dev/null
cmake --build "$dir" -j"$(nproc)" --target scenario-builder generate-line >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/sb-bench-view.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mapfile -t files < <("$dir/generate-line" --km 1000 --seed 1 --out "$work")
page="$("$dir/scenario-builder" view "${files[0]}" "${files[1]}" --out "$work")"
cat >"$work/empty.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"><title>empty</title></head><body>
<pre id="selftest"></pre><script>document.getElementById('selftest').textContent='ready-ms='+Math.round(performance.now());</script>
</body></html>
HTML

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# load URL: prints "WALL_MS READY_MS"
load() {
  local start end dom
  start="$(date +%s%N)"
  dom="$("$chrome" --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
    --dump-dom "$1" 2>/dev/null)"
  end="$(date +%s%N)"
  echo "$(((end - start) / 1000000)) $(grep -o 'ready-ms=[0-9]*' <<<"$dom" | cut -d= -f2)"
}

: >"$work/page" ; : >"$work/empty"
load "file://$work/empty.html" >/dev/null  # warm-up
for ((r = 0; r < rounds; r++)); do
  if ((r % 2 == 0)); then
    load "file://$page#selftest" >>"$work/page"; load "file://$work/empty.html" >>"$work/empty"
  else
    load "file://$work/empty.html" >>"$work/empty"; load "file://$page#selftest" >>"$work/page"
  fi
done

echo
echo "view page of a generated 1000 km route (seed 1), $rounds rounds, medians"
printf '  page size                              %.2f MB (%d bytes)\n' \
  "$(awk -v b="$(stat -c %s "$page")" 'BEGIN { print b / 1048576 }')" "$(stat -c %s "$page")"
printf '  headless Chromium run, page / empty    %d ms / %d ms\n' \
  "$(awk '{ print $1 }' "$work/page" | median)" "$(awk '{ print $1 }' "$work/empty" | median)"
printf '  ready after navigation, page / empty   %d ms / %d ms\n' \
  "$(awk '{ print $2 }' "$work/page" | median)" "$(awk '{ print $2 }' "$work/empty" | median)"
