"""The second desktop under Wine: its creation with the shell and the second copy, switching,
exit, the two copies watching each other, and the second copy's window."""

import os
import signal
import time

from harness import (PROGRAM_LOADER, SC_CLOSE, VK_ESCAPE, VK_RETURN, WINE64_LOADER, WM_CLOSE, WM_COMMAND,
                     WM_HOTKEY, WM_KEYDOWN, WM_LBUTTONUP, WM_SYSCOMMAND, WS_VISIBLE, check, prefix_processes,
                     wait_until)
from tolva import (BALLOON_TITLE, QUESTION_CLOSED, HK_EXIT, HK_SWITCH_ENTER, HK_SWITCH_N, HOTKEYS_FAILED, IDC_EXIT, IDC_LOG, IDC_SWITCH,
                   MAIN_TITLE, MAKING, NEW_DESKTOP, OK_BALLOON, ON_DEFAULT, ON_NEW, Q_DEAD_COUNT, Q_OK_SENT,
                   Q_SWITCH_REFUSED, Q_SWITCH_STATE, Q_TRAY_SHOWN, READY, REFUSED, RESTART, RUNNING_TITLE,
                   SECOND_COPY_RESTART, SHELL_COMMAND, SHELL_RESTART, TASKBAR_RESTARTED, WM_TRAYNOTIFY,
                   WM_TOLVA_QUERY, WORK_OPEN, balloon_texts, command_lines, log, no_balloon_for, open_running_dialog,
                   query, samples, shell_pids, start_first_copy, start_pair, started_shells, tray_holds_icons,
                   unix_pids, wait_ready, x_windows, xdotool)


WM_QUERYENDSESSION, WM_ENDSESSION, ENDSESSION_LOGOFF, ENDSESSION_CLOSEAPP = 0x0011, 0x0016, 0x80000000, 0x1
# The exit question: a message box of the first copy on Default, its text, its buttons.
MESSAGE_TEXT_ID = 0xFFFF
IDCANCEL, IDYES, IDNO = 2, 6, 7


def unix_processes(p):
    """The prefix's processes as (Unix pids, their command lines)."""
    pids, lines = [], []
    for pid in prefix_processes(p.path):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                lines.append(" ".join(f.read().decode("utf-8", "replace").split("\0")))
            pids.append(pid)
        except OSError:
            continue
    return pids, lines


def shown(p, hwnd):
    # IsWindowVisible is false for every window of a desktop that is not the input one.
    return bool(p.style(hwnd) & WS_VISIBLE)


def test_creation_starts_shell_and_second_copy_on_new_desktop(p):
    proc, main, second = start_pair(p)

    text = log(p, main)
    check(text.count(MAKING) == 1 and text.count(READY) == 1,
          f"expected one creation line and one readiness line: {text!r}")
    check(text.index(MAKING) < text.index(READY), "readiness logged before the creation line")

    # The second copy's window lives on "desk new" only: invisible to the Default desktop.
    check(NEW_DESKTOP not in [w[3] for w in p.windows()], "the second copy's window is on Default")
    check([w[3] for w in p.windows(NEW_DESKTOP)].count(NEW_DESKTOP) == 1,
          "expected one second-copy window on desk new")
    check(p.text(second) == NEW_DESKTOP, "second copy's title differs")
    check(p.pid(second) != p.pid(main), "the second copy's window belongs to the first copy")
    check(p.procs_named() == 2, f"expected two program processes, found {p.procs_named()}")

    lines = command_lines(p)
    check(any(line.split() == ["makedesktop", "desk", "new", "1"] for line in lines),
          f"no second copy started with makedesktop, desk new, 1: {lines}")
    check(started_shells(p) == 1, f"expected one shell started on desk new: {lines}")
    # The shell is the 64-bit explorer of the Windows folder whatever the program's kind (only
    # system32 is redirected for a 32-bit program); the second copy is of the program's own kind:
    # a 32-bit program's runs under the 32-bit loader.
    loaders = command_lines(p, with_loader=True)
    shell_loaders = [loader for loader, line in loaders if line == SHELL_COMMAND]
    check(shell_loaders == [WINE64_LOADER], f"the shell does not run under {WINE64_LOADER}: {loaders}")
    copy_loaders = {loader for loader, line in loaders if line.split()[-4:] == ["makedesktop", "desk", "new", "1"]}
    check(copy_loaders == {PROGRAM_LOADER}, f"the second copy does not run under {PROGRAM_LOADER}: {loaders}")

    check(query(p, second, Q_TRAY_SHOWN) == 1, "the second copy's tray icon was not added")
    check(query(p, second, Q_OK_SENT) == 1, "the second copy did not note its readiness")
    check(tray_holds_icons(p, NEW_DESKTOP), "no icon in the tray of desk new")

    # Each copy hears the other once a second, so neither counter gets far.
    first_counts = samples(p, main, Q_DEAD_COUNT, 5)
    second_counts = [query(p, second, Q_DEAD_COUNT) for _ in range(4)]
    check(max(first_counts) < 3, f"first copy's counter not reset by the hellos: {first_counts}")
    check(max(second_counts) < 3, f"second copy's counter not reset by the acks: {second_counts}")
    check(query(p, main, Q_SWITCH_REFUSED) == 0, "a switch counted as refused without any request")
    check(proc.poll() is None and p.exists(second), "a copy ended")

    # The shell crashes (a kill from Linux is one to Wine): within a few ticks a new one runs.
    old_shells = shell_pids(p)
    check(len(old_shells) == 1, f"expected one started shell: {command_lines(p)}")
    os.kill(old_shells[0], signal.SIGKILL)
    wait_until(lambda: SHELL_RESTART in log(p, main), 10, 0.3, "the ended shell was not restarted")
    wait_until(lambda: len(shell_pids(p)) == 1 and shell_pids(p) != old_shells, 20, 0.5,
               f"no new shell on desk new: {command_lines(p)}")
    check(log(p, main).count(SHELL_RESTART) == 1, f"the shell was restarted more than once: {log(p, main)!r}")

    # Logoff: both copies say yes at once; once the session ends nothing is restarted or ended,
    # not even a shell the system has ended first. A cancelled logoff lets the watch go on.
    for window in (main, second):
        check(p.send(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == 1, "WM_QUERYENDSESSION not answered yes")
        p.send(window, WM_ENDSESSION, 1, ENDSESSION_LOGOFF)
    ended = shell_pids(p)
    os.kill(ended[0], signal.SIGKILL)
    time.sleep(4)
    check(log(p, main).count(SHELL_RESTART) == 1 and not shell_pids(p), "a shell was started while the session ends")
    check(proc.poll() is None and p.exists(second) and query(p, main, Q_SWITCH_STATE) == ON_DEFAULT,
          "the session's end ended or switched something")
    for window in (main, second):
        p.send(window, WM_ENDSESSION, 0, ENDSESSION_LOGOFF)
    wait_until(lambda: log(p, main).count(SHELL_RESTART) == 2 and len(shell_pids(p)) == 1, 20, 0.5,
               "the shell was not restarted after the logoff was cancelled")
    # A cancelled logoff with an empty desk new says nothing.
    no_balloon_for(p, text=WORK_OPEN)

    # The Restart Manager asks and then does not close the program: the session is not ending,
    # so a shell that ends is still brought back.
    for window in (main, second):
        check(p.send(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP) == 1, "the close request not answered yes")
        p.send(window, WM_ENDSESSION, 0, ENDSESSION_CLOSEAPP)
    old_shells = shell_pids(p)
    os.kill(old_shells[0], signal.SIGKILL)
    wait_until(lambda: log(p, main).count(SHELL_RESTART) == 3 and len(shell_pids(p)) == 1, 20, 0.5,
               f"the shell was not restarted after the close request was dropped: {log(p, main)!r}")

    # The Restart Manager closes the program: both copies leave as "exit anyway" does, and the
    # user's program on desk new stays.
    rc, out = p.driver("start-on", NEW_DESKTOP, "notepad.exe")
    check(rc == 0, f"notepad did not start on desk new: {out.strip()}")
    notepad = wait_until(lambda: next((w for w in p.windows(NEW_DESKTOP)
                                       if w[1] == int(out) and w[3] and shown(p, w[0])), None),
                         20, 0.3, "notepad's window did not come up on desk new")
    # It closes the program while the exit question, asked from desk new, is open: the close goes
    # on, and the question's answer brings nobody back to a desk new that is being ended.
    p.send(main, WM_COMMAND, IDC_SWITCH, 0)
    check(query(p, main, Q_SWITCH_STATE) == ON_NEW, "did not switch to desk new")
    exit_question(p, main, WM_COMMAND)
    watcher, line = p.driver_background("last-text", main, IDC_LOG, "C:\\tolva2\\last.txt", 60000)
    check(line == "watching", f"log watcher did not start: {line}")
    for window in (second, main):
        check(p.send(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP) == 1, "the close request not answered yes")
    check(query(p, main, Q_SWITCH_STATE) == ON_DEFAULT, "the Restart Manager's question switched the desktop")
    for window in (second, main):
        p.send(window, WM_ENDSESSION, 1, ENDSESSION_CLOSEAPP)
    wait_until(lambda: proc.poll() is not None, 20, message="the first copy did not leave when closed")
    wait_until(lambda: watcher.poll() is not None, 20, message="the log watcher did not end")
    last = (p.dir / "last.txt").read_bytes().decode("utf-8")
    check(QUESTION_CLOSED in last, f"the log does not say the question was closed by the exit: {last[-300:]!r}")
    rest = last.split(QUESTION_CLOSED, 1)[-1]
    check(rest in ("", "WM_DESTROY:\r\n"), f"the question's answer did more after the close: {rest!r}")
    wait_until(lambda: p.procs_named() == 0 and started_shells(p) == 0, 20, 0.5,
               f"a copy or a shell is left after the close: {command_lines(p)}")
    check(p.exists(notepad[0]), "the user's program did not survive the close")


def test_switch_refused_before_ready_then_every_trigger_flips(p):
    p.start()
    # The window has its title a second before the start-up pause ends, and the creation thread
    # waits another second: one driver run finds it and sends at once, before "desk new" exists.
    rc, out = p.driver("sends", MAIN_TITLE, WM_COMMAND, IDC_SWITCH, 0, WM_TOLVA_QUERY, Q_SWITCH_REFUSED, 0)
    check(rc == 0 and out.split()[1:] == ["1"], f"the early switch request was not refused ({rc}): {out.split()}")
    main = p.find(MAIN_TITLE)
    check(REFUSED in log(p, main), f"no refusal line in the log: {log(p, main)!r}")

    wait_until(lambda: READY in log(p, main), 60, 0.5, "the second copy never reported readiness")
    check(query(p, main, Q_SWITCH_STATE) == ON_DEFAULT, "not on Default once ready")
    # After a refusal the readiness report comes with a balloon too.
    wait_until(lambda: OK_BALLOON in balloon_texts(p), 20, 0.3, "no readiness balloon after the refusal")
    second = p.find(NEW_DESKTOP, 10000, NEW_DESKTOP)

    # Two requests bring the user back, whichever way they come.
    for msg, wparam, name in ((WM_COMMAND, IDC_SWITCH, "WM_COMMAND 1009"), (WM_HOTKEY, HK_SWITCH_N, "Ctrl+Alt+N"),
                              (WM_HOTKEY, HK_SWITCH_ENTER, "Ctrl+Alt+Enter")):
        p.send(main, msg, wparam, 0)
        check(query(p, main, Q_SWITCH_STATE) == ON_NEW, f"{name} did not switch to desk new")
        p.send(main, msg, wparam, 0)
        check(query(p, main, Q_SWITCH_STATE) == ON_DEFAULT, f"{name} did not switch back")

    # The second copy's button reaches the first copy through the "switch desk" event.
    p.click(second, IDC_SWITCH)
    wait_until(lambda: query(p, main, Q_SWITCH_STATE) == ON_NEW, 10, 0.2,
               "the second copy's switch button did not switch")
    p.send(second, WM_COMMAND, IDC_SWITCH, 0)
    wait_until(lambda: query(p, main, Q_SWITCH_STATE) == ON_DEFAULT, 10, 0.2,
               "the second copy's switch command did not switch back")
    check(log(p, main).count(REFUSED) == 1, "a switch after readiness was refused")
    check(query(p, main, Q_SWITCH_REFUSED) == 1, "the refusal was forgotten")


def exit_question(p, main, how):
    """Asks the first copy to exit (how: WM_COMMAND, WM_HOTKEY, or RUNNING_TITLE: the exit button
    of the already-running dialog) and returns the question's window and text, once the box is up."""
    if how == WM_HOTKEY:
        p.post(main, WM_HOTKEY, HK_EXIT, 0)
    elif how == RUNNING_TITLE:
        dialog_proc, dialog = open_running_dialog(p)
        p.click(dialog, IDC_EXIT)
        wait_until(lambda: dialog_proc.poll() is not None, 15, 0.2, "the already-running dialog did not end")
    else:
        p.post(main, WM_COMMAND, IDC_EXIT, 0)
    box = p.find(BALLOON_TITLE, 15000)
    check(p.pid(box) == p.pid(main), "the question does not belong to the first copy")
    return box, p.text(box, MESSAGE_TEXT_ID)


def answer(p, box, button):
    p.click(box, button)
    wait_until(lambda: not p.exists(box), 10, 0.2, "the question stayed open after its answer")


def test_exit_ends_both_copies_and_the_shell(p):
    proc, main, second = start_pair(p)
    check(started_shells(p) == 1, "the shell did not start")
    check(tray_holds_icons(p) and tray_holds_icons(p, NEW_DESKTOP), "a tray icon is missing before the exit")
    # Exit while "desk new" is the shown one.
    p.send(main, WM_COMMAND, IDC_SWITCH, 0)
    check(query(p, main, Q_SWITCH_STATE) == ON_NEW, "did not switch to desk new")

    # The user opened a program on desk new: an exit asks first, naming it.
    rc, out = p.driver("start-on", NEW_DESKTOP, "notepad.exe")
    check(rc == 0, f"notepad did not start on desk new: {out.strip()}")
    notepad_pid = int(out)
    # Its main window, not its hidden helpers ("Default IME").
    notepad = wait_until(lambda: next((w for w in p.windows(NEW_DESKTOP)
                                       if w[1] == notepad_pid and w[3] and shown(p, w[0])), None),
                         20, 0.3, "notepad's window did not come up on desk new")
    # Real keys typed into the program on desk new, once a letter has been seen to arrive there:
    # the switch keys lead back and forth, the exit key asks the question, on Default.
    pids = unix_pids(p, "notepad.exe")
    check(len(pids) == 1, f"expected one notepad process: {pids}")
    xwin = wait_until(lambda: (lambda w: w[0] if len(w) == 1 else None)(x_windows(pids[0])), 10, 0.3,
                      "notepad has no single mapped X window")
    edit = p.child(notepad[0], 0)
    xdotool("windowfocus", "--sync", xwin)
    xdotool("type", "q")
    wait_until(lambda: p.text(edit) == "q", 10, 0.2, "the typed letter did not reach notepad on desk new")
    for keys, state in (("ctrl+alt+n", ON_DEFAULT), ("ctrl+alt+Return", ON_NEW)):
        xdotool("key", keys)
        wait_until(lambda: query(p, main, Q_SWITCH_STATE) == state, 10, 0.2, f"{keys} on desk new did not switch")
    xdotool("key", "ctrl+alt+k")
    box = p.find(BALLOON_TITLE, 15000)
    check(p.pid(box) == p.pid(main), "the question does not belong to the first copy")
    text = p.text(box, MESSAGE_TEXT_ID)
    check(notepad[3] in text and " 1 " in text, f"the question does not name the program: {text!r}")
    check(query(p, main, Q_SWITCH_STATE) == ON_DEFAULT, "the question is not shown on Default")
    check(p.text(edit) == "q", "a key meant for the program switch went to notepad as well")
    # Cancel: everything as it was, desk new shown again.
    answer(p, box, IDCANCEL)
    check(query(p, main, Q_SWITCH_STATE) == ON_NEW, "cancel did not return to desk new")
    check(proc.poll() is None and p.exists(second) and started_shells(p) == 1, "cancel ended something")
    # From Default, Ctrl+Alt+K and "go to desk new": no exit, the screen goes there.
    p.send(main, WM_COMMAND, IDC_SWITCH, 0)
    box, _ = exit_question(p, main, WM_HOTKEY)
    # Further exit requests while the question is open ask nothing more. Posted after them, the
    # shell's restart notice marks the moment they have been handled.
    notices = log(p, main).count(TASKBAR_RESTARTED)
    p.post(main, WM_COMMAND, IDC_EXIT, 0)
    p.post(main, WM_HOTKEY, HK_EXIT, 0)
    p.postreg(main, "TaskbarCreated")
    wait_until(lambda: log(p, main).count(TASKBAR_RESTARTED) > notices, 10, 0.2,
               "the notice posted after the exit requests was never handled")
    boxes = [w for w in p.windows() if w[3] == BALLOON_TITLE and w[1] == p.pid(main)]
    check([w[0] for w in boxes] == [box], f"a second exit request asked again: {boxes}")
    answer(p, box, IDYES)
    check(query(p, main, Q_SWITCH_STATE) == ON_NEW, "the answer did not switch to desk new")
    check(proc.poll() is None and p.exists(second), "going to desk new ended a copy")

    # A logoff asked while "Default" is shown: the first copy, asked before the user's programs,
    # brings the screen to desk new, where their save prompts will appear.
    p.send(main, WM_COMMAND, IDC_SWITCH, 0)
    check(query(p, main, Q_SWITCH_STATE) == ON_DEFAULT, "did not switch back to Default")
    check(p.send(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == 1, "WM_QUERYENDSESSION not answered yes")
    check(query(p, main, Q_SWITCH_STATE) == ON_NEW, "the logoff's question did not bring the screen to desk new")
    # Called off while desk new is shown: the work is in sight, no balloon. Called off while the
    # user looks at Default: the balloon says the work is open there.
    p.send(main, WM_ENDSESSION, 0, ENDSESSION_LOGOFF)
    time.sleep(1)
    check(WORK_OPEN not in balloon_texts(p), "a balloon about the work while desk new is shown")
    p.send(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF)
    p.send(main, WM_COMMAND, IDC_SWITCH, 0)
    check(query(p, main, Q_SWITCH_STATE) == ON_DEFAULT, "did not switch to Default during the logoff's question")
    p.send(main, WM_ENDSESSION, 0, ENDSESSION_LOGOFF)
    wait_until(lambda: WORK_OPEN in balloon_texts(p), 10, 0.3, "no balloon about the work open on desk new")

    # Exit anyway, asked from the already-running dialog: the steps as ever, and the user's
    # program lives on.
    box, _ = exit_question(p, main, RUNNING_TITLE)
    answer(p, box, IDNO)
    wait_until(lambda: proc.poll() is not None, 20, message="the first copy did not end")
    wait_until(lambda: p.procs_named() == 0, 20, 0.5, "a copy is left after exit")
    wait_until(lambda: started_shells(p) == 0, 20, 0.5, "the shell started on desk new is left after exit")
    check(not p.exists(second), "the second copy's window is left")
    check(not tray_holds_icons(p) and not tray_holds_icons(p, NEW_DESKTOP), "a tray icon is left after exit")
    check(p.exists(notepad[0]) and p.pid(notepad[0]) == notepad_pid, "the user's program did not survive the exit")


def second_copies(p):
    return [w for w in p.windows(NEW_DESKTOP) if w[3] == NEW_DESKTOP]


def replaced(p, main, old_pid, restarts):
    """Waits until one second copy other than old_pid runs and the first copy has logged its restart
    line restarts times; returns the new copy's window."""
    def one_new():
        copies = second_copies(p)
        return copies[0][0] if len(copies) == 1 and copies[0][1] != old_pid else None
    second = wait_until(one_new, 30, 0.5, f"no new second copy within 30 s: {second_copies(p)}")
    check(log(p, main).count(SECOND_COPY_RESTART) == restarts, f"expected {restarts} restart lines: {log(p, main)!r}")
    check(p.procs_named() == 2, f"expected the first copy and one second copy, found {p.procs_named()}")
    return second


def test_second_copy_killed_or_told_to_leave_comes_back_and_a_hung_one_is_counted_dead(p):
    proc, main, second = start_pair(p)
    check(query(p, main, Q_DEAD_COUNT) < 3, "counter high while the second copy lives")

    # Killed while desk new is shown: a new copy comes within seconds; the screen stayed where it was.
    p.send(main, WM_COMMAND, IDC_SWITCH, 0)
    check(query(p, main, Q_SWITCH_STATE) == ON_NEW, "did not switch to desk new")
    old_pid = p.pid(second)
    check(p.driver("kill-pid", old_pid)[0] == 0, "could not kill the second copy")
    second = replaced(p, main, old_pid, 1)
    check(query(p, main, Q_SWITCH_STATE) == ON_NEW, "a killed second copy changed the shown desktop")
    wait_until(lambda: log(p, main).count(READY) == 2, 30, 0.5, "the new second copy did not report readiness")
    # It made its events afresh: no balloon says one existed already.
    texts = [t for _ in range(4) for t in balloon_texts(p, NEW_DESKTOP)]
    check(not any(t.startswith("CreateEvent") for t in texts), f"the new second copy found its events: {texts}")

    # Told to leave by a process that is not the first copy: it shows Default first, and is back.
    old_pid = p.pid(second)
    check(p.signal("notify n exit"), "could not signal notify n exit")
    second = replaced(p, main, old_pid, 2)
    check(query(p, main, Q_SWITCH_STATE) == ON_DEFAULT, "the first copy did not take Default as shown")
    check(log(p, main).count(MAKING) == 1, "the creation ran again for a second copy alone")

    # Hung, not ended: no restart; without hellos the counter climbs by one a tick, and 501 of them
    # restart the creation.
    hung = unix_pids(p, "makedesktop")
    check(len(hung) == 1, f"expected one second copy process: {hung}")
    os.kill(hung[0], signal.SIGSTOP)
    try:
        started = time.monotonic()
        counts = samples(p, main, Q_DEAD_COUNT, 6)
        elapsed = time.monotonic() - started
    finally:
        os.kill(hung[0], signal.SIGCONT)
    check(all(a <= b for a, b in zip(counts, counts[1:])), f"the counter was reset without a hello: {counts}")
    check(counts[-1] - counts[0] >= 3, f"the counter hardly rose in {elapsed:.0f} s: {counts}")
    check(counts[-1] - counts[0] <= elapsed + 1, f"the counter rose faster than once a second: {counts}")
    check(log(p, main).count(MAKING) == 1 and log(p, main).count(SECOND_COPY_RESTART) == 2,
          f"a hung second copy was restarted: {log(p, main)!r}")
    check(proc.poll() is None, "the first copy ended")

    # Killed twice more: the third restart, then the bound. The first copy held no handle of the
    # ended copies' events, so once the last copy is gone its events no longer exist.
    old_pid = p.pid(second)
    check(p.driver("kill-pid", old_pid)[0] == 0, "could not kill the second copy")
    second = replaced(p, main, old_pid, 3)
    check(p.driver("kill-pid", p.pid(second))[0] == 0, "could not kill the second copy")
    wait_until(lambda: "no more restarts" in log(p, main), 15, 0.5, "the restart bound was not logged")
    wait_until(lambda: not second_copies(p), 10, 0.5, "a second copy runs after the bound")
    time.sleep(2)  # two more ticks, each with its acknowledgement
    for name in ("notify n exit", "ndesk receive ack"):
        check(not p.event_exists(name), f"the ended second copy's event {name!r} still exists")
    check(proc.poll() is None, "the first copy ended")


def test_hung_second_copy_is_ended_and_replaced_after_501_ticks_slow(p):
    proc, main, second = start_pair(p)
    p.send(main, WM_COMMAND, IDC_SWITCH, 0)
    check(query(p, main, Q_SWITCH_STATE) == ON_NEW, "did not switch to desk new")
    old_pid = p.pid(second)
    # Hung, not ended (an ended copy is replaced at once): only the watchdog notices it.
    hung = unix_pids(p, "makedesktop")
    check(len(hung) == 1, f"expected one second copy process: {hung}")
    os.kill(hung[0], signal.SIGSTOP)

    wait_until(lambda: RESTART in log(p, main), 700, 5, "the watchdog did not restart the creation")
    # The watchdog ended the hung copy; Wine ends its Unix process once it runs again, if its kill
    # has not already.
    try:
        os.kill(hung[0], signal.SIGCONT)
    except ProcessLookupError:
        pass
    wait_until(lambda: log(p, main).count(MAKING) == 2, 30, 0.5, "the rerun of the creation did not succeed")
    wait_until(lambda: log(p, main).count(READY) == 2, 60, 0.5, "the new second copy did not report readiness")
    text = log(p, main)
    check(text.index(RESTART) < text.rindex(MAKING), f"restart and creation lines out of order: {text!r}")

    copies = [w for w in p.windows(NEW_DESKTOP) if w[3] == NEW_DESKTOP]
    check(len(copies) == 1 and copies[0][1] != old_pid, f"expected one new second copy: {copies}")
    check(p.procs_named() == 2, f"expected the first copy and one second copy, found {p.procs_named()}")
    second = copies[0][0]
    # The rerun reopened the shown desktop: the first copy still knows it is on it.
    check(query(p, main, Q_SWITCH_STATE) == ON_NEW, "the switch state was lost with the rerun")
    check(max(samples(p, main, Q_DEAD_COUNT, 4)) < 3, "the new second copy's hellos do not arrive")
    # The shell of the first run still runs: it is kept, and no second one is started.
    check(started_shells(p) == 1, f"expected the first run's shell alone: {command_lines(p)}")
    p.click(second, IDC_SWITCH)
    wait_until(lambda: query(p, main, Q_SWITCH_STATE) == ON_DEFAULT, 10, 0.2,
               "the new second copy's switch button did not switch back")

    p.send(main, WM_COMMAND, IDC_EXIT, 0)
    wait_until(lambda: proc.poll() is not None, 20, message="the first copy did not end")
    wait_until(lambda: p.procs_named() == 0 and started_shells(p) == 0, 30, 0.5,
               f"a copy or a shell is left after the exit: {command_lines(p)}")


def start_notepad_on_new(p):
    """Starts notepad on desk new as the user would; returns its pid and its main window's row."""
    rc, out = p.driver("start-on", NEW_DESKTOP, "notepad.exe")
    check(rc == 0, f"notepad did not start on desk new: {out.strip()}")
    notepad_pid = int(out)
    notepad = wait_until(lambda: next((w for w in p.windows(NEW_DESKTOP)
                                       if w[1] == notepad_pid and w[3] and shown(p, w[0])), None),
                         20, 0.3, "notepad's window did not come up on desk new")
    return notepad_pid, notepad


def first_copy_unix_pids(p):
    """The first copy's Unix pids: its command line names the program, the second copy's does not."""
    return [pid for pid in unix_pids(p, "tolva2.exe") if pid not in unix_pids(p, "makedesktop")]


def test_second_copy_outlives_a_stopped_first_copy(p):
    proc, main, second = start_pair(p)
    first = first_copy_unix_pids(p)
    check(len(first) == 1, f"expected one first copy process: {first}")
    os.kill(first[0], signal.SIGSTOP)
    try:
        time.sleep(8)  # a first copy whose window thread is busy for seconds
        check(p.exists(second), "the second copy left while the first copy was stopped")
        check(query(p, second, Q_DEAD_COUNT) >= 5, "the second copy did not count the silence")
    finally:
        os.kill(first[0], signal.SIGCONT)
    wait_until(lambda: query(p, second, Q_DEAD_COUNT) < 3, 10, 0.3, "the acknowledgements did not come back")
    check(len(second_copies(p)) == 1 and proc.poll() is None, "a copy ended")


def test_second_copy_ends_when_first_copy_is_killed(p):
    proc, main, second = start_pair(p)
    check(p.driver("kill-pid", p.pid(main))[0] == 0, "could not kill the first copy")
    killed = time.monotonic()
    wait_until(lambda: proc.poll() is not None, 10, 0.2, "the first copy did not end")
    # It watches the first copy's process, its parent: it leaves within 2 s, not after silent ticks.
    wait_until(lambda: not unix_pids(p, "makedesktop"), 15, 0.1, "the second copy outlived the first copy")
    check(time.monotonic() - killed < 2.5, f"the second copy left {time.monotonic() - killed:.1f} s after the kill")
    check(not tray_holds_icons(p, NEW_DESKTOP), "the second copy's tray icon is left")

    # The user starts the program again, at once after a crash and ten seconds after one: each
    # time exactly one second copy runs, and the user's program on desk new is left alone. (The
    # shell there is taken over by its taskbar window on Windows; under Wine the taskbar belongs
    # to Wine's own explorer of that desktop, so the count of shells is not shown here.)
    notepad_pid, notepad = None, None
    for pause in (None, 0, 10):
        if pause is not None:
            check(p.driver("kill-pid", p.pid(main))[0] == 0, "could not kill the first copy")
            wait_until(lambda: proc.poll() is not None, 10, 0.2, "the first copy did not end")
            time.sleep(pause)
        proc, main = start_first_copy(p)
        wait_ready(p, main)
        wait_until(lambda: len(second_copies(p)) == 1 and p.procs_named() == 2, 15, 0.5,
                   f"not exactly one second copy after a start again: {command_lines(p)}")
        if notepad is None:
            notepad_pid, notepad = start_notepad_on_new(p)
        time.sleep(3)  # a copy the old one kept alive, or a second run, would show by now
        check(len(second_copies(p)) == 1 and p.procs_named() == 2, f"a further second copy came: {command_lines(p)}")
        check(p.exists(notepad[0]) and p.pid(notepad[0]) == notepad_pid, "the user's program on desk new was touched")


def test_second_copy_window_keys_do_nothing_and_close_only_hides(p):
    proc, main, second = start_pair(p)
    pid = p.pid(second)
    # Hidden by its tick while not in front; a click on its tray icon brings it forward.
    p.send(second, WM_TRAYNOTIFY, 0, WM_LBUTTONUP)
    check(shown(p, second), "the tray click did not show the second copy's window")

    # Two clicks leave the state as it was and the focus on the switch button, where Enter
    # would click it.
    button = p.child(second, IDC_SWITCH)
    for state in (ON_NEW, ON_DEFAULT):
        p.click(second, IDC_SWITCH)
        wait_until(lambda: query(p, main, Q_SWITCH_STATE) == state, 10, 0.2, "the switch button did not switch")
    check(p.focus(second) == button, "the switch button did not take the focus")

    targets = {second, button}
    for target in targets:
        for vk, scan in ((VK_RETURN, 0x1C), (VK_ESCAPE, 0x01)):
            p.post(target, WM_KEYDOWN, vk, 1 | scan << 16)
    # Posted after the keys, a taskbar restart notice makes the second copy report readiness
    # once more: when that arrives, the keys have been handled.
    p.postreg(second, "TaskbarCreated")
    wait_until(lambda: log(p, main).count(READY) == 2, 15, 0.3,
               "the second copy did not report readiness again after TaskbarCreated")
    check(p.exists(second) and p.pid(second) == pid, "Enter or Esc ended the second copy")
    check(shown(p, second), "Enter or Esc hid the second copy's window")
    # Enter on a focused button would click it: the switch button asks for a switch.
    check(query(p, main, Q_SWITCH_STATE) == ON_DEFAULT, "Enter or Esc made the first copy switch")
    check(query(p, second, Q_TRAY_SHOWN) == 1, "the tray icon did not come back after TaskbarCreated")

    p.send(second, WM_CLOSE)
    check(not shown(p, second), "WM_CLOSE did not hide the second copy's window")
    p.send(second, WM_TRAYNOTIFY, 0, WM_LBUTTONUP)
    check(shown(p, second), "the tray click did not show the window again")
    p.send(second, WM_SYSCOMMAND, SC_CLOSE, 0)
    wait_until(lambda: not shown(p, second), 10, 0.2, "the close box did not hide the window")

    # Still alive and in touch with the first copy.
    check(p.exists(second) and p.procs_named() == 2, "closing ended the second copy")
    check(max(samples(p, main, Q_DEAD_COUNT, 3)) < 3, "the second copy stopped saying hello")


def test_hand_started_second_copy_reports_existing_events(p):
    proc, main, second = start_pair(p)
    extra = p.start(["makedesktop"])
    # Started from here it lands on Default; its five events exist already, and each balloon
    # replaces the one before: the last names index 9.
    hand = p.find(NEW_DESKTOP, 20000)
    wait_until(lambda: "CreateEvent eventsStr[9]tolva receive my ok return ERROR_ALREADY_EXISTS"
               in balloon_texts(p), 20, 0.3, "no balloon for the existing event 9")
    check(not any(text.startswith("CreateEvent") and "[9]" not in text for text in balloon_texts(p)),
          f"an earlier event's balloon is still shown: {balloon_texts(p)}")
    # Its switch and exit keys are the first copy's on this desktop (1409): no word of that, though a
    # balloon about them would come after the events'.
    wait_until(lambda: query(p, hand, Q_OK_SENT) == 1, 10, 0.3, "the hand-started copy never got ready")
    check(not any(text.startswith(HOTKEYS_FAILED) for text in balloon_texts(p)),
          f"keys already registered were reported: {balloon_texts(p)}")

    # Otherwise it runs as usual: both second copies share the acknowledgements and live on.
    check(query(p, hand, Q_TRAY_SHOWN) == 1, "the hand-started copy has no tray icon")
    counts = []
    deadline = time.monotonic() + 8  # past six ticks
    while time.monotonic() < deadline:
        counts.append((query(p, hand, Q_DEAD_COUNT), query(p, second, Q_DEAD_COUNT)))
    check(max(max(pair) for pair in counts) < 4, f"a second copy misses the acknowledgements: {counts}")
    check(extra.poll() is None and p.exists(second), "a second copy ended")
