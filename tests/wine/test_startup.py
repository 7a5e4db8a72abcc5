"""Start-up of the program under Wine: roles, the first copy's window and its log, closing, exit."""

import os

from harness import (SC_CLOSE, VK_ESCAPE, VK_RETURN, WM_CLOSE, WM_COMMAND, WM_HOTKEY, WM_KEYDOWN,
                     WM_NULL, WM_SYSCOMMAND, WS_EX_TOPMOST, check, wait_until)
from tolva import (BANNER, CREATION_LINES, HK_EXIT, IDC_CANCEL, IDC_EXIT, IDC_LOG, MAIN_TITLE, MARKER_EVENT,
                   RUNNING_TITLE, SECOND_TITLE, TASKBAR_RESTARTED, WM_TRAYNOTIFY, lines_an_action_writes,
                   log_lines_after_banner, start_first_copy)
from tolva import LOG_DRAIN_MESSAGE, READY, SHELL_COMMAND, SHELL_FAILED_193, balloon_texts, current_folders, log

WM_KEYUP = 0x0101
WM_APP = 0x8000
VK_SPACE = 0x20

MOD_CTRL_ALT = 3
WM_SETTINGCHANGE = 0x001A
WM_DISPLAYCHANGE = 0x007E
SPI_SETWORKAREA = 0x002F
WM_DPICHANGED = 0x02E0

HOTKEYS = {"Ctrl+Alt+N": 0x4E, "Ctrl+Alt+H": 0x48, "Ctrl+Alt+K": 0x4B, "Ctrl+Alt+Enter": 0x0D}


def alive(proc):
    return proc.poll() is None


def test_first_copy_window_banner_placement_and_hot_keys(p):
    # Started from a folder of the user's (a USB stick, Downloads), which it must not hold.
    scratch = p.tmp / "scratch"
    scratch.mkdir()
    proc = p.start(cwd=scratch)
    hwnd = p.find(MAIN_TITLE, 20000)

    # The first answer comes once start-up has run, before the creation thread has logged much.
    text = p.text(hwnd, IDC_LOG)
    rest = text[len(BANNER):]
    check(text.startswith(BANNER), f"banner differs: {text!r}")
    check(all(line in CREATION_LINES for line in rest.splitlines(keepends=True)),
          f"unexpected lines after the banner: {rest!r}")

    check(p.visible(hwnd), "main window is not shown")
    check(p.exstyle(hwnd) & WS_EX_TOPMOST, "main window is not topmost")
    m = p.metrics()
    left, top, right, bottom = p.rect(hwnd)
    work_right, work_bottom = m["workarea"][2], m["workarea"][3]
    check((right, bottom) == (work_right, work_bottom),
          f"bottom-right corner {(right, bottom)}, expected the work area's {(work_right, work_bottom)}")
    # A changed work area or resolution (taskbar moved, docking) puts it back into its corner.
    for message, wparam, lparam in ((WM_SETTINGCHANGE, SPI_SETWORKAREA, 0), (WM_DISPLAYCHANGE, 24, 768 << 16 | 1024)):
        p.move(hwnd, 40, 30)
        check(p.rect(hwnd)[:2] == (40, 30), "the window could not be moved away")
        p.send(hwnd, message, wparam, lparam)
        check(p.rect(hwnd) == (left, top, right, bottom), f"message {message:#x} left the window at {p.rect(hwnd)}")
    check(p.event_exists(MARKER_EVENT), "the single-instance marker event does not exist")
    check([w[3] for w in p.windows()].count(MAIN_TITLE) == 1, "more than one main window")

    # All four hot keys belong to the program now: nobody else can register them.
    for name, vk in HOTKEYS.items():
        rc, out = p.driver("hold-hotkey", MOD_CTRL_ALT, vk, 0)
        check(rc == 1 and out.strip() == "failed 1409", f"{name} was free after start-up: {out.strip()!r}")
    check(alive(proc), "program ended")

    # The shell and the second copy run in the Windows folder, not in the one of the start.
    wait_until(lambda: READY in log(p, hwnd), 30, 0.3, "the second copy never reported readiness")
    windows_folder = os.path.realpath(p.path / "drive_c" / "windows")
    started = [(line, folder) for line, folder in current_folders(p)
               if line == SHELL_COMMAND or line.split()[-4:] == ["makedesktop", "desk", "new", "1"]]
    check(len(started) == 2 and all(folder == windows_folder for _, folder in started),
          f"expected the shell and the second copy in {windows_folder}: {started}")


def test_close_hides_window_and_tray_click_shows_it(p):
    proc, hwnd = start_first_copy(p)
    placed = p.rect(hwnd)

    p.send(hwnd, WM_CLOSE)
    check(not p.visible(hwnd), "WM_CLOSE did not hide the window")
    check(alive(proc) and p.exists(hwnd), "WM_CLOSE ended the program")
    check(p.rect(hwnd) == placed, "hidden window left the bottom-right corner")

    # Mouse move and middle button over the tray icon do nothing; left or right buttons show it.
    for mouse in (0x200, 0x207, 0x208):
        p.send(hwnd, WM_TRAYNOTIFY, 0, mouse)
        check(not p.visible(hwnd), f"tray message {mouse:#x} showed the window")
    p.send(hwnd, WM_TRAYNOTIFY, 0, 0x202)
    check(p.visible(hwnd), "tray click did not show the window")

    # The close box and Alt+F4 come as SC_CLOSE and hide it the same way.
    p.send(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0)
    wait_until(lambda: not p.visible(hwnd), 10, message="SC_CLOSE did not hide the window")
    p.send(hwnd, WM_TRAYNOTIFY, 0, 0x205)
    check(p.visible(hwnd), "tray right click did not show the window")
    check(alive(proc), "program ended")


def test_enter_escape_and_space_do_nothing(p):
    proc, hwnd = start_first_copy(p)
    before = lines_an_action_writes(p, hwnd)
    log_edit = p.child(hwnd, IDC_LOG)
    # The keyboard starts on the log, not on the exit button, and comes back there with a tray click.
    # A sent message is answered once the start-up steps are over and the window reads its queue,
    # as typed keys would be: the window is shown (and the dialog puts the focus on its first tab
    # stop) a second before the start-up ends.
    p.send(hwnd, WM_NULL)
    check(p.focus(hwnd) == log_edit, f"the focus is on {p.focus(hwnd)}, not on the log {log_edit}")
    p.send(hwnd, WM_CLOSE)
    p.send(hwnd, WM_TRAYNOTIFY, 0, 0x202)
    check(p.focus(hwnd) == log_edit, "the tray click did not give the log the focus")
    targets = {p.child(hwnd, IDC_EXIT), log_edit}

    # Posted, so the keys pass the program's own message loop as typed keys would. A Space, down
    # and up, on a button would press it.
    for target in targets:
        for vk, scan in ((VK_RETURN, 0x1C), (VK_ESCAPE, 0x01), (VK_SPACE, 0x39)):
            p.post(target, WM_KEYDOWN, vk, 1 | scan << 16)
            if vk == VK_SPACE:
                p.post(target, WM_KEYUP, vk, 1 | scan << 16 | 3 << 30)
    # Posted after the keys, the shell's restart notice marks the moment they have been handled.
    p.postreg(hwnd, "TaskbarCreated")
    wait_until(lambda: not p.exists(hwnd) or TASKBAR_RESTARTED in p.text(hwnd, IDC_LOG), 15,
               message="the notice posted after the keys was never handled")

    check(p.exists(hwnd) and alive(proc), "Enter, Esc or Space ended the program")
    check(p.visible(hwnd), "Enter, Esc or Space hid the window")
    check(lines_an_action_writes(p, hwnd) == before + [TASKBAR_RESTARTED],
          f"log changed: {lines_an_action_writes(p, hwnd)!r}")


def test_other_commands_and_hot_keys_are_swallowed(p):
    proc, hwnd = start_first_copy(p)
    before = lines_an_action_writes(p, hwnd)
    # IDOK and IDCANCEL would end an ordinary dialog.
    for command in (1, 2, 1234):
        p.send(hwnd, WM_COMMAND, command, 0)
    p.send(hwnd, WM_HOTKEY, 9999, 0)
    # Any process may send the log window its drain message, or the old append message, with a
    # bogus pointer: nothing is read through it.
    log_edit = p.child(hwnd, IDC_LOG)
    for message in (LOG_DRAIN_MESSAGE, WM_APP + 0x31):
        for wparam, lparam in ((0, 0x1234), (0xFFFF, -1)):
            p.send(log_edit, message, wparam, lparam)
    p.send(hwnd, WM_NULL)
    check(p.exists(hwnd) and p.visible(hwnd) and alive(proc), "a swallowed message changed the window")
    check(lines_an_action_writes(p, hwnd) == before, "a swallowed message wrote to the log")


def test_second_plain_start_shows_running_dialog_until_cancel(p):
    first, hwnd = start_first_copy(p)
    first_pid = p.pid(hwnd)
    state = (p.rect(hwnd), p.visible(hwnd), lines_an_action_writes(p, hwnd))
    p.cursor(100, 120)

    second = p.start()
    dialog = p.find(RUNNING_TITLE, 20000)
    check(p.pid(dialog) != first_pid, "the running dialog belongs to the first copy")
    check(p.visible(dialog), "running dialog is not shown")
    left, top, right, bottom = p.rect(dialog)
    check((left, top) == (100, 120), f"running dialog at ({left}, {top}), not at the pointer (100, 120)")
    # Moved onto a monitor of another scale: the rectangle the system suggests, but whole on screen.
    width, height = right - left + 10, bottom - top + 6
    p.send_rect(dialog, WM_DPICHANGED, 144 << 16 | 144, (200, 150, 200 + width, 150 + height))
    check(p.rect(dialog) == (200, 150, 200 + width, 150 + height), f"the suggested rectangle gave {p.rect(dialog)}")
    work = p.metrics()["workarea"]
    off_screen = (work[2] - 5, work[3] - 5, work[2] - 5 + width, work[3] - 5 + height)
    p.send_rect(dialog, WM_DPICHANGED, 96 << 16 | 96, off_screen)
    check(p.rect(dialog) == (work[2] - width, work[3] - height, work[2], work[3]),
          f"a suggestion off the screen gave {p.rect(dialog)}, not whole in the work area {work}")
    check(alive(second), "second start did not keep running while its dialog is open")

    p.click(dialog, IDC_CANCEL)
    wait_until(lambda: second.poll() is not None, 15, message="取消 did not end the second start")
    check(p.try_find(RUNNING_TITLE) is None, "running dialog still there after 取消")
    check(alive(first) and p.exists(hwnd), "first copy ended")
    check((p.rect(hwnd), p.visible(hwnd), lines_an_action_writes(p, hwnd)) == state,
          "取消 changed the first copy's window or log")
    check(p.event_exists(MARKER_EVENT), "the marker event vanished with the second start")


def test_further_start_brings_open_running_dialog_forward(p):
    start_first_copy(p)
    # Started from a taskbar button in the corner: the dialog at the pointer, but whole on screen.
    work = p.metrics()["workarea"]
    p.cursor(work[2] - 9, work[3] - 8)
    second = p.start()
    dialog = p.find(RUNNING_TITLE, 20000)
    check(p.rect(dialog)[2:] == work[2:], f"running dialog at {p.rect(dialog)}, not flush in the work area {work}")
    third = p.start()
    wait_until(lambda: third.poll() is not None, 20, message="third start did not end by itself")
    dialogs = [w for w in p.windows() if w[3] == RUNNING_TITLE]
    check(len(dialogs) == 1, f"expected one running dialog, found {len(dialogs)}")
    check(dialogs[0][2], "the open running dialog is hidden")
    check(alive(second), "the open running dialog's process ended")


def test_makedesktop_anywhere_in_arguments_selects_second_copy(p):
    second = p.start(["start", "xmakedesktopx"])
    # No first copy made a desktop for it: started by hand it stays on the current one.
    p.find(SECOND_TITLE, 20000)
    check(alive(second), "second copy ended at once")
    check(p.try_find(MAIN_TITLE) is None, "the second copy made a main window")
    check(not p.event_exists(MARKER_EVENT), "a second copy created the single-instance marker")

    # The same word in capitals is not the role word; and with only a second copy running,
    # a start is a first copy, since second copies never create the marker.
    first = p.start(["MAKEDESKTOP"])
    p.find(MAIN_TITLE, 20000)
    check(p.try_find(RUNNING_TITLE) is None, "capital MAKEDESKTOP start showed the running dialog")
    check(p.event_exists(MARKER_EVENT), "first copy did not create the marker")
    check(alive(first), "first copy ended")


def test_hand_started_second_copy_ends_without_first_copy(p):
    # One of its names held as a mutex by another program: a balloon names it.
    holder, line = p.driver_background("squat", "dide n", "mutex", 60000)
    check(line == "held", f"driver could not hold 'dide n' as a mutex: {line}")
    second = p.start(["makedesktop"])
    p.find(SECOND_TITLE, 20000)
    wait_until(lambda: "CreateEvent eventsStr[8]dide n failed,error no 6" in balloon_texts(p), 20, 0.3,
               f"no balloon for the name held as a mutex: {balloon_texts(p)}")
    holder.kill()
    # Thirty ticks without the first copy's acknowledgement end it (no first copy started it).
    wait_until(lambda: second.poll() is not None, 50, 0.5, "lonely second copy did not end")
    check(p.procs_named() == 0, "a program process is left")


def test_hot_key_held_by_another_process_and_failed_shell_are_logged(p):
    holder, line = p.driver_background("hold-hotkey", MOD_CTRL_ALT, HOTKEYS["Ctrl+Alt+N"], 15000)
    check(line == "held", f"driver could not hold Ctrl+Alt+N: {line}")
    # The system's shell is no program: its start fails with error 193, whose system text has an
    # insert ("%1 is not a valid Win32 application."); the line carries that text as it stands.
    (p.path / "drive_c" / "windows" / "explorer.exe").write_bytes(b"not a program\r\n" * 64)
    # The user's own keys: Ctrl+Alt+M replaces Ctrl+Alt+Enter; a text where the hide key belongs
    # keeps Ctrl+Alt+H with one line.
    key = r"HKCU\Software\qz57tolva2\settings"
    check(p.reg("add", key, "/v", "switch key 2", "/t", "REG_DWORD", "/d", str(3 << 16 | 0x4D), "/f") and
          p.reg("add", key, "/v", "hide key", "/t", "REG_SZ", "/d", "Ctrl+Alt+X", "/f"), "reg add failed")
    proc, hwnd = start_first_copy(p)
    lines = log_lines_after_banner(p, hwnd, BANNER.replace("Ctrl+Alt+Enter\r\n", "Ctrl+Alt+M\r\n"))
    check(lines[:2] == ["设置值 hide key 无效, 已忽略, 用默认值\r\n", "RegisterHotKey Ctrl+Alt+N failed\r\n"],
          f"log after the banner: {lines!r}")
    wait_until(lambda: any(t.startswith("热键没能注册, 可能已被其他程序占用: Ctrl+Alt+N") for t in balloon_texts(p)), 20, 0.3,
               f"no balloon for the taken key: {balloon_texts(p)}")
    rc, out = p.driver("hold-hotkey", MOD_CTRL_ALT, HOTKEYS["Ctrl+Alt+Enter"], 0)
    check(rc == 0, f"the replaced Ctrl+Alt+Enter is still taken: {out.strip()!r}")
    wait_until(lambda: SHELL_FAILED_193 in log(p, hwnd), 20, 0.3,
               f"no failed-shell line with its reason: {log(p, hwnd)[len(BANNER):]!r}")
    check(not any(line.startswith("RegisterHotKey") for line in lines[2:]),
          f"other hot keys failed too: {lines!r}")
    # The failure stops nothing: the other three are the program's.
    for name, vk in (("Ctrl+Alt+H", 0x48), ("Ctrl+Alt+K", 0x4B), ("Ctrl+Alt+M", 0x4D)):
        rc, out = p.driver("hold-hotkey", MOD_CTRL_ALT, vk, 0)
        check(rc == 1 and out.strip() == "failed 1409", f"{name} was not registered by the program: {out.strip()!r}")
    check(alive(proc), "program ended")
    holder.kill()


def test_exit_command_and_exit_hot_key_end_everything(p):
    proc, hwnd = start_first_copy(p)
    p.send(hwnd, WM_COMMAND, IDC_EXIT, 0)
    wait_until(lambda: proc.poll() is not None, 20, message="first copy did not end on command 1008")
    # ExitDesktops also ends the second copy it started on "desk new".
    wait_until(lambda: p.procs_named() == 0, 20, message="a program process is left after exit")
    check(not p.event_exists(MARKER_EVENT), "the marker event outlived the program")

    # With the marker gone the next plain start is a first copy again; Ctrl+Alt+K ends it too.
    proc, hwnd = start_first_copy(p)
    check(p.try_find(RUNNING_TITLE) is None, "restart after exit showed the running dialog")
    p.send(hwnd, WM_HOTKEY, HK_EXIT, 0)
    wait_until(lambda: proc.poll() is not None, 20, message="first copy did not end on Ctrl+Alt+K")
    wait_until(lambda: p.procs_named() == 0, 20, message="a program process is left after Ctrl+Alt+K")


def test_long_argument_tail_starts_normally(p):
    proc, hwnd = start_first_copy(p, ["x" * 5000])
    log_lines_after_banner(p, hwnd)
    check(p.visible(hwnd) and alive(proc), "program with a 5000-character tail did not run")


def test_chinese_texts_read_right_under_code_page_1252(p):
    # The program's Chinese is code page 936 whatever the system's ANSI code page is.
    p.set_locale("C.UTF-8")
    check(p.acp() == 1252, "C.UTF-8 did not give code page 1252")
    _, hwnd = start_first_copy(p)
    log_lines_after_banner(p, hwnd)
    p.start()
    p.find(RUNNING_TITLE, 20000)
