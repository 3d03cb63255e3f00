#!/usr/bin/env bash
# Loads the view pages in headless Chromium with the #selftest fragment and
# compares what the page's self-check wrote into the DOM with the counts
# taken from the compiled state: drawn stations, signals, boards and
# slowdowns, diagnostics, check codes; no script error; hovering an element
# fills the details; the wheel zooms the map. Exits 77 (skipped) when
# Chromium is not installed.
#
#   browser_test.sh VIEW_PAGE_WRITER EXAMPLE_DIR
set -uo pipefail
writer="$1"
example="$2"

chrome="$(command -v chromium || command -v chromium-browser || true)"
if [ -z "$chrome" ]; then
  echo "SKIPPED: Chromium is not installed (bash scripts/install-deps.sh --browser installs Debian's chromium)"
  exit 77
fi

dir="$(mktemp -d "${TMPDIR:-/tmp}/sb-view.XXXXXX")"
trap 'rm -rf "$dir"' EXIT
"$writer" "$dir" "$example" || { echo "FAIL: the page writer failed"; exit 1; }

failed=0
for page in builtin example damaged fatal; do
  if ! timeout 120 "$chrome" --headless --no-sandbox --disable-gpu --no-first-run --no-default-browser-check \
      --user-data-dir="$dir/profile" --virtual-time-budget=2000 \
      --dump-dom "file://$dir/$page.html#selftest" >"$dir/$page.dom" 2>"$dir/$page.log"; then
    echo "FAIL: $page: Chromium did not load the page"
    tail -n 20 "$dir/$page.log"
    failed=1
    continue
  fi
  result="$(sed -n '/<pre id="selftest"/,/<\/pre>/p' "$dir/$page.dom" | sed -e 's/<pre id="selftest">//' -e 's/<\/pre>//')"
  if ! grep -qx 'selftest-done' <<<"$result"; then
    echo "FAIL: $page: the page's self-check did not finish"
    failed=1
    continue
  fi
  problems=""
  while IFS= read -r want; do
    [ -z "$want" ] && continue
    grep -qxF "$want" <<<"$result" || problems+=" expected '$want';"
  done <"$dir/$page.expected"
  grep -qE '^zoom=(ok|none)' <<<"$result" || problems+=" expected 'zoom=ok';"
  for want in errors=0 hover=ok without-cell=0; do
    grep -q "^$want" <<<"$result" || problems+=" expected '$want';"
  done
  if [ -n "$problems" ]; then
    echo "FAIL: $page:$problems"
    echo "  the page reported:"
    sed 's/^/    /' <<<"$result"
    failed=1
  else
    echo "ok: $page: $(tr '\n' ' ' <<<"$result")"
  fi
done
exit "$failed"
