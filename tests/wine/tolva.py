"""The program's vocabulary for the Wine tests, and the helpers every module shares.

Ids, query selectors, hot keys and messages come from ui/ids.h and the version from
version/version.h, read here as cmake/version.cmake reads it, so the tests never hold a second copy.
The window titles, event names, log lines and record fields below are the texts the tests expect.
"""

import os
import re
import subprocess
import time

from harness import REPO, WM_COMMAND, WS_VISIBLE, Failed, check, parse_int, prefix_processes, wait_until

# --- from the sources ---------------------------------------------------------------------------


def _read_ids(path):
    """Every #define NAME number, constexpr ... NAME = expression; and enum member NAME = number
    of a header; expressions are sums of decimal and hex numbers."""
    values = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        line = line.split("//", 1)[0]
        match = (re.match(r"\s*#define\s+(\w+)\s+([0-9xXa-fA-F+ ]+)$", line)
                 or re.match(r"\s*constexpr\s+[\w ]+?\s(\w+)\s*=\s*([0-9xXa-fA-F+ ]+);", line)
                 or re.match(r"\s*(k\w+)\s*=\s*([0-9xXa-fA-F+ ]+),", line))
        if match:
            values[match.group(1)] = sum(int(term, 0) for term in match.group(2).split("+"))
    return values


_IDS = _read_ids(REPO / "ui" / "ids.h")
# The message that makes the log window write what other threads queued.
LOG_DRAIN_MESSAGE = _read_ids(REPO / "services" / "log.h")["kLogDrainMessage"]


def _id(name):
    check(name in _IDS, f"ui/ids.h defines no {name}")
    return _IDS[name]


def _snake(name):
    """kQuerySwitchState -> SWITCH_STATE."""
    return re.sub(r"(?<!^)(?=[A-Z])", "_", name[len("kQuery"):]).upper()


IDC_TRAY, IDC_CANCEL, IDC_LOG, IDC_EXIT, IDC_SWITCH = (
    _id(n) for n in ("IDC_TRAY", "IDC_CANCEL", "IDC_LOG", "IDC_EXIT", "IDC_SWITCH"))
HK_EXIT, HK_SWITCH_N, HK_TRAY, HK_SWITCH_ENTER = (
    _id(n) for n in ("HK_EXIT", "HK_SWITCH_N", "HK_TRAY", "HK_SWITCH_ENTER"))
WM_TRAYNOTIFY = _id("WM_TRAYNOTIFY")
# The diagnostic query both long-lived windows answer, and its selectors (Q_SWITCH_STATE, ...).
WM_TOLVA_QUERY = _id("WM_TOLVA_QUERY")
QUERIES = {"Q_" + _snake(name): value for name, value in _IDS.items() if name.startswith("kQuery")}
Q_SWITCH_STATE, Q_DEAD_COUNT, Q_SWITCH_REFUSED, Q_TRAY_SHOWN, Q_OK_SENT = (
    QUERIES[n] for n in ("Q_SWITCH_STATE", "Q_DEAD_COUNT", "Q_SWITCH_REFUSED", "Q_TRAY_SHOWN", "Q_OK_SENT"))
ON_DEFAULT, ON_NEW = 1, 2  # switch states of the first copy; 0 is not ready


def _read_version(path):
    match = re.search(r'#define TOLVA_VERSION "([0-9]+\.[0-9]+)"', path.read_text(encoding="utf-8"))
    check(match, f"no version in {path}")
    return match.group(1)


VERSION = _read_version(REPO / "version" / "version.h")

# --- windows, desktops and events ---------------------------------------------------------------

MAIN_TITLE = "default"
NEW_DESKTOP = "desk new"
SECOND_TITLE = NEW_DESKTOP  # the second copy's window has the desktop's name
RUNNING_TITLE = "双桌面已经在运行"
BALLOON_TITLE = "提示"  # balloons and message boxes
MARKER_EVENT = "hTOLVATOP2RUNNING"
SWITCH_DESK, EXIT_TOLVA, HELLO, HIDE_M, DESK_N_OK = (
    "switch desk", "exit tolva", "tolva receive hello", "hide m", "desk n ok")
# Wine's own tray window when no X tray manager runs, shown while it holds at least one icon.
TRAY_TITLE = "Wine System Tray"
SHELL_WINDOW_TITLE = "桌面"  # the folder window of the shell on "desk new"
# The shell the program starts on "desk new" has exactly this command line.
SHELL_COMMAND = "explorer"

# --- log lines ----------------------------------------------------------------------------------

BANNER = ("hello\r\n"
          f"Kalvo双桌面 {VERSION}\r\n"
          "欢迎使用双桌面\r\n"
          "快捷热键操作说明\r\n"
          "退出:\r\n"
          "Ctrl+Alt+K\r\n"
          "隐藏/显示托盘:\r\n"
          "Ctrl+Alt+H\r\n"
          "切换:\r\n"
          "Ctrl+Alt+N\r\n"
          "Ctrl+Alt+Enter\r\n")
MAKING = "Making desk new..   \r\n"
READY = "desk new ok\r\n"
# Wine gives every program an administrator's elevated split token and "Default" no shell, so the
# shell of "desk new" starts with a limited token.
LIMITED_SHELL = "MakeDesktop: explorer started with a limited token,administrators deny-only,medium integrity\r\n"
# The desktop creation thread logs these a moment after start-up when all goes well.
CREATION_LINES = (LIMITED_SHELL, MAKING, READY)
REFUSED = "还没启动完毕，不能切换\r\n"
# A name of the first copy's that another program holds as some other object (error 6).
EVENT_FAILED = "CreateEvent eventsStr[{}]{} failed,error no 6 \r\n"
# The start's message box when the single-instance marker's name is another object's.
MARKER_TAKEN = ("双桌面无法启动：名称 hTOLVATOP2RUNNING 已被其他程序占用 (错误号 6)。\r\n"
                "请关闭占用它的程序后再启动双桌面。")
RESTART = "desk n is dead\r\nnow restart it ..\r\n"
TASKBAR_RESTARTED = "explorer restarted..\r\n"
SHELL_RESTART = "explorer of desk new ended,restart it ..\r\n"
# A shell that cannot start: the system's text for error 193 keeps its insert.
SHELL_FAILED_193 = ("Make desk new failed,reStr is MakeDesktop: CreateProcess explorer failed,error no 193 ,"
                    "reason is %1 ")
SECOND_COPY_RESTART = "second copy of desk new ended,restart it ..\r\n"
# A cancelled logoff while the user's programs are open on "desk new".
QUESTION_CLOSED = "exit question closed by the exit,the screen stays\r\n"
WORK_OPEN = "desk new 上还有程序窗口开着, 注销或关机前请先切换过去处理\r\n"
OK_BALLOON = "启动已OK\r\n"
# The second copy's balloon when a key of "desk new" could not be registered (other than taken in the session).
HOTKEYS_FAILED = "热键注册失败:"
# The update worker's last words in the test builds, whose server refuses at once.
UPDATE_FAILED = "updating failed,please check your network or firewal..\r\n"

# --- the state record ---------------------------------------------------------------------------

MACHINE_KEY = "HKLM\\Software\\qz57tolva2"
USER_KEY = "HKCU\\Software\\qz57tolva2"
RECORD_VALUE = "tolva"
RECORD_DEFAULTS = ("20080101", VERSION, "hello!", "null")
# The native build (tools/build.sh: build/native) holds the program's own record code as a tool,
# so the tests never carry a second copy of the cipher.
RECORD_TOOL = REPO / os.environ.get("TOLVA_NATIVE_DIR", "build/native") / "record_tool"


def record_tool(*args):
    check(RECORD_TOOL.is_file(), f"{RECORD_TOOL} is missing: build the native configuration")
    result = subprocess.run([str(RECORD_TOOL), *args], capture_output=True, timeout=30)
    return result.returncode, result.stdout.decode("gbk")


def encode(r_time, texts):
    rc, out = record_tool("encode", str(r_time), *texts)
    check(rc == 0, f"record_tool encode failed: {rc}")
    return out.strip()


def encipher(text):
    rc, out = record_tool("encipher", text)
    check(rc == 0, f"record_tool encipher failed: {rc}")
    return out.strip()


def decode(hex_value):
    """(fields as a dict, the lines the program logs on reading this value)."""
    _, out = record_tool("decode", hex_value)
    fields, lines = {}, []
    for line in out.splitlines():
        name, sep, value = line.partition("=")
        if sep and name.startswith("r_"):
            fields[name] = value
        else:
            lines.append(line + "\r\n")
    return fields, lines


def stored(p, key=MACHINE_KEY, view=None):
    """The record value under key as hex, or None when the value (or the key) is missing. Reads
    the registry view the program under test writes unless view names the other one."""
    values = p.reg_query(key, view=view) if view else p.reg_query(key)
    if values is None or RECORD_VALUE not in values:
        return None
    kind, data = values[RECORD_VALUE]
    check(kind == "REG_BINARY", f"{key}\\{RECORD_VALUE} is {kind}, not REG_BINARY")
    return data


def store(p, hex_value, key=MACHINE_KEY):
    check(p.reg("add", key, "/v", RECORD_VALUE, "/t", "REG_BINARY", "/d", hex_value, "/f")
          and stored(p, key) == hex_value.upper(), f"could not write {key}\\{RECORD_VALUE}")


# --- the program's windows ----------------------------------------------------------------------


def query(p, hwnd, selector):
    return p.send(hwnd, WM_TOLVA_QUERY, selector)


def log(p, hwnd):
    return p.text(hwnd, IDC_LOG)


def log_lines_after_banner(p, hwnd, banner=BANNER):
    """The log's lines after the banner, without the creation thread's; fails when the banner
    is not the log's exact beginning."""
    text = log(p, hwnd)
    check(text.startswith(banner), f"log does not begin with the banner: {text!r}")
    lines = text[len(banner):].splitlines(keepends=True)
    return [line for line in lines if line not in CREATION_LINES]


# The update worker's two failure lines come about ten seconds after start (later on a slow run),
# whenever that lands: a comparison of the log around an action leaves them out.
_UPDATE_FAILURE = re.compile(r"connect to http://\S+ failed\.\.\r\n$")


def lines_an_action_writes(p, hwnd):
    """log_lines_after_banner without the update worker's failure lines, which no action writes."""
    return [line for line in log_lines_after_banner(p, hwnd)
            if line != UPDATE_FAILED and not _UPDATE_FAILURE.match(line)]


def start_first_copy(p, args=()):
    """Starts the program as the first copy; returns its Popen and its window."""
    proc = p.start(args)
    return proc, p.find(MAIN_TITLE, 20000)


def wait_ready(p, hwnd):
    """Waits until the second copy has reported readiness and the switch would be carried out."""
    wait_until(lambda: READY in log(p, hwnd), 30, 0.3, "the second copy never reported readiness")
    wait_until(lambda: query(p, hwnd, Q_SWITCH_STATE) == ON_DEFAULT, 15, 0.3, "the first copy never became ready")


def start_pair(p):
    """Starts the first copy and waits until the second copy has reported readiness; returns the
    first copy's Popen, its window and the second copy's window."""
    proc, main = start_first_copy(p)
    wait_until(lambda: READY in log(p, main), 60, 0.5, "the second copy never reported readiness")
    second = p.find(SECOND_TITLE, 10000, NEW_DESKTOP)
    return proc, main, second


def open_running_dialog(p):
    """A further start while the first copy runs: its Popen and its dialog."""
    proc = p.start()
    return proc, p.find(RUNNING_TITLE, 20000)


def second_copy_pid(p):
    rows = [w for w in p.windows(NEW_DESKTOP) if w[3] == SECOND_TITLE]
    check(len(rows) == 1, f"expected one second copy window on {NEW_DESKTOP!r}, found {len(rows)}")
    return rows[0][1]


def exit_program(p, proc, hwnd):
    """Ends the program with command 1008 (its exit button) and waits until no copy is left."""
    p.send(hwnd, WM_COMMAND, IDC_EXIT, 0)
    wait_until(lambda: proc.poll() is not None, 20, message="the program did not end on command 1008")
    wait_until(lambda: p.procs_named() == 0, 20, message="a program process is left after exit")


# --- balloons and the tray ----------------------------------------------------------------------

_UNESCAPE = {"r": "\r", "n": "\n", "\\": "\\"}


def balloons(p):
    """Visible shell balloons as (hwnd, titled BALLOON_TITLE, text)."""
    rc, out = p.driver("balloons", BALLOON_TITLE)
    check(rc == 0, f"driver balloons failed ({rc}): {out.strip()}")
    rows = []
    for line in out.splitlines():
        hwnd, titled, text = line.split(" ", 2)
        text = re.sub(r"\\(.)", lambda m: _UNESCAPE[m.group(1)], text)
        rows.append((hwnd, titled == "1", text))
    return rows


# Wine's tray shows a balloon about two seconds after it is asked for: a watch for one that should
# not come lasts well beyond that.
BALLOON_DELAY_WATCH = 6


def no_balloon_for(p, seconds=BALLOON_DELAY_WATCH, text=None):
    """Fails when a balloon (with this text, or any) shows within seconds."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        shown = [row for row in balloons(p) if text is None or row[2] == text]
        check(not shown, f"unexpected balloon: {shown!r}")
        time.sleep(0.3)


def balloon_texts(p, desktop=None):
    """Texts of the balloons on the desktop (the current one by default): the tray shows each as a
    shown, untitled window. Only the input desktop's windows count as visible: elsewhere the style
    says whether one is shown."""
    texts = []
    for hwnd, _, visible, title in p.windows(desktop):
        if title:
            continue
        if not visible and desktop:
            style = p.answer("style", hwnd)  # None: the balloon closed meanwhile
            visible = style is not None and bool(parse_int(style) & WS_VISIBLE)
        if visible:
            text = p.answer("text", hwnd)  # None: the balloon closed meanwhile
            if text:
                texts.append(text)
    return texts


def tray_holds_icons(p, desktop=None):
    """Whether Wine's tray window on the desktop is shown, that is, holds an icon."""
    for _ in range(3):
        trays = [hwnd for hwnd, _, _, title in p.windows(desktop) if title == TRAY_TITLE]
        if not trays:
            return False
        # Wine may replace its tray window between the listing and the question: list again.
        out = p.answer("style", trays[0])
        if out is not None:
            return bool(parse_int(out) & WS_VISIBLE)
    raise Failed(f"the tray window of {desktop or 'Default'} kept vanishing")


# --- processes seen from Linux ------------------------------------------------------------------


def command_lines(p, with_loader=False):
    """Command lines of the prefix's processes, read from Linux, where Wine shows each process's
    Windows command line split into words; with_loader, as (Wine loader, command line) pairs."""
    lines = []
    for pid in prefix_processes(p.path):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                words = f.read().decode("utf-8", "replace").split("\0")
            loader = os.readlink(f"/proc/{pid}/exe")
        except OSError:
            continue
        line = " ".join(word.strip() for word in words if word.strip())
        lines.append((loader, line) if with_loader else line)
    return lines


def current_folders(p):
    """(command line, Unix current directory) of the prefix's processes: a Wine process's Unix
    current directory is the Windows one it was started with."""
    folders = []
    for pid in prefix_processes(p.path):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                words = [w.strip() for w in f.read().decode("utf-8", "replace").split("\0") if w.strip()]
            folders.append((" ".join(words), os.path.realpath(f"/proc/{pid}/cwd")))
        except OSError:
            continue
    return folders


def shell_pids(p):
    """Unix pids of the shells the program started (command line SHELL_COMMAND exactly)."""
    pids = []
    for pid in prefix_processes(p.path):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                words = [w.strip() for w in f.read().decode("utf-8", "replace").split("\0") if w.strip()]
        except OSError:
            continue
        if words == [SHELL_COMMAND]:
            pids.append(pid)
    return pids


def started_shells(p):
    """Shells the program started: command line "explorer" exactly. Wine's own explorer.exe
    processes, one per desktop in use, run as "C:\\windows\\system32\\explorer.exe /desktop"."""
    return command_lines(p).count(SHELL_COMMAND)


def first_copy_cpu_seconds(p):
    """Processor time the first copy has used so far, read from Linux (Wine reports none for
    other processes). Its command line names the program; the second copy's does not."""
    for pid in prefix_processes(p.path):
        try:
            cmdline = open(f"/proc/{pid}/cmdline", "rb").read()
            if b"tolva2.exe" not in cmdline or b"makedesktop" in cmdline:
                continue
            fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    raise Failed("no first copy among the prefix's processes")


def unix_pids(p, image):
    """Unix pids of the prefix's processes whose command line names image (e.g. notepad.exe)."""
    pids = []
    for pid in prefix_processes(p.path):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if image.encode() in f.read().lower():
                    pids.append(pid)
        except OSError:
            continue
    return pids


def xdotool(*args):
    """Runs xdotool on the tests' display; fails the test when it fails, so no key is believed sent
    that was not."""
    result = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=30)
    check(result.returncode == 0, f"xdotool {' '.join(map(str, args))} failed: {result.stderr.strip()}")
    return result.stdout


def x_windows(unix_pid):
    """The mapped X windows of a Wine process. Wine draws every desktop's windows on the one X
    screen, so a window on "desk new" has an X window like any other, marked with the Unix pid."""
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(unix_pid)], capture_output=True,
                            text=True, timeout=30)
    return result.stdout.split()  # none found: exit code 1 and no output


def samples(p, hwnd, selector, seconds, interval=0.5):
    """The query's answers, every interval for seconds."""
    values = []
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        values.append(query(p, hwnd, selector))
        time.sleep(interval)
    return values
