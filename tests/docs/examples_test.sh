#!/usr/bin/env bash
# Runs the examples of the documents as printed. In a document, a
# ```console block holds a session: each line starting with "$ " is a
# command, the lines after it (up to the next command or the end of the
# block) are what it prints, and a trailing "# exit status N" says that
# the command ends with status N (0 otherwise). A line "..." stands for
# output left out.
#
# Each document runs in a fresh temporary directory that holds a copy of
# the example description files, with `scenario-builder` on the PATH; its
# commands run one after the other, so a later one sees what an earlier
# one wrote. A command fails the test when its status differs from the
# one shown, or when a line shown as its output is missing from what it
# printed (standard output and standard error; the shown lines must come
# in the order printed, lines left out anywhere). A "$ " line outside a
# console block fails too: every command a document prints is run.
#
#   examples_test.sh SCENARIO_BUILDER EXAMPLE_DIR DOCUMENT.md...
set -uo pipefail
program="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
example="$2"
shift 2

bin="$(mktemp -d "${TMPDIR:-/tmp}/sb-docs-bin.XXXXXX")"
trap 'rm -rf "$bin"' EXIT
ln -s "$program" "$bin/scenario-builder"

failures=0
commands=0

fail() {  # DOCUMENT LINE COMMAND MESSAGE OUTPUT_FILE
  echo "$1:$2: \$ $3"
  echo "  $4"
  echo "  it printed:"
  sed 's/^/  | /' "$5" | head -40
  failures=$((failures + 1))
}

# Succeeds when every line of EXPECTED appears in ACTUAL, in that order.
shows_in_order() {  # EXPECTED_FILE ACTUAL_FILE; prints the first missing line
  awk '
    NR == FNR { expected[++count] = $0; next }
    next_line <= count && $0 == expected[next_line] { next_line++ }
    END {
      if (next_line <= count) { print expected[next_line]; exit 1 }
    }
  ' next_line=1 "$1" "$2"
}

run_document() {  # DOCUMENT
  local document="$1" dir
  dir="$(mktemp -d "${TMPDIR:-/tmp}/sb-docs.XXXXXX")"
  cp "$example"/* "$dir"/
  local in_block=0 number=0 line command="" command_line=0 expected_status=0
  : >"$dir/.expected"

  finish_command() {
    [ -n "$command" ] || return 0
    local status missing
    (cd "$dir" && PATH="$bin:$PATH" timeout 60 bash -c "$command" </dev/null >"$dir/.actual" 2>&1)
    status=$?
    commands=$((commands + 1))
    if [ "$status" -ne "$expected_status" ]; then
      fail "$document" "$command_line" "$command" "exit status $status, the document shows $expected_status" "$dir/.actual"
    elif ! missing="$(shows_in_order "$dir/.expected" "$dir/.actual")"; then
      fail "$document" "$command_line" "$command" "the document shows a line it did not print (in this order): $missing" "$dir/.actual"
    fi
    command=""
    : >"$dir/.expected"
  }

  while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    if [ "$in_block" -eq 0 ]; then
      if [ "$line" = '```console' ]; then
        in_block=1
      elif [ "${line:0:2}" = '$ ' ]; then
        echo "$document:$number: a command outside a \`\`\`console block would not be run: $line"
        failures=$((failures + 1))
      fi
      continue
    fi
    if [ "$line" = '```' ]; then
      finish_command
      in_block=0
    elif [ "${line:0:2}" = '$ ' ]; then
      finish_command
      command="${line:2}"
      command_line=$number
      expected_status=0
      if [[ "$command" =~ \#\ exit\ status\ ([0-9]+)[[:space:]]*$ ]]; then
        expected_status="${BASH_REMATCH[1]}"
      fi
    elif [ -n "$command" ] && ! [[ "$line" =~ ^[[:space:]]*\.\.\.[[:space:]]*$ ]]; then
      printf '%s\n' "$line" >>"$dir/.expected"
    fi
  done <"$document"
  if [ "$in_block" -eq 1 ]; then
    echo "$document: a console block is not closed"
    failures=$((failures + 1))
  fi
  rm -rf "$dir"
}

for document in "$@"; do
  run_document "$document"
done

echo "$commands example commands run, $failures failed"
[ "$commands" -gt 0 ] && [ "$failures" -eq 0 ]
