"""The named events between the copies under Wine: the already-running dialog's commands, the
first copy's listener, a refused switch and the readiness balloon, the tray icon's restart and
hiding, and the first copy's handles over a long run."""

import os
import re
import signal
import time

from harness import SC_MINIMIZE, WM_COMMAND, WM_HOTKEY, WM_SYSCOMMAND, WS_MINIMIZE, check, wait_until
from tolva import (BALLOON_TITLE, DESK_N_OK, EVENT_FAILED, EXIT_TOLVA, HELLO, HIDE_M, HK_TRAY, IDC_CANCEL,
                   IDC_EXIT, IDC_LOG, IDC_SWITCH, IDC_TRAY, MAIN_TITLE, MARKER_EVENT, MARKER_TAKEN, OK_BALLOON,
                   ON_DEFAULT, ON_NEW, Q_DEAD_COUNT, Q_SWITCH_REFUSED, Q_SWITCH_STATE, Q_TRAY_SHOWN, RUNNING_TITLE,
                   SWITCH_DESK, TASKBAR_RESTARTED, UPDATE_FAILED, WM_TOLVA_QUERY, balloons, first_copy_cpu_seconds,
                   log, no_balloon_for, open_running_dialog, query, samples, second_copy_pid, start_first_copy,
                   tray_holds_icons, unix_pids, wait_ready)
from tolva import READY as READY_LINE, REFUSED as REFUSED_LINE


def driver_out(p, *args):
    rc, out = p.driver(*args)
    check(rc == 0, f"driver {' '.join(map(str, args))} failed ({rc}): {out.strip()}")
    return out


def ended(proc, timeout=20, what="process"):
    wait_until(lambda: proc.poll() is not None, timeout, 0.2, f"{what} did not end")


IDOK = 1
BOX_TEXT_ID = 0xFFFF  # a message box's text control


def test_running_dialog_exit_ends_everything_and_dialog_alone_does_nothing(p):
    first, hwnd = start_first_copy(p)
    wait_ready(p, hwnd)
    wait_until(lambda: p.procs_named() == 2, 20, 0.3, "the second copy is not running")

    dialog_proc, dialog = open_running_dialog(p)
    # Follows the log up to the first copy's end, when nothing can be read any more.
    watcher, line = p.driver_background("last-text", hwnd, IDC_LOG, "C:\\tolva2\\last.txt", 60000)
    check(line == "watching", f"log watcher did not start: {line}")
    p.click(dialog, IDC_EXIT)
    ended(dialog_proc, what="the dialog's process")
    ended(first, what="the first copy after 退出")
    ended(watcher, what="the log watcher")
    last = (p.dir / "last.txt").read_bytes().decode("utf-8")
    exit_lines = "WAIT_OBJECT_0+1\r\ntolva exit\r\n"
    check(exit_lines in last, f"the log before the end lacks the exit lines: {last[-200:]!r}")
    check(last.split(exit_lines)[-1] in ("", "WM_DESTROY:\r\n"),
          f"unexpected lines after the exit lines: {last.split(exit_lines)[-1]!r}")
    wait_until(lambda: p.procs_named() == 0, 20, 0.3, "a tolva2.exe is left after the exit")
    for name in (SWITCH_DESK, EXIT_TOLVA, HIDE_M):
        check(not p.signal(name), f"{name!r} can still be signalled after the exit")

    # With the marker held but no first copy, each command closes the dialog and nothing else.
    holder, line = p.driver_background("hold-event", MARKER_EVENT, 120000)
    check(line == "held", f"driver could not hold the marker: {line}")
    for button in (IDC_SWITCH, IDC_TRAY, IDC_EXIT):
        proc, dialog = open_running_dialog(p)
        p.click(dialog, button)
        ended(proc, what=f"the dialog's process after button {button}")
        check(proc.returncode == 0, f"button {button} ended the dialog's process with {proc.returncode}")
        check(p.try_find(RUNNING_TITLE) is None, f"button {button} left the dialog open")
    check(p.try_find(MAIN_TITLE) is None, "a first copy appeared")
    check(p.procs_named() == 0, "a tolva2.exe is left")
    for name in (SWITCH_DESK, EXIT_TOLVA, HIDE_M):
        check(not p.event_exists(name), f"the dialog created {name!r}")
    holder.kill()
    holder.wait()

    # A marker the start may not open, as an elevated first copy's is to a normal start, still
    # means "already running".
    holder, line = p.driver_background("hold-event", MARKER_EVENT, 120000, "D:P(A;;0x00100000;;;WD)")
    check(line == "held", f"driver could not hold the closed marker: {line}")
    proc, dialog = open_running_dialog(p)
    p.click(dialog, IDC_CANCEL)
    ended(proc, what="the dialog's process beside a closed marker")
    check(p.try_find(MAIN_TITLE) is None, "a closed marker let a second first copy start")
    holder.kill()
    holder.wait()

    # A marker whose name another program holds as a mutex cannot tell whether a first copy
    # runs: the start stops and says why.
    holder, line = p.driver_background("squat", MARKER_EVENT, "mutex", 120000)
    check(line == "held", f"driver could not hold the marker's name as a mutex: {line}")
    proc = p.start()
    box = p.find(BALLOON_TITLE, 20000)
    check(p.text(box, BOX_TEXT_ID) == MARKER_TAKEN, f"message box says {p.text(box, BOX_TEXT_ID)!r}")
    p.click(box, IDOK)
    ended(proc, what="the start beside a marker held as a mutex")
    check(proc.returncode == 1, f"the stopped start ended with {proc.returncode}")
    check(p.try_find(MAIN_TITLE) is None and p.try_find(RUNNING_TITLE) is None, "the start went on after the box")
    holder.kill()


def test_existing_event_is_reported_and_dialog_hide_toggles_tray(p):
    # Held from outside, "hide m" exists before the first copy creates it.
    holder, line = p.driver_background("hold-event", HIDE_M, 300000)
    check(line == "held", f"driver could not hold {HIDE_M!r}: {line}")
    first, hwnd = start_first_copy(p)
    wait_ready(p, hwnd)
    created = [l for l in log(p, hwnd).splitlines(keepends=True) if l.startswith("CreateEvent")]
    check(created == ["CreateEvent eventsStr[3]hide m return ERROR_ALREADY_EXISTS \r\n"],
          f"CreateEvent lines: {created!r}")
    check(query(p, hwnd, Q_TRAY_SHOWN) == 1 and tray_holds_icons(p), "the tray icon is not shown")

    # A further start while the dialog is minimized brings it back normal and ends by itself.
    dialog_proc, dialog = open_running_dialog(p)
    p.send(dialog, WM_SYSCOMMAND, SC_MINIMIZE)
    wait_until(lambda: p.style(dialog) & WS_MINIMIZE, 10, message="the dialog did not minimize")
    further = p.start()
    ended(further, what="the further start")
    check(not p.style(dialog) & WS_MINIMIZE and p.visible(dialog), "the open dialog was not shown normal")

    # The existing event serves as the first copy's own: the dialog's button reaches it.
    p.click(dialog, IDC_TRAY)
    ended(dialog_proc, what="the dialog's process")
    wait_until(lambda: query(p, hwnd, Q_TRAY_SHOWN) == 0, 10, 0.2, "隐藏 did not remove the tray icon")
    check(not p.visible(hwnd), "隐藏 did not hide the window")
    check(not tray_holds_icons(p), "the icon is still in Wine's tray")

    dialog_proc, dialog = open_running_dialog(p)
    p.click(dialog, IDC_TRAY)
    ended(dialog_proc, what="the dialog's process")
    wait_until(lambda: query(p, hwnd, Q_TRAY_SHOWN) == 1, 10, 0.2, "the second press did not add the icon")
    wait_until(lambda: tray_holds_icons(p), 10, 0.2, message="the icon is not back in Wine's tray")
    check(not p.visible(hwnd), "the second press showed the window")
    check(first.poll() is None, "the first copy ended")
    holder.kill()


def test_switch_before_ready_is_refused_then_readiness_shows_balloon(p):
    p.start()
    # One driver run finds the window and sends at once: the request lands during start-up or
    # in the second after it, before the creation thread has made "desk new".
    rc, out = p.driver("sends", MAIN_TITLE, WM_COMMAND, IDC_SWITCH, 0, WM_TOLVA_QUERY, Q_SWITCH_REFUSED, 0)
    # The first answer is WM_COMMAND's, which nobody reads; the second is the refusal flag.
    check(rc == 0 and out.split()[1:] == ["1"], f"early switch not refused ({rc}): {out.split()}")
    hwnd = p.find(MAIN_TITLE)
    wait_ready(p, hwnd)
    text = log(p, hwnd)
    check(text.count(REFUSED_LINE) == 1, f"refusal line count {text.count(REFUSED_LINE)}: {text!r}")
    check(text.index(REFUSED_LINE) < text.index(READY_LINE), "refusal logged after readiness")

    seen = set()

    def ok_balloon(exclude=None):
        for row in balloons(p):
            seen.add(row[1:])
            if row[2] == OK_BALLOON and row[0] != exclude:
                return row
        return None

    first = wait_until(ok_balloon, 30, 0.3, "no balloon 启动已OK after the refused switch")
    check(first[1], f"the balloon is not titled {BALLOON_TITLE}")

    # A later readiness report, here from the driver, shows it again with its log line.
    check(p.signal(DESK_N_OK), "could not signal desk n ok")
    wait_until(lambda: log(p, hwnd).count(READY_LINE) == 2, 10, 0.2, "no log line for the second report")
    second = wait_until(lambda: ok_balloon(first[0]), 30, 0.3, "no new balloon for the second report")
    check(second[1], f"the second balloon is not titled {BALLOON_TITLE}")
    check(seen <= {(True, OK_BALLOON), (True, REFUSED_LINE)}, f"unexpected balloons: {seen!r}")
    check(query(p, hwnd, Q_SWITCH_REFUSED) == 1, "switchRefused fell back")

    # With the icon away a report's balloon shows nothing and brings no icon; the icon added
    # again afterwards carries no balloon of its own.
    p.send(hwnd, WM_HOTKEY, HK_TRAY)
    check(query(p, hwnd, Q_TRAY_SHOWN) == 0, "Ctrl+Alt+H did not hide")
    wait_until(lambda: not balloons(p), 10, 0.2, "the balloon outlived its icon")
    check(p.signal(DESK_N_OK), "could not signal desk n ok")
    wait_until(lambda: log(p, hwnd).count(READY_LINE) == 3, 10, 0.2, "no log line for the third report")
    p.send(hwnd, WM_HOTKEY, HK_TRAY)
    check(query(p, hwnd, Q_TRAY_SHOWN) == 1, "Ctrl+Alt+H did not add")
    check(tray_holds_icons(p), "the icon is not back in Wine's tray")
    no_balloon_for(p)


def test_readiness_without_refusal_and_taskbar_restart(p):
    first, hwnd = start_first_copy(p)
    wait_ready(p, hwnd)
    check(query(p, hwnd, Q_SWITCH_REFUSED) == 0, "switchRefused set without a refused switch")

    # Without a refused switch a readiness report is a log line only.
    check(p.signal(DESK_N_OK), "could not signal desk n ok")
    wait_until(lambda: log(p, hwnd).count(READY_LINE) == 2, 10, 0.2, "no log line for the report")
    no_balloon_for(p)

    # Without the second copy's hello, deadCount counts the first copy's ticks. Hung, not killed:
    # an ended second copy is replaced within seconds.
    hung = unix_pids(p, "makedesktop")
    check(len(hung) == 1, f"expected one second copy process: {hung}")
    os.kill(hung[0], signal.SIGSTOP)
    wait_until(lambda: query(p, hwnd, Q_DEAD_COUNT) >= 2, 15, 0.3, "deadCount does not count ticks")

    def taskbar_created():
        """Sends "TaskbarCreated" between two reads of deadCount; returns (trayShown just after,
        whether no tick came between) and the deadCount after it."""
        rc, out = p.driver("sends", hwnd, WM_TOLVA_QUERY, Q_DEAD_COUNT, 0, "TaskbarCreated", 0, 0,
                           WM_TOLVA_QUERY, Q_TRAY_SHOWN, 0, WM_TOLVA_QUERY, Q_DEAD_COUNT, 0)
        check(rc == 0, f"sends failed: {out}")
        before, _, shown, after = (int(v) for v in out.split())
        return shown, before == after, after

    # The notice clears trayShown at once; a tick between the reads may have re-added it already.
    for _ in range(5):
        shown, untouched, dead = taskbar_created()
        if untouched:
            check(shown == 0, "trayShown not cleared by TaskbarCreated")
            break
    else:
        check(False, "a tick came between the reads five times in a row")
    notices = log(p, hwnd).count(TASKBAR_RESTARTED)
    check(notices >= 1, "no log line for TaskbarCreated")

    # The tick re-adds the icon: whenever a tick has run since, the icon is back.
    def readded():
        shown_now, dead_now = (int(v) for v in driver_out(p, "sends", hwnd, WM_TOLVA_QUERY, Q_TRAY_SHOWN, 0,
                                                          WM_TOLVA_QUERY, Q_DEAD_COUNT, 0).split())
        check(dead_now == dead or shown_now == 1, f"tick {dead_now} left trayShown {shown_now}")
        return dead_now >= dead + 2
    wait_until(readded, 15, 0.2, "no ticks after TaskbarCreated")
    check(tray_holds_icons(p), "the icon is not in Wine's tray")

    # Hidden by Ctrl+Alt+H, the icon stays away over ticks and over a further restart notice.
    p.send(hwnd, WM_HOTKEY, HK_TRAY)
    check(query(p, hwnd, Q_TRAY_SHOWN) == 0 and not p.visible(hwnd), "Ctrl+Alt+H did not hide")
    p.sendreg(hwnd, "TaskbarCreated")
    hidden_at = query(p, hwnd, Q_DEAD_COUNT)
    wait_until(lambda: query(p, hwnd, Q_DEAD_COUNT) >= hidden_at + 3, 15, 0.3, "no ticks while hidden")
    check(query(p, hwnd, Q_TRAY_SHOWN) == 0, "a tick re-added the hidden icon")
    check(not tray_holds_icons(p), "the hidden icon is in Wine's tray")
    check(log(p, hwnd).count(TASKBAR_RESTARTED) == notices + 1, "no log line for the second notice")

    p.send(hwnd, WM_HOTKEY, HK_TRAY)
    check(query(p, hwnd, Q_TRAY_SHOWN) == 1, "Ctrl+Alt+H did not add the icon again")
    check(not p.visible(hwnd), "Ctrl+Alt+H showed the window")

    # 401 notices make 401 more log lines. Whenever the log holds more than 400 lines (as the edit
    # control counts them, wrapped ones included) an append first drops its oldest 2000
    # characters: what is left is the whole text without a multiple of 2000 characters at its
    # start, down to the last line whole.
    before = log(p, hwnd)
    rc, out = p.driver("sends", hwnd, *(["TaskbarCreated", 0, 0] * 401))
    check(rc == 0 and len(out.split()) == 401, f"the 401 notices were not all delivered ({rc}): {out[:80]!r}")
    after = log(p, hwnd)
    full = before + "explorer restarted..\r\n" * 401
    dropped = len(full) - len(after)
    check(dropped >= 2000 and dropped % 2000 == 0, f"{dropped} characters dropped from {len(full)}")
    check(after == full[dropped:], f"the log is not the whole text less its start: ...{after[-60:]!r}")
    check(first.poll() is None, "the first copy ended")
    os.kill(hung[0], signal.SIGCONT)  # a stopped process would outlive its prefix


def test_handle_counts_stay_flat_over_ticks_and_signals(p):
    first, hwnd = start_first_copy(p)
    wait_ready(p, hwnd)
    # The update worker is the last start-up activity that opens handles.
    wait_until(lambda: UPDATE_FAILED in log(p, hwnd), 40, 0.5, "the update worker did not finish")
    pids = {"first copy": p.pid(hwnd), "second copy": second_copy_pid(p)}

    def counts():
        return {name: int(driver_out(p, "handles", pid)) for name, pid in pids.items()}

    def settled():
        first_count = counts()
        time.sleep(5)
        return first_count if counts() == first_count else None

    # The fetch lets its last handle go a few seconds after its failure line: count from then on.
    before = wait_until(settled, 40, 0, "the handle counts did not settle after start-up")
    # A count of signals, however fast the driver starts; then ticks up to a minute in all.
    started = time.monotonic()
    signals, toggles, switches = 200, 0, 0
    for n in range(1, signals + 1):
        check(p.signal(HELLO), "could not signal hello")
        if n % 40 == 0:
            check(p.signal(HIDE_M), "could not signal hide m")
            toggles += 1
        if n % 70 == 0:
            check(p.signal(SWITCH_DESK), "could not signal switch desk")
            switches += 1
    time.sleep(max(0.0, 60 - (time.monotonic() - started)))
    # Leave the window shown and "Default" current as at the first count.
    if toggles % 2:
        p.signal(HIDE_M)
    if switches % 2:
        p.signal(SWITCH_DESK)
    wait_until(lambda: query(p, hwnd, Q_TRAY_SHOWN) == 1 and query(p, hwnd, Q_SWITCH_STATE) == 1, 10, 0.3,
               "the first copy did not settle back")
    after = counts()
    check(after == before, f"handle counts changed over {signals} signals and the ticks: {before} -> {after}")
    check(first.poll() is None, "the first copy ended")


def test_foreign_manual_reset_switch_desk_wakes_the_listener_once(p):
    # A neighbour took "switch desk" first as a manual-reset event and left it signalled.
    holder, line = p.driver_background("squat", SWITCH_DESK, "manual-set", 300000)
    check(line == "held", f"driver could not hold {SWITCH_DESK!r}: {line}")
    first, hwnd = start_first_copy(p)
    wait_ready(p, hwnd)
    before = first_copy_cpu_seconds(p)
    time.sleep(5)
    used = first_copy_cpu_seconds(p) - before
    # A bound on a spinning listener (it used over 3 s), not a speed goal.
    check(used < 0.5, f"the first copy used {used:.2f} s of processor time in 5 s")
    states = samples(p, hwnd, Q_SWITCH_STATE, 3, 0.3)
    check(set(states) == {ON_DEFAULT}, f"the shown desktop flapped: {states}")
    check(log(p, hwnd).count(REFUSED_LINE) <= 1, f"{log(p, hwnd).count(REFUSED_LINE)} refusal lines")

    # The name still carries requests, one switch each.
    for expected in (ON_NEW, ON_DEFAULT):
        check(p.signal(SWITCH_DESK), "could not signal switch desk")
        wait_until(lambda: query(p, hwnd, Q_SWITCH_STATE) == expected, 10, 0.2, f"no switch to state {expected}")
        states = samples(p, hwnd, Q_SWITCH_STATE, 2, 0.3)
        check(set(states) == {expected}, f"one signal made more than one switch: {states}")
    check(first.poll() is None, "the first copy ended")
    holder.kill()


def test_name_held_as_mutex_silences_only_itself(p):
    holder, line = p.driver_background("squat", HIDE_M, "mutex", 300000)
    check(line == "held", f"driver could not hold {HIDE_M!r} as a mutex: {line}")
    first, hwnd = start_first_copy(p)
    # "desk n ok" arrives: the listener waits on the other four.
    wait_ready(p, hwnd)
    text = log(p, hwnd)
    failed = [l for l in text.splitlines(keepends=True) if l.startswith("CreateEvent") or l == "WAIT_FAILED\r\n"]
    check(failed == [EVENT_FAILED.format(3, HIDE_M)], f"CreateEvent and wait lines: {failed!r}")
    # Held as a mutex, the name opens as no event: the driver's open fails (not "not found").
    rc, out = p.driver("signal", HIDE_M)
    check(rc == 1, f"{HIDE_M!r} held as a mutex answered the signal with {rc}: {out.strip()}")
    # The others are open to this user only, to signal and wait on (EVENT_MODIFY_STATE |
    # SYNCHRONIZE), at medium integrity whoever created them (Wine keeps no label).
    for name in (SWITCH_DESK, EXIT_TOLVA, HELLO, DESK_N_OK):
        sddl = driver_out(p, "event-sddl", name).strip()
        check(re.fullmatch(r"D:P\(A;;0x100002;;;S-1-5-21-[-0-9]+\)(S:\(ML;;NW;;;ME\))?", sddl),
              f"{name!r} has the security {sddl!r}")

    # The second copy's hello keeps the watchdog's count down.
    dead = samples(p, hwnd, Q_DEAD_COUNT, 4, 0.5)
    check(max(dead) <= 2, f"deadCount without hello: {dead}")
    for expected in (ON_NEW, ON_DEFAULT):
        check(p.signal(SWITCH_DESK), "could not signal switch desk")
        wait_until(lambda: query(p, hwnd, Q_SWITCH_STATE) == expected, 10, 0.2, f"no switch to state {expected}")
    check(p.signal(EXIT_TOLVA), "could not signal exit tolva")
    ended(first, what="the first copy after exit tolva")
    holder.kill()
