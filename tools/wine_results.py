#!/usr/bin/env python3
"""Sums up the Wine tests' results files (one JSON line per test, written by tests/wine/run.py).

  wine_results.py summary FILE...   one line: the number of first-run failures and their names
  wine_results.py counts FILE...    each test's failures of its first run, over every run in FILES
"""

import json
import sys
from collections import Counter


def entries(paths):
    for path in paths:
        try:
            with open(path, encoding="utf-8") as f:
                yield from (json.loads(line) for line in f if line.strip())
        except FileNotFoundError:
            continue


def name(entry):
    return f"{'wine32' if entry['arch'] == 'i686' else 'wine64'}.{entry['module']}.{entry['test']}"


def summary(paths):
    failures = [e for e in entries(paths) if e["first"] != "pass"]
    described = []
    for e in failures:
        after = {"pass": "passed on its second run", "fail": "failed again",
                 "lost": "lost again", None: "not run again"}[e.get("retry")]
        kind = "lost by the harness" if e["first"] == "lost" else "known flaky" if e.get("known_flaky") else "failed"
        described.append(f"{name(e)} ({kind}, {after})")
    print(f"wine: {len(failures)} first-run failure{'s' if len(failures) != 1 else ''}"
          + (": " + "; ".join(described) if described else ""))


def counts(paths):
    runs, fails, signatures = Counter(), Counter(), {}
    for e in entries(paths):
        runs[name(e)] += 1
        if e["first"] != "pass":
            fails[name(e)] += 1
            signatures.setdefault(name(e), Counter())[e.get("signature", "")] += 1
    for test in sorted(runs, key=lambda t: (-fails[t], t)):
        print(f"{fails[test]:3d} of {runs[test]:3d}  {test}")
        for sig, n in signatures.get(test, Counter()).most_common():
            print(f"            {n} x {sig}")
    print(f"flake: {sum(fails.values())} failures in {sum(runs.values())} test runs, "
          f"{len(fails)} of {len(runs)} tests failed at least once")


if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in ("summary", "counts"):
        sys.exit(__doc__.strip())
    {"summary": summary, "counts": counts}[sys.argv[1]](sys.argv[2:])
