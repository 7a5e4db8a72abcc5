#!/usr/bin/env python3
"""Benchmark: program sizes of both builds against the size goal, and for the x86_64 build under
Wine the start-up milestones, the time a switch request takes, the time from a killed second copy to
its replacement's window, idle processor time and working sets
of both copies, beside the working set of an empty dialog program (tests/wine/empty_dialog.cpp,
built with the same flags and manifest) started in the same prefix: the floor Wine itself sets.
The first copy's resident memory is then split by mapping (each DLL or file, Wine's Unix heap, the
remaining anonymous memory) against the empty dialog's, to show what the difference is made of.
Prints tables and, last, one line of JSON. Goals are judged by reading this output.

    . tools/wine-env.sh; python3 tools/bench.py [--idle SECONDS] [--switches N]
"""
import argparse
import json
import os
import shutil
import signal
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "wine"))
import harness  # noqa: E402

REPO = harness.REPO
WM_COMMAND, WM_CLOSE = 0x111, 0x10
SIZE_GOAL = 117760  # bytes (115 KiB), each program
EMPTY_DIALOG = "empty_dialog.exe"
# Differences smaller than this stay out of the breakdown table.
BREAKDOWN_MIN_KIB = 64


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


def linux_pid(p, exe):
    for pid in harness.prefix_processes(p.path):
        try:
            if exe.encode() in Path(f"/proc/{pid}/cmdline").read_bytes():
                return pid
        except OSError:
            continue
    return None


def linux_status(pid):
    """Resident memory of a Linux process in bytes (VmRSS, RssAnon, RssFile) and its thread count."""
    fields = {}
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        key, _, value = line.partition(":")
        fields[key] = value.split()
    kib = {key: int(fields[key][0]) * 1024 for key in ("VmRSS", "RssAnon", "RssFile")}
    return dict(kib, Threads=int(fields["Threads"][0]))


def resident_by_mapping(pid):
    """Resident KiB per mapping name: a file's base name (DLLs, fonts, locale tables), [heap] (the
    Unix side's malloc arena), [stack], or "anonymous" (Windows heaps, thread stacks, the program's
    own sections, which Wine copies into anonymous memory)."""
    totals = {}
    name = None
    for line in Path(f"/proc/{pid}/smaps").read_text().splitlines():
        head = line.split(None, 5)
        if "-" in head[0] and not head[0].endswith(":"):
            name = head[5].rsplit("/", 1)[-1] if len(head) > 5 else "anonymous"
            if name.startswith("[anon") or name.startswith("SYSV"):
                name = "anonymous"
        elif head[0] == "Rss:":
            totals[name] = totals.get(name, 0) + int(head[1])
    return totals


def empty_dialog_floor(p, first_linux_pid):
    """Starts the empty dialog in the prefix p (whose first copy runs) and compares the two."""
    source = harness.WIN64_DIR / EMPTY_DIALOG
    harness.check(source.is_file(), f"{source} is missing: build the x86_64 configuration")
    shutil.copy2(source, p.dir / EMPTY_DIALOG)
    p.start(exe=EMPTY_DIALOG)
    dialog = p.find("empty dialog", 20000)
    time.sleep(3)  # let it settle as the first copy has
    empty_pid = linux_pid(p, EMPTY_DIALOG)
    harness.check(empty_pid is not None, "the empty dialog's process was not found")
    result = {
        "working_set_empty_dialog": mem_bytes(p.driver("mem", p.pid(dialog))[1]),
        "first": linux_status(first_linux_pid),
        "empty_dialog": linux_status(empty_pid),
    }
    first, empty = resident_by_mapping(first_linux_pid), resident_by_mapping(empty_pid)
    rows = [(name, first.get(name, 0), empty.get(name, 0)) for name in set(first) | set(empty)]
    rows = [r for r in rows if abs(r[1] - r[2]) >= BREAKDOWN_MIN_KIB]
    rows.sort(key=lambda r: r[2] - r[1])
    result["breakdown_kib"] = {name: [a, b] for name, a, b in rows}
    p.send(dialog, WM_CLOSE)
    harness.wait_until(lambda: p.procs_named(EMPTY_DIALOG) == 0, 20, message="the empty dialog did not end")
    return result


def linux_cpu_ms(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000.0 / os.sysconf("SC_CLK_TCK")


def second_copy_pid(p):
    for hwnd, pid, visible, title in p.windows("desk new"):
        if title == "desk new":
            return pid
    return None


def second_copy_comeback(p, kills=3):
    """Kills the second copy (SIGKILL, a crash to Wine) and times until its replacement's window is
    on "desk new"; the first copy restarts at most three in five minutes, so three kills at most."""
    times = []
    for _ in range(kills):
        old = second_copy_pid(p)
        unix = linux_copies(p).get("second")
        harness.check(old is not None and unix is not None, "no second copy to kill")
        os.kill(unix, signal.SIGKILL)
        killed = time.monotonic()
        harness.wait_until(lambda: second_copy_pid(p) not in (None, old), 30, 0.05,
                           "the second copy was not replaced within 30 s")
        times.append((time.monotonic() - killed) * 1000.0)
        time.sleep(3)  # let it settle and say hello before the next kill
    return {"comeback_median_ms": round(statistics.median(times), 1), "comeback_max_ms": round(max(times), 1),
            "comeback_count": kills}


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
                result.update(second_copy_comeback(p))
                floor = empty_dialog_floor(p, copies["first"])
                result.update({
                    "working_set_empty_dialog": floor["working_set_empty_dialog"],
                    "anon_first": floor["first"]["RssAnon"],
                    "anon_empty_dialog": floor["empty_dialog"]["RssAnon"],
                    "file_first": floor["first"]["RssFile"],
                    "file_empty_dialog": floor["empty_dialog"]["RssFile"],
                    "threads_first": floor["first"]["Threads"],
                    "threads_empty_dialog": floor["empty_dialog"]["Threads"],
                    "breakdown_kib": floor["breakdown_kib"],
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


def share(size):
    return f"{100.0 * size / SIZE_GOAL:.0f}% of the {SIZE_GOAL:,}-byte goal"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--idle", type=float, default=60.0, help="seconds of idle measurement")
    parser.add_argument("--switches", type=int, default=200)
    parser.add_argument("--starts", type=int, default=3, help="starts whose milestones are taken (median)")
    args = parser.parse_args()
    r = run(args.idle, args.switches, args.starts)
    rows = [
        ("program size, i686", f"{r['size_win32']:,} bytes, {share(r['size_win32'])}"),
        ("program size, x86_64", f"{r['size_win64']:,} bytes, {share(r['size_win64'])}"),
        ("start to main window", f"{r['start_to_window_ms']} ms"),
        ("start to banner readable", f"{r['start_to_banner_ms']} ms"),
        ("start to \"Making desk new..\"", f"{r['start_to_making_ms']} ms"),
        ("start to \"desk new ok\"", f"{r['start_to_ready_ms']} ms"),
        (f"switch request, median of {r['switch_count']}", f"{r['switch_median_us']} us (p90 {r['switch_p90_us']} us)"),
        (f"killed second copy to its replacement's window, median of {r['comeback_count']}",
         f"{r['comeback_median_ms']} ms (max {r['comeback_max_ms']} ms)"),
        (f"idle processor time over {r['idle_seconds']:.0f} s, first copy", f"{r['idle_cpu_ms_first']} ms"),
        (f"idle processor time over {r['idle_seconds']:.0f} s, second copy", f"{r['idle_cpu_ms_second']} ms"),
        ("working set, first copy / empty dialog", f"{r['working_set_first']:,} / {r['working_set_empty_dialog']:,} bytes"),
        ("working set, second copy", f"{r['working_set_second']:,} bytes"),
        ("anonymous resident, first copy / empty dialog", f"{r['anon_first']:,} / {r['anon_empty_dialog']:,} bytes"),
        ("file-backed resident, first copy / empty dialog", f"{r['file_first']:,} / {r['file_empty_dialog']:,} bytes"),
        ("threads, first copy / empty dialog", f"{r['threads_first']} / {r['threads_empty_dialog']}"),
    ]
    width = max(len(a) for a, _ in rows)
    print("| measure | value |\n|---|---|")
    for a, b in rows:
        print(f"| {a.ljust(width)} | {b} |")
    print(f"\nResident memory by mapping, first copy against the empty dialog (differences of "
          f"{BREAKDOWN_MIN_KIB} KiB or more):\n")
    print("| mapping | first copy KiB | empty dialog KiB | difference KiB |\n|---|---|---|---|")
    for name, (first, empty) in r["breakdown_kib"].items():
        print(f"| {name} | {first} | {empty} | {first - empty:+} |")
    print(json.dumps(r, sort_keys=True))


if __name__ == "__main__":
    main()
