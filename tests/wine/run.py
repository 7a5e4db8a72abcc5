#!/usr/bin/env python3
"""Runs the integration tests of one module under Wine: python3 tests/wine/run.py [--arch ARCH] MODULE [TEST ...]

ARCH is the program under test: x86_64 (the default, or TOLVA_ARCH) or i686, the 32-bit program,
which runs under 32-bit Wine in the same WOW64 template prefix.

Every test_* function of tests/wine/MODULE.py runs in a fresh prefix of its own and gets that
Prefix as its argument. One line per test, then "N passed, N failed"; the exit code is 1 when any
test failed. A test runs once more, in a fresh prefix, only when the harness lost its run
(HarnessLost: a driver run that never started or never finished, a prefix or display that could
not be set up) or when tests/wine/known-flaky.txt lists it with a signature its failure matches;
a failed check never earns a second run otherwise. TOLVA_WINE_RETRY=0: no second runs at all.
Every test's first run goes as one JSON line to TOLVA_WINE_RESULTS (default: a file of this run in
build/native/wine-results/); tools/wine_results.py sums such files up.
Tests whose name ends in _slow (minutes long) are skipped unless TOLVA_WINE_SLOW=1.
"""

import importlib
import json
import os
import re
import sys
import time
import traceback
from pathlib import Path

# The program under test is chosen before the harness reads it.
if len(sys.argv) > 2 and sys.argv[1] == "--arch":
    os.environ["TOLVA_ARCH"] = sys.argv[2]
    del sys.argv[1:3]
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import harness  # noqa: E402

KNOWN_FLAKY = HERE / "known-flaky.txt"


def known_flaky(path=KNOWN_FLAKY):
    """{test name: [(signature regex, reason)]} from lines "TEST | SIGNATURE | REASON"."""
    known = {}
    for line in path.read_text(encoding="utf-8").splitlines() if path.is_file() else ():
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        name, signature, reason = (field.strip() for field in line.split("|", 2))
        known.setdefault(name, []).append((re.compile(signature), reason))
    return known


def results_path():
    path = os.environ.get("TOLVA_WINE_RESULTS")
    if path:
        return Path(path)
    native = Path(os.environ.get("TOLVA_NATIVE_DIR", harness.REPO / "build" / "native"))
    return native / "wine-results" / f"{time.strftime('%Y%m%d-%H%M%S')}-{os.getpid()}.jsonl"


def record(path, entry):
    """One line per test, appended at once: the modules of a run share the file."""
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "a", encoding="utf-8") as f:
        f.write(json.dumps(entry, ensure_ascii=False) + "\n")


def signature(error, module):
    """Where and what failed, without the handles and counts that differ from run to run."""
    where = traceback.extract_tb(error.__traceback__)
    line = next((f"{Path(f.filename).name}:{f.lineno}" for f in reversed(where)
                 if f.filename.endswith(f"{module}.py")), "")
    message = re.sub(r"0x[0-9a-fA-F]+", "0x?", str(error).splitlines()[0] if str(error) else "")
    return f"{line} {type(error).__name__}: {message[:200]}".strip()


def run_once(name, test, program_dir, module):
    """(outcome, signature, seconds): outcome "pass", "fail" or "lost"."""
    started = time.monotonic()
    try:
        with harness.Prefix(name, program_dir=program_dir) as prefix:
            test(prefix)
    except Exception as error:  # one failing test must not stop the others
        if os.environ.get("TOLVA_WINE_VERBOSE") == "1":
            traceback.print_exception(error)
        outcome = "lost" if isinstance(error, harness.HarnessLost) else "fail"
        return outcome, signature(error, module), time.monotonic() - started
    return "pass", "", time.monotonic() - started


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        return 2
    module_name = argv[1]
    module = importlib.import_module(module_name)
    tests = [(name, fn) for name, fn in vars(module).items() if name.startswith("test_") and callable(fn)]
    if len(argv) > 2:
        tests = [(name, fn) for name, fn in tests if name in argv[2:]]
    run_slow = os.environ.get("TOLVA_WINE_SLOW") == "1"
    retries = os.environ.get("TOLVA_WINE_RETRY") != "0"
    known = known_flaky()
    results = results_path()

    # A module may run another build of the program: its PROGRAM_DIR names that build's folder.
    program_dir = getattr(module, "PROGRAM_DIR", None)
    harness.check_build(program_dir=program_dir)
    for attempt in (1, 2):  # set-up the harness lost is tried once more
        try:
            harness.ensure_template()
            harness.ensure_display()
            break
        except harness.HarnessLost as error:
            print(f"set-up lost: {error}" + (" (once more)" if attempt == 1 else ""), flush=True)
            if attempt == 2 or not retries:
                raise
    print(f"{module_name}: the {harness.ARCH} program of {program_dir or harness.PROGRAM_DIR}", flush=True)
    passed = failed = 0
    try:
        for name, test in tests:
            if name.endswith("_slow") and not run_slow:
                print(f"SKIP {name} (slow: TOLVA_WINE_SLOW=1 runs it)", flush=True)
                continue
            outcome, sig, seconds = run_once(name, test, program_dir, module_name)
            entry = dict(module=module_name, arch=harness.ARCH, test=name, first=outcome, seconds=round(seconds, 1))
            second = None
            if outcome != "pass":
                entry["signature"] = sig
                listed = next((reason for pattern, reason in known.get(name, ()) if pattern.search(sig)), None)
                if listed:
                    entry["known_flaky"] = listed
                # Only a lost run, or a listed flaky failure, may run once more: a failed check
                # is the program's (or the test's) fault and stands.
                if retries and (outcome == "lost" or listed):
                    why = "the harness lost it" if outcome == "lost" else f"known flaky: {listed}"
                    print(f"{outcome.upper()} {name} ({seconds:.1f} s) {sig} (runs once more: {why})", flush=True)
                    second, sig2, seconds = run_once(name, test, program_dir, module_name)
                    entry["retry"] = second
                    if second != "pass":
                        entry["retry_signature"] = sig2
                    outcome, sig = second, sig2
            record(results, entry)
            if outcome == "pass":
                passed += 1
                print(f"PASS {name} ({seconds:.1f} s)" + (" on its second run" if second else ""), flush=True)
            else:
                failed += 1
                print(f"{'LOST' if outcome == 'lost' else 'FAIL'} {name} ({seconds:.1f} s) {sig}", flush=True)
    finally:
        harness.stop_display()
    print(f"{passed} passed, {failed} failed (results: {results})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
