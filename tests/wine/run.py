#!/usr/bin/env python3
"""Runs the integration tests of one module under Wine: python3 tests/wine/run.py [--arch ARCH] MODULE [TEST ...]

ARCH is the program under test: x86_64 (the default, or TOLVA_ARCH) or i686, the 32-bit program,
which runs under 32-bit Wine in the same WOW64 template prefix.

Every test_* function of tests/wine/MODULE.py runs in a fresh prefix of its own and gets that
Prefix as its argument. One line per test, then "N passed, N failed"; the exit code is 1 when any
test failed. A failed test runs once more in a fresh prefix (TOLVA_WINE_RETRY=0: not); both runs
are printed and it counts as failed only when both fail. Tests whose name ends in _slow (minutes long) are skipped unless TOLVA_WINE_SLOW=1.
"""

import importlib
import os
import sys
import time
import traceback
from pathlib import Path

# The program under test is chosen before the harness reads it.
if len(sys.argv) > 2 and sys.argv[1] == "--arch":
    os.environ["TOLVA_ARCH"] = sys.argv[2]
    del sys.argv[1:3]
sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        return 2
    module = importlib.import_module(argv[1])
    tests = [(name, fn) for name, fn in vars(module).items() if name.startswith("test_") and callable(fn)]
    if len(argv) > 2:
        tests = [(name, fn) for name, fn in tests if name in argv[2:]]
    run_slow = os.environ.get("TOLVA_WINE_SLOW") == "1"
    retries = 0 if os.environ.get("TOLVA_WINE_RETRY") == "0" else 1

    # A module may run another build of the program: its PROGRAM_DIR names that build's folder.
    program_dir = getattr(module, "PROGRAM_DIR", None)
    harness.check_build(program_dir=program_dir)
    harness.ensure_template()
    harness.ensure_display()
    print(f"{argv[1]}: the {harness.ARCH} program of {program_dir or harness.PROGRAM_DIR}", flush=True)
    passed = failed = retried = 0
    try:
        for name, test in tests:
            if name.endswith("_slow") and not run_slow:
                print(f"SKIP {name} (slow: TOLVA_WINE_SLOW=1 runs it)", flush=True)
                continue
            # Wine on a busy two-core machine now and then loses a start or a message in a way the
            # program never sees (a read failing a second after start): a failed test runs once more
            # in a fresh prefix, and both outcomes are printed. A real fault fails twice.
            for attempt in range(1 + retries):
                started = time.monotonic()
                try:
                    with harness.Prefix(name, program_dir=program_dir) as prefix:
                        test(prefix)
                except Exception as error:  # one failing test must not stop the others
                    where = traceback.extract_tb(error.__traceback__)
                    line = next((f"{Path(f.filename).name}:{f.lineno}" for f in reversed(where)
                                 if f.filename.endswith(f"{argv[1]}.py")), "")
                    last = attempt == retries
                    print(f"FAIL {name} ({time.monotonic() - started:.1f} s) {line}: "
                          f"{type(error).__name__}: {error}" + ("" if last else " (runs once more)"), flush=True)
                    if os.environ.get("TOLVA_WINE_VERBOSE") == "1":
                        traceback.print_exception(error)
                    if last:
                        failed += 1
                else:
                    passed += 1
                    retried += attempt > 0
                    print(f"PASS {name} ({time.monotonic() - started:.1f} s)"
                          + (" on its second run" if attempt else ""), flush=True)
                    break
    finally:
        harness.stop_display()
    if retried:
        print(f"{retried} of them passed only on a second run", flush=True)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
