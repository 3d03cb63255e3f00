#!/usr/bin/env bash
# Loads view pages in headless Chromium with the #selftest fragment and
# compares what the page's self-check wrote into the DOM with the counts
# taken from the compiled files: drawn stations, signals, boards,
# slowdowns and curves (the same in the map, the profile and the lists), diagnostics,
# check codes; no script error; hovering an element fills the details; the
# wheel zooms the map.
#
# Pages: the built-in scenario and docs/example/, each drawn from its
# description files and with view --compiled from its compiled files; a
# scenario with an error compiled with --force (both ways); the built-in
# compiled files with a cut-off line plan; a line description that builds
# no track (fatal check).
#
# Exits 77 (skipped, with the reason) when Chromium is not installed or
# cannot run a page at all: it never passes without loading the pages.
#
#   browser_test.sh SCENARIO_BUILDER COMPILED_COUNTS EXAMPLE_DIR
set -uo pipefail
program="$1"
counts="$2"
example="$3"

chrome="$(command -v chromium || command -v chromium-browser || true)"
if [ -z "$chrome" ]; then
  echo "SKIPPED: Chromium is not installed (bash scripts/install-deps.sh --browser installs Debian's chromium)"
  exit 77
fi

dir="$(mktemp -d "${TMPDIR:-/tmp}/sb-view.XXXXXX")"
trap 'rm -rf "$dir"' EXIT

load() {  # URL DOM_FILE LOG_FILE
  timeout 120 "$chrome" --headless --no-sandbox --disable-gpu --no-first-run --no-default-browser-check \
    --user-data-dir="$dir/profile" --virtual-time-budget=2000 --dump-dom "$1" >"$2" 2>"$3"
}

# Chromium must be able to run a script at all; when it cannot start on
# this machine the test is skipped, not passed.
printf '<!DOCTYPE html><html><body><pre id="probe"></pre><script>document.getElementById("probe").textContent="probe-ran";</script></body></html>' >"$dir/probe.html"
if ! load "file://$dir/probe.html" "$dir/probe.dom" "$dir/probe.log" || ! grep -q 'probe-ran' "$dir/probe.dom"; then
  echo "SKIPPED: Chromium is installed but cannot run a page here:"
  tail -n 5 "$dir/probe.log"
  exit 77
fi

failed=0
fail() { echo "FAIL: $*"; failed=1; }

builtin_route=ValdraPCal-Dorvesa builtin_train=24317
mkdir -p "$dir/builtin" "$dir/example" "$dir/damaged" "$dir/cut" "$dir/fatal"

# --- the pages and what each must show --------------------------------------
# expect NAME COUNTS_FROM(cells table | -) DIAGNOSTICS ROUTE_CHECK [PLAN]
expect() {
  local name="$1" cells="$2" table="$3" diagnostics="$4" check="$5" plan="${6:-}"
  if [ "$cells" = - ]; then
    printf 'station=0\nsignal=0\nline-board=0\nspeed-board=0\nslowdown=0\ncurve=0\n' >"$dir/$name.expected"
  else
    "$counts" "$cells" "$table" $plan >"$dir/$name.expected" || fail "$name: the compiled files cannot be counted"
  fi
  printf 'diagnostics=%s\nroute-check=%s\n' "$diagnostics" "$check" >>"$dir/$name.expected"
}

# view; records the exit status and the number of diagnostic lines
view() {  # NAME ARGS...
  local name="$1"
  shift
  "$program" view "$@" -o "$dir/$name.html" >"$dir/$name.out" 2>"$dir/$name.err"
  echo $? >"$dir/$name.status"
  [ -s "$dir/$name.html" ] || fail "$name: no page was written ($(cat "$dir/$name.err"))"
}

# The built-in scenario.
"$program" --dir "$dir/builtin" --keep-sources >/dev/null 2>&1 || fail "the built-in run failed"
b="$dir/builtin/${builtin_route}_$builtin_train"
view builtin "$dir/builtin/${builtin_route}_linea.txt" "$b-.txt"
view builtin-compiled --compiled --route "$builtin_route" --train "$builtin_train" "$dir/builtin"
bp="$dir/builtin/${builtin_route}_linea.dat"
expect builtin "$b.dat" "$b.sim" 0 confirmed "$bp"
expect builtin-compiled "$b.dat" "$b.sim" 0 confirmed "$bp"
# The built-in line has chainage systems: its profile's chainage axis hides
# and shows again with its box.
echo chainage-axis=toggles >>"$dir/builtin.expected"
echo chainage-axis=toggles >>"$dir/builtin-compiled.expected"

# docs/example.
"$program" compile "$example/Esempio_linea.txt" "$example/Esempio_7-.txt" --out "$dir/example" >/dev/null 2>&1 ||
  fail "the example does not compile"
view example "$example/Esempio_linea.txt" "$example/Esempio_7-.txt"
view example-compiled --compiled "$dir/example/Esempio_linea.dat" "$dir/example/Esempio_7.sim" \
  "$dir/example/Esempio_7.dat"
ep="$dir/example/Esempio_linea.dat"
expect example "$dir/example/Esempio_7.dat" "$dir/example/Esempio_7.sim" 0 confirmed "$ep"
expect example-compiled "$dir/example/Esempio_7.dat" "$dir/example/Esempio_7.sim" 0 confirmed "$ep"

# The example with a signal in a taken cell: reading stops there, and
# --force writes what was built.
sed 's/^segnale,  1200,/segnale,  1210,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n&/' \
  "$example/Esempio_7-.txt" >"$dir/damaged/Esempio_7-.txt"
cp "$example/Esempio_linea.txt" "$dir/damaged/"
"$program" compile "$dir/damaged/Esempio_linea.txt" "$dir/damaged/Esempio_7-.txt" --out "$dir/damaged" --force \
  >/dev/null 2>&1
[ -f "$dir/damaged/Esempio_7.dat" ] || fail "damaged: --force wrote no compiled file"
view damaged "$dir/damaged/Esempio_linea.txt" "$dir/damaged/Esempio_7-.txt"
view damaged-compiled --compiled --route Esempio --train 7 "$dir/damaged"
# Drawn from its descriptions, the page shows what check reads on to: the
# colliding signal left out, that is the example's own elements. A note
# line belongs to the diagnostic above it.
expect damaged "$dir/example/Esempio_7.dat" "$dir/example/Esempio_7.sim" "$(grep -vc ': note: ' "$dir/damaged.err")" \
  unknown "$ep"
expect damaged-compiled "$dir/damaged/Esempio_7.dat" "$dir/damaged/Esempio_7.sim" 0 confirmed \
  "$dir/damaged/Esempio_linea.dat"
[ "$(wc -l <"$dir/damaged.err")" -ge 1 ] || fail "damaged: the damage was not reported"

# The built-in compiled files with the line plan cut off: refused, the
# rest drawn (no curves), the refusal shown.
cp "$b.dat" "$b.sim" "$dir/cut/"
head -c 1001 "$dir/builtin/${builtin_route}_linea.dat" >"$dir/cut/${builtin_route}_linea.dat"
view cut --compiled --route "$builtin_route" --train "$builtin_train" "$dir/cut"
expect cut "$b.dat" "$b.sim" 1 confirmed

# No route length: no track cells, a fatal check.
printf '[generale]\r\nsfondo uno,  1\r\n[fine]\r\n' >"$dir/fatal/Esempio_linea.txt"
view fatal "$dir/fatal/Esempio_linea.txt" "$example/Esempio_7-.txt"
[ "$(cat "$dir/fatal.status")" = 3 ] || fail "fatal: view did not end with the fatal check's status 3"
# Each condition and the fatal check: one line on standard error, one row;
# nothing was compiled, so the check codes are unknown.
expect fatal - - "$(wc -l <"$dir/fatal.err")" unknown

for page in builtin builtin-compiled example example-compiled damaged damaged-compiled cut fatal; do
  [ -s "$dir/$page.html" ] || continue
  if ! load "file://$dir/$page.html#selftest" "$dir/$page.dom" "$dir/$page.log"; then
    fail "$page: Chromium did not load the page"
    tail -n 20 "$dir/$page.log"
    continue
  fi
  result="$(sed -n '/<pre id="selftest"/,/<\/pre>/p' "$dir/$page.dom" | sed -e 's/<pre id="selftest">//' -e 's/<\/pre>//')"
  if ! grep -qx 'selftest-done' <<<"$result"; then
    fail "$page: the page's self-check did not finish"
    continue
  fi
  problems=""
  while IFS= read -r want; do
    [ -z "$want" ] && continue
    grep -qxF "$want" <<<"$result" || problems+=" expected '$want';"
  done <"$dir/$page.expected"
  grep -qE '^zoom=(ok|none)' <<<"$result" || problems+=" expected 'zoom=ok';"
  grep -qE '^chainage-axis=(toggles|none)$' <<<"$result" || problems+=" expected the chainage axis to toggle;"
  for want in errors=0 hover=ok without-cell=0; do
    grep -q "^$want" <<<"$result" || problems+=" expected '$want';"
  done
  if [ -n "$problems" ]; then
    fail "$page:$problems"
    echo "  the page reported:"
    sed 's/^/    /' <<<"$result"
  else
    echo "ok: $page: $(tr '\n' ' ' <<<"$result")"
  fi
done

# The page allows only its own scripts (by hash): an inline script that got
# into the page does not run, and the page's own scripts still do.
if [ -s "$dir/example.html" ]; then
  sed 's|<pre id="selftest" hidden></pre>|<script>document.title="injected-ran";</script>&|' "$dir/example.html" \
    >"$dir/injected.html"
  grep -q 'injected-ran' "$dir/injected.html" || fail "injected: the test script was not put into the page"
  if load "file://$dir/injected.html#selftest" "$dir/injected.dom" "$dir/injected.log"; then
    grep -q '<title>injected-ran</title>' "$dir/injected.dom" && fail "injected: an inline script ran"
    grep -q '^selftest-done' "$dir/injected.dom" || fail "injected: the page's own scripts did not run"
    echo "ok: injected: the inline script was blocked, the page's own scripts ran"
  else
    fail "injected: Chromium did not load the page"
  fi
  # The same page without its policy runs the injected script: the check
  # above can fail.
  sed '/Content-Security-Policy/d' "$dir/injected.html" >"$dir/unprotected.html"
  load "file://$dir/unprotected.html" "$dir/unprotected.dom" "$dir/unprotected.log"
  grep -q '<title>injected-ran</title>' "$dir/unprotected.dom" ||
    fail "unprotected: the injected script did not run even without the policy"
fi

# The page of the compiled files draws what the page of the description
# files draws, kind by kind (a scenario with errors excepted: its
# description page draws what check recovers, more than --force wrote).
for pair in builtin example; do
  a="$(grep -E '^(station|signal|line-board|speed-board|slowdown|curve)=' "$dir/$pair.dom" 2>/dev/null)"
  c="$(grep -E '^(station|signal|line-board|speed-board|slowdown|curve)=' "$dir/$pair-compiled.dom" 2>/dev/null)"
  [ -n "$a" ] && [ "$a" = "$c" ] || fail "$pair: the compiled files' page draws other elements: '$a' / '$c'"
done
exit "$failed"
