#!/usr/bin/env python3
"""The SARIF log of --diagnostics-format=sarif: standard error holds one log
and nothing else, it validates against the SARIF 2.1.0 schema kept beside
this script, and it carries the same diagnostics as the text form (place,
column, severity, message, code, notes) and the same exit status.

    sarif_test.py PROGRAM EXAMPLE_DIR
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    print("skipped: python3-jsonschema is not installed (scripts/install-deps.sh installs it)")
    sys.exit(77)

PROGRAM, EXAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SCHEMA = json.load(open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "sarif-schema-2.1.0.json")))

# name, edits of the line file, edits of the train file, command after the two files
SCENARIOS = [
    ("board-and-station", [("indicatore,  4000", "indicatore,  1260")], [("11000", "11010")], ["check"]),
    ("lost-record-and-warning", [], [("\nsabbia", "\nsabia"), ("velocita,  0,", "velocita,  0,  87,\nvelocita,  10,")], ["check"]),
    ("compile-fails", [("indicatore,  4000", "indicatore,  1260")], [], ["compile", "--out", "out"]),
    ("fatal-check", [("indicatore,  4000", "indicatore,  4000,  (X)\ncartello_indicatore,  0")], [], ["check"]),
    ("root-cause", [("lunghezza percorso,  12000", "lunghezza percorso,  12")], [], ["check", "--all-diagnostics"]),
    ("no-route-length", [("lunghezza percorso,  12000", "")], [], ["check"]),
    ("clean", [], [], ["check"]),
]

TEXT_LINE = re.compile(r"^(.*?)(?::(\d+):(\d+))?: (error|warning): (.*) \[([^\]]+)\]$")
NOTE_LINE = re.compile(r"^(.*):(\d+):(\d+): note: (.*)$")


def rule_of(tag):
    return "-W" + tag[len("-Werror="):] if tag.startswith("-Werror=") else tag


def from_text(err):
    found = []
    for line in err.splitlines():
        note = NOTE_LINE.match(line)
        if note and found:
            found[-1]["notes"].append((note[1], int(note[2]), int(note[3]), note[4]))
            continue
        m = TEXT_LINE.match(line)
        if not m:
            continue
        place = None if m[1] == "scenario-builder" else m[1]
        found.append({"file": place, "line": int(m[2]) if m[2] else None, "column": int(m[3]) if m[3] else None,
                      "level": m[4], "message": m[5], "rule": rule_of(m[6]), "notes": []})
    return found


def from_sarif(log):
    run = log["runs"][0]
    rules = run["tool"]["driver"]["rules"]
    found = []
    for r in run["results"]:
        assert rules[r["ruleIndex"]]["id"] == r["ruleId"], r
        loc = r.get("locations", [{}])[0].get("physicalLocation")
        region = (loc or {}).get("region", {})
        notes = [(n["physicalLocation"]["artifactLocation"]["uri"], n["physicalLocation"]["region"]["startLine"],
                  n["physicalLocation"]["region"]["startColumn"], n["message"]["text"])
                 for n in r.get("relatedLocations", [])]
        found.append({"file": loc["artifactLocation"]["uri"] if loc else None, "line": region.get("startLine"),
                      "column": region.get("startColumn"), "level": r["level"], "message": r["message"]["text"],
                      "rule": r["ruleId"], "notes": notes})
    return found


def edited(text, edits):
    for old, new in edits:
        assert old in text, old
        text = text.replace(old, new, 1)
    return text


def main():
    failures = 0
    every_rule = None
    with tempfile.TemporaryDirectory() as tmp:
        for name, line_edits, train_edits, command in SCENARIOS:
            d = os.path.join(tmp, name)
            os.makedirs(os.path.join(d, "out"))
            for f, edits in (("Esempio_linea.txt", line_edits), ("Esempio_7-.txt", train_edits)):
                text = open(os.path.join(EXAMPLE, f), encoding="cp1252", newline="").read()
                open(os.path.join(d, f), "w", encoding="cp1252", newline="").write(edited(text, edits))
            args = [PROGRAM, command[0], "Esempio_linea.txt", "Esempio_7-.txt"] + command[1:]
            text = subprocess.run(args, cwd=d, capture_output=True, text=True)
            shutil.rmtree(os.path.join(d, "out"))
            os.makedirs(os.path.join(d, "out"))
            sarif = subprocess.run(args + ["--diagnostics-format=sarif"], cwd=d, capture_output=True, text=True)
            try:
                log = json.loads(sarif.stderr)  # the whole of standard error: one log, nothing else
                jsonschema.validate(log, SCHEMA)
                assert log["version"] == "2.1.0"
                assert sarif.returncode == text.returncode, (sarif.returncode, text.returncode)
                expected, got = from_text(text.stderr), from_sarif(log)
                assert got == expected, "\n".join(["text form:", text.stderr, "SARIF results:", json.dumps(got, indent=1)])
                assert (len(got) == 0) == (name == "clean"), got
                rules = [r["id"] for r in log["runs"][0]["tool"]["driver"]["rules"]]
                every_rule = rules
                print("ok:", name, len(got), "results")
            except (AssertionError, ValueError, jsonschema.ValidationError) as e:
                failures += 1
                print("FAIL:", name, e)
    explained = subprocess.run([PROGRAM, "explain", "--list"], capture_output=True, text=True).stdout.split("\n")
    ids = [line.split()[0] for line in explained if line]
    if every_rule != ids:
        failures += 1
        print("FAIL: the rules are not every code and warning of explain --list")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
