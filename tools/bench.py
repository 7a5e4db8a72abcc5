#!/usr/bin/env python3
"""Benchmark: program sizes of both builds, and for the x86_64 build under Wine the start-up
milestones, the time a switch request takes, idle processor time and working sets of both copies.
Prints a table and, last, one line of JSON. Goals are judged by reading this output.

    . tools/wine-env.sh; python3 tools/bench.py [--idle SECONDS] [--switches N]
"""
import argparse
import json
import os
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "wine"))
import harness  # noqa: E402

REPO = harness.REPO
WM_COMMAND = 0x111


def values(text):
    out = {}
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 2:
            try:
                out[parts[0]] = float(parts[1])
            except ValueError:
                pass
    return out


def linux_copies(p):
    """Linux pids of the first and second copy (Wine reports no processor time of other processes)."""
    found = {}
    for pid in harness.prefix_processes(p.path):
        try:
            cmdline = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ")
        except OSError:
            continue
        # The second copy's command line is " makedesktop desk new 1", without the program's name.
        if b"makedesktop" in cmdline:
            found["second"] = pid
        elif b"tolva2.exe" in cmdline:
            found["first"] = pid
    return found


def linux_cpu_ms(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000.0 / os.sysconf("SC_CLK_TCK")


def second_copy_pid(p):
    for hwnd, pid, visible, title in p.windows("desk new"):
        if title == "desk new":
            return pid
    return None


def run(idle_seconds, switches, starts):
    harness.ensure_display()
    harness.ensure_template()
    result = {
        "size_win32": (REPO / "build/win32/tolva2.exe").stat().st_size,
        "size_win64": (REPO / "build/win64/tolva2.exe").stat().st_size,
    }
    timelines = []
    for i in range(starts):
        with harness.Prefix(f"bench{i}") as p:
            rc, out = p.driver("timeline", f"{harness.WIN_DIR}\\{harness.PROGRAM}", 30000, timeout=60)
            t = values(out)
            harness.check(rc == 0, f"the program did not become ready: {out!r}")
            timelines.append(t)
            if i == starts - 1:
                main = p.find("default")
                first_pid = int(t["pid"])
                harness.wait_until(lambda: second_copy_pid(p) is not None, 20, message="no second copy")
                second_pid = second_copy_pid(p)
                rc, out = p.driver("switch-bench", main, switches, timeout=120)
                s = values(out)
                copies = linux_copies(p)
                harness.check(set(copies) == {"first", "second"}, f"copies not found: {copies}")
                cpu0 = {k: linux_cpu_ms(pid) for k, pid in copies.items()}
                time.sleep(idle_seconds)
                cpu1 = {k: linux_cpu_ms(pid) for k, pid in copies.items()}
                mem = {pid: p.driver("mem", pid)[1] for pid in (first_pid, second_pid)}
                result.update({
                    "switch_median_us": s.get("median_us"),
                    "switch_p90_us": s.get("p90_us"),
                    "switch_count": switches,
                    "idle_seconds": idle_seconds,
                    "idle_cpu_ms_first": round(cpu1["first"] - cpu0["first"], 1),
                    "idle_cpu_ms_second": round(cpu1["second"] - cpu0["second"], 1),
                    "working_set_first": mem_bytes(mem[first_pid]),
                    "working_set_second": mem_bytes(mem[second_pid]),
                })
                p.send(main, WM_COMMAND, 1008)
                harness.wait_until(lambda: p.procs_named() == 0, 20, message="program did not end")
    for key in ("window", "banner", "making", "ready"):
        result[f"start_to_{key}_ms"] = round(statistics.median(t[key] for t in timelines), 1)
    result["starts"] = starts
    return result


def mem_bytes(text):
    for word in text.split():
        if word.isdigit():
            return int(word)
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--idle", type=float, default=60.0, help="seconds of idle measurement")
    parser.add_argument("--switches", type=int, default=200)
    parser.add_argument("--starts", type=int, default=3, help="starts whose milestones are taken (median)")
    args = parser.parse_args()
    r = run(args.idle, args.switches, args.starts)
    rows = [
        ("program size, i686", f"{r['size_win32']} bytes"),
        ("program size, x86_64", f"{r['size_win64']} bytes"),
        ("start to main window", f"{r['start_to_window_ms']} ms"),
        ("start to banner readable", f"{r['start_to_banner_ms']} ms"),
        ("start to \"Making desk new..\"", f"{r['start_to_making_ms']} ms"),
        ("start to \"desk new ok\"", f"{r['start_to_ready_ms']} ms"),
        (f"switch request, median of {r['switch_count']}", f"{r['switch_median_us']} us (p90 {r['switch_p90_us']} us)"),
        (f"idle processor time over {r['idle_seconds']:.0f} s, first copy", f"{r['idle_cpu_ms_first']} ms"),
        (f"idle processor time over {r['idle_seconds']:.0f} s, second copy", f"{r['idle_cpu_ms_second']} ms"),
        ("working set, first copy", f"{r['working_set_first']} bytes"),
        ("working set, second copy", f"{r['working_set_second']} bytes"),
    ]
    width = max(len(a) for a, _ in rows)
    print("| measure | value |\n|---|---|")
    for a, b in rows:
        print(f"| {a.ljust(width)} | {b} |")
    print(json.dumps(r, sort_keys=True))


if __name__ == "__main__":
    main()
