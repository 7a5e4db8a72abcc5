#!/usr/bin/env python3
"""Soak: runs the first copy with its second copy under Wine for a while, switching, hiding and
showing, signalling every event the copies listen to and replaying the taskbar restart, then exits.
Reports the first copy's handle count, GDI and USER objects and working set at start and end (and
every ten minutes), the driver runs that Wine failed to start or that ended before their command
did, which are repeated (at most three tries), and fails when a handle was gained, a message failed
or a process of the program is left behind.

    . tools/wine-env.sh; python3 tools/soak.py [--minutes 3]
"""
import argparse
import itertools
import json
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "wine"))
import harness  # noqa: E402
from harness import WM_COMMAND, WM_HOTKEY  # noqa: E402
from tolva import HK_TRAY, IDC_EXIT, IDC_LOG, IDC_SWITCH, MAIN_TITLE, NEW_DESKTOP, SECOND_TITLE  # noqa: E402
from tolva import WM_TOLVA_QUERY as QUERY  # noqa: E402
SAMPLE_EVERY = 600  # seconds


def second_copy_window(p):
    for hwnd, pid, visible, title in p.windows(NEW_DESKTOP):
        if title == SECOND_TITLE:
            return hwnd
    return None


def sample(p, pid):
    handles = int(p.driver("handles", pid)[1].split()[0])
    # GDI and USER object counts read 0 under Wine, which does not count them per process.
    gui = dict(line.split() for line in p.driver("gdi", pid)[1].splitlines() if len(line.split()) == 2)
    working_set = int(p.driver("mem", pid)[1].split()[0])
    return {"handles": handles, "gdi": int(gui.get("gdi", -1)), "user": int(gui.get("user", -1)),
            "working_set": working_set}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--minutes", type=float, default=3.0)
    args = parser.parse_args()
    harness.ensure_display()
    harness.ensure_template()
    with harness.Prefix("soak") as p:
        p.repeat_unfinished = True  # every action here bears a second try
        p.start()
        main_wnd = p.find(MAIN_TITLE, 20000)
        harness.wait_until(lambda: "desk new ok" in p.text(main_wnd, IDC_LOG), 40, message="second desktop not ready")
        second = second_copy_window(p)
        harness.check(second is not None, "no second copy window")
        pid = p.pid(main_wnd)
        # Start-up settles once the update worker's one attempt is over (ten seconds in; this
        # build's update server is a closed loopback port) and its network layer has let go of
        # its handles, a few seconds after the failure line: two counts 5 s apart agree.
        harness.wait_until(lambda: "updating failed" in p.text(main_wnd, IDC_LOG), 60,
                           message="the update attempt did not end")

        def settled():
            first = sample(p, pid)
            time.sleep(5)
            return first if sample(p, pid)["handles"] == first["handles"] else None

        start = harness.wait_until(settled, 60, 0, "the handle count did not settle after start-up")

        actions = itertools.cycle([
            ("switch", lambda: p.send(main_wnd, WM_COMMAND, IDC_SWITCH)),
            ("hide", lambda: p.send(main_wnd, WM_HOTKEY, HK_TRAY)),
            ("show", lambda: p.send(main_wnd, WM_HOTKEY, HK_TRAY)),
            ("hello", lambda: p.signal("tolva receive hello")),
            ("ready", lambda: p.signal("desk n ok")),
            ("switch-event", lambda: p.signal("switch desk")),
            ("hide-event", lambda: p.signal("hide m")),
            ("show-event", lambda: p.signal("hide m")),
            ("ack", lambda: p.signal("ndesk receive ack")),
            ("second-switch", lambda: p.send(second, WM_COMMAND, IDC_SWITCH)),
            ("taskbar", lambda: p.postreg(main_wnd, "TaskbarCreated")),
            ("taskbar-second", lambda: p.postreg(second, "TaskbarCreated")),
        ])
        counts = {}
        progress = []
        began = time.time()
        end_at = began + args.minutes * 60
        next_sample = began + SAMPLE_EVERY
        try:
            while time.time() < end_at:
                name, act = next(actions)
                act()
                counts[name] = counts.get(name, 0) + 1
                if time.time() >= next_sample:
                    next_sample += SAMPLE_EVERY
                    progress.append(dict(sample(p, pid), minute=round((time.time() - began) / 60, 1),
                                         actions=sum(counts.values()), retries=len(p.driver_start_failures) + len(p.driver_unfinished)))
                    print(f"soak: {progress[-1]}", file=sys.stderr, flush=True)
        except (harness.Failed, harness.HarnessLost, subprocess.TimeoutExpired):
            print(f"soak: stopped after {(time.time() - began) / 60:.1f} min, {sum(counts.values())} actions "
                  f"({counts}); samples {progress}; driver runs not started: {p.driver_start_failures}; "
                  f"ended early: {p.driver_unfinished}",
                  file=sys.stderr)
            raise
        # Back to the state of the start: shown, on Default.
        if p.send(main_wnd, QUERY, 3) != 1:
            p.send(main_wnd, WM_HOTKEY, HK_TRAY)
        time.sleep(3)
        end = sample(p, pid)
        alive_second = second_copy_window(p) is not None
        p.send(main_wnd, WM_COMMAND, IDC_EXIT)
        harness.wait_until(lambda: p.procs_named() == 0, 30, message="program did not end")
        left = p.procs_named()

    growth = end["handles"] - start["handles"]
    retries = p.driver_start_failures
    unfinished = p.driver_unfinished
    print("| measure | start | end |\n|---|---|---|")
    for key in ("handles", "gdi", "user", "working_set"):
        print(f"| {key} | {start[key]} | {end[key]} |")
    print(f"actions: {sum(counts.values())} over {args.minutes} min ({', '.join(f'{k} {v}' for k, v in counts.items())})")
    for row in progress:
        print(f"at {row['minute']} min: {row['actions']} actions, handles {row['handles']}, "
              f"working set {row['working_set']}")
    print(f"second copy alive at the end: {alive_second}; program processes left after exit: {left}")
    print(f"driver runs Wine did not start (repeated): {len(retries)}")
    for command, rc, err in retries:
        print(f"  {command}: exit code {rc}, stderr {err!r}")
    print(f"driver runs that ended before their command did (repeated): {len(unfinished)}")
    for command, rc, err in unfinished:
        print(f"  {command}: exit code {rc}, stderr {err!r}")
    print(json.dumps({"minutes": args.minutes, "start": start, "end": end, "handle_growth": growth,
                      "actions": counts, "second_alive": alive_second, "left": left, "samples": progress,
                      "driver_retries": len(retries), "driver_unfinished": len(unfinished)}, sort_keys=True))
    if growth != 0 or left or not alive_second:
        print("soak: FAILED", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
