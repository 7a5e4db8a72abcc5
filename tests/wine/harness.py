"""Runs the real program under Wine for the integration tests: one fresh prefix per test.

A test gets a Prefix: a copy of the template prefix with its own wineserver, its own copy of
tolva2.exe and of the test driver in C:\\tolva2, helpers that run the driver, and a clean stop
that leaves no Wine process of that prefix behind.
"""

import atexit
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]


def _dir_from_env(name, default):
    path = Path(os.environ.get(name, default))
    return path if path.is_absolute() else REPO / path


# The x86_64 build holds the test driver (it drives both programs) and the benchmark's empty dialog.
WIN64_DIR = _dir_from_env("TOLVA_WIN64_DIR", "build/win64")
TEMPLATE = _dir_from_env("TOLVA_WINE_TEMPLATE", "build/wine-template")

# The program under test, chosen by TOLVA_ARCH (run.py --arch): the i686 program, the one users
# download, runs under 32-bit Wine in the template's WOW64 prefix; the x86_64 one under 64-bit Wine.
# Each has a build on loopback and a variant whose update server is on a loopback port of its own
# (tools/build.sh; its site is on the next port), so both programs' update tests can run at once;
# the registry view it writes; and the Wine loader its Unix process runs under
# (/usr/lib/wine/wine64 hands a 32-bit program to /usr/lib/wine/wine).
ARCHES = {
    "x86_64": dict(dir=("TOLVA_WIN64_DIR", "build/win64"), update=("TOLVA_WIN64_UPDATE_DIR", "build/win64-update"),
                   update_port=18091, view="64", loader="/usr/lib/wine/wine64"),
    "i686": dict(dir=("TOLVA_WIN32_DIR", "build/win32"), update=("TOLVA_WIN32_UPDATE_DIR", "build/win32-update"),
                 update_port=18093, view="32", loader="/usr/lib/wine/wine"),
}
ARCH = os.environ.get("TOLVA_ARCH", "x86_64")
if ARCH not in ARCHES:
    raise SystemExit(f"TOLVA_ARCH={ARCH!r}: expected one of {', '.join(ARCHES)}")
PROGRAM_DIR = _dir_from_env(*ARCHES[ARCH]["dir"])
UPDATE_DIR = _dir_from_env(*ARCHES[ARCH]["update"])
UPDATE_PORT = ARCHES[ARCH]["update_port"]
HOME_PORT = UPDATE_PORT + 1
REG_VIEW = ARCHES[ARCH]["view"]
OTHER_REG_VIEW = "32" if REG_VIEW == "64" else "64"
PROGRAM_LOADER = ARCHES[ARCH]["loader"]
# Wine's own programs (explorer.exe of the Windows folder among them) are 64-bit in either case.
WINE64_LOADER = ARCHES["x86_64"]["loader"]
PROGRAM = "tolva2.exe"
DRIVER = "tolva_driver.exe"
# The folder of the prefix (drive_c/tolva2) that holds the test's copies of the program and driver.
WIN_DIR = "C:\\tolva2"
# The driver's first words, on stderr. Wine now and then fails to start a process at all on a busy
# machine (exit code 1, no output; once STATUS_DLL_NOT_FOUND for a freshly copied program): a run
# without them never reached the command, so it is safe to repeat. Its last words are
# "driver done <exit code>".
DRIVER_RAN = "driver ran"
DRIVER_STARTS = 3
# The driver's exit codes: 3 says the window, event or process named is not there; 1 that a call
# failed, so nothing is known about it.
DRIVER_OK, DRIVER_FAILED, DRIVER_USAGE, DRIVER_NOT_FOUND = 0, 1, 2, 3
# Commands that only read: a run of one that ended before its command did may simply run again.
DRIVER_READS = {"find", "text", "rect", "style", "exstyle", "visible", "pid", "focus", "child", "class", "procs",
                "event-exists", "handles", "gdi", "gdi-count", "mem", "metrics", "acp", "windows", "tooltips",
                "balloons"}
# Wine's own error messages (quiet in a sound run) go with the driver's stderr, to say why it failed.
DRIVER_WINEDEBUG = "-all,err+all"

# Win32's own messages and values the tests send or read; the program's are in tolva.py.
WM_NULL = 0x0000
WM_CLOSE = 0x0010
WM_KEYDOWN = 0x0100
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
WM_LBUTTONUP = 0x0202
WM_HOTKEY = 0x0312
SC_MINIMIZE = 0xF020
SC_CLOSE = 0xF060
VK_RETURN = 0x0D
VK_ESCAPE = 0x1B
WS_EX_TOPMOST = 0x00000008
WS_MINIMIZE = 0x20000000
WS_VISIBLE = 0x10000000

_wine_env = None
_xvfb = None


class Failed(AssertionError):
    pass


class HarnessLost(Exception):
    """The harness, not the program, failed: a driver run that never started or never finished, a
    prefix or display that could not be set up. Only this earns a test a second run."""


def check(condition, message):
    if not condition:
        raise Failed(message)


def wait_until(predicate, timeout=10.0, interval=0.1, message=None):
    """Polls predicate until it returns something true and returns that; fails after timeout s."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failed(message or f"condition not met within {timeout} s")
        time.sleep(interval)


def wine_env():
    """The environment of tools/wine-env.sh, read once, on top of this process's own."""
    global _wine_env
    if _wine_env is None:
        out = subprocess.run(["bash", "-c", f'. "{REPO}/tools/wine-env.sh" && env -0'],
                             check=True, capture_output=True).stdout
        _wine_env = dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)
    return _wine_env


def ensure_display():
    """Uses $DISPLAY when it answers, else starts a private Xvfb (tools/xvfb.sh) for this process's
    lifetime."""
    global _xvfb
    result = subprocess.run(["bash", str(REPO / "tools/xvfb.sh")], capture_output=True,
                            stdin=subprocess.DEVNULL, text=True)
    out = result.stdout
    values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    if result.returncode != 0 or not values.get("DISPLAY"):
        raise HarnessLost(f"tools/xvfb.sh gave no display ({result.returncode}): {out!r} {result.stderr.strip()!r}")
    os.environ["DISPLAY"] = values["DISPLAY"]
    if "TOLVA_XVFB_PID" in values:
        _xvfb = int(values["TOLVA_XVFB_PID"])
        atexit.register(stop_display)
    return os.environ["DISPLAY"]


def _running(pid):
    """Whether the process exists and has not ended (a zombie has)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def stop_display():
    """Ends the Xvfb that ensure_display started, if any."""
    global _xvfb
    if _xvfb is not None:
        try:
            os.kill(_xvfb, signal.SIGTERM)
            # Not this process's child (the script that started it has ended): wait for it to go.
            wait_until(lambda: not _running(_xvfb), 10, 0.05, "Xvfb did not end")
        except OSError:
            pass
        _xvfb = None


def ensure_template():
    if subprocess.run([str(REPO / "tools/wine-prefix.sh"), str(TEMPLATE)]).returncode != 0:
        raise HarnessLost(f"tools/wine-prefix.sh could not set up {TEMPLATE}")


# Hosts a test run may reach; XML namespaces in the manifest look like URLs but are never fetched.
_LOCAL_HOSTS = {b"127.0.0.1", b"localhost"}
_NAMESPACE_HOSTS = {b"schemas.microsoft.com", b"www.w3.org"}


def remote_hosts(exe):
    """Hosts of the http:// addresses built into a program other than loopback."""
    hosts = set()
    for match in re.finditer(rb"https?://([A-Za-z0-9.-]+)", exe.read_bytes()):
        host = match.group(1)
        # A dotless "host" is a scheme prefix the code checks for, not an address.
        if b"." in host and host not in _LOCAL_HOSTS and host not in _NAMESPACE_HOSTS:
            hosts.add(host.decode())
    return sorted(hosts)


def check_build(names=(PROGRAM, DRIVER), program_dir=None):
    program_dir = Path(program_dir) if program_dir else PROGRAM_DIR
    for name in names:
        path = (program_dir if name == PROGRAM else WIN64_DIR) / name
        check(path.is_file(), f"{path} is missing: build it with tools/build.sh")
    if PROGRAM in names:
        # Tests reach the network only on loopback: a program built for real servers would
        # resolve and contact them ten seconds into every test.
        hosts = remote_hosts(program_dir / PROGRAM)
        check(not hosts, f"{program_dir / PROGRAM} is built to contact {', '.join(hosts)}; configure that "
                         "build with -DTOLVA_UPDATE_HOST=127.0.0.1:9 -DTOLVA_HOME_HOST=127.0.0.1:9 for the tests")


def prefix_processes(prefix):
    """Pids of the processes (wineserver and every Windows process) that run in this prefix."""
    wanted = f"WINEPREFIX={prefix}".encode()
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if wanted in f.read().split(b"\0"):
                    pids.append(int(entry))
        except OSError:
            continue
    return pids


def parse_int(text):
    return int(text.strip(), 0)


class Prefix:
    """One test's Wine prefix. Use as a context manager; everything ends with it."""

    def __init__(self, name="test", program_dir=None):
        self.name = name
        # Another build of the program (same driver), e.g. one configured for another update server.
        self.program_dir = Path(program_dir) if program_dir else PROGRAM_DIR
        self.tmp = Path(tempfile.mkdtemp(prefix=f"tolva-wine-{name}-"))
        self.path = self.tmp / "prefix"
        self.dir = self.path / "drive_c" / "tolva2"
        self.env = dict(os.environ, **wine_env(), WINEPREFIX=str(self.path))
        self.wine = self.env["WINE"]
        self.wineserver = self.env["WINESERVER"]
        self.procs = []
        self._outputs = 0
        self._metrics = None
        self.driver_start_failures = []
        self.driver_unfinished = []
        self.repeat_unfinished = False

    def __enter__(self):
        try:
            subprocess.run(["cp", "-a", str(TEMPLATE), str(self.path)], check=True)
            self.dir.mkdir()
            for source in (self.program_dir / PROGRAM, WIN64_DIR / DRIVER):
                if source.is_file():
                    shutil.copy2(source, self.dir / source.name)
            # A persistent server keeps each driver call at a fraction of a second.
            subprocess.run([self.wineserver, "-p"], env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.CalledProcessError as error:
            self._stop()
            raise HarnessLost(f"could not set up the prefix of {self.name}: {error}") from error
        except BaseException:
            self._stop()
            raise
        return self

    def __exit__(self, exc_type, exc, tb):
        left = self._stop()
        if left and exc_type is None:
            raise Failed(f"wine processes of the prefix were left running: {left}")
        return False

    def _stop(self):
        """Ends every process of the prefix and removes it; returns what had to be killed by pid."""
        subprocess.run([self.wineserver, "-k"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            subprocess.run([self.wineserver, "-w"], env=self.env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            pass
        for proc in self.procs:
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
        left = prefix_processes(self.path)
        for pid in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        shutil.rmtree(self.tmp, ignore_errors=True)
        return left

    # --- running things in the prefix -----------------------------------------------------

    def restart_at_dpi(self, dpi):
        """Ends every process of the prefix and sets the display's scale (LogPixels: 96 is 100 %,
        192 is 200 %) for what starts next. Wine reads it only when the prefix's server starts, in
        both places, so the server is stopped, the values written, and the server started again."""
        def server(flag):
            subprocess.run([self.wineserver, flag], env=self.env, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        server("-k")
        server("-w")
        for key in (r"HKCU\Control Panel\Desktop",
                    r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts"):
            # Setting up the prefix: a value that could not be written is the harness's loss.
            result = subprocess.run([self.wine, "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi),
                                     "/f"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, timeout=60)
            if result.returncode != 0:
                raise HarnessLost(f"could not set LogPixels {dpi} under {key} ({result.returncode})")
        server("-k")
        server("-w")
        subprocess.run([self.wineserver, "-p"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._metrics = None

    def set_locale(self, lc_all):
        """Locale of the processes started from now on; it sets their ANSI code page
        (zh_CN.UTF-8: 936, C.UTF-8: 1252)."""
        self.env["LC_ALL"] = lc_all

    def acp(self):
        return parse_int(self._value("acp"))

    def start(self, args=(), cwd=None, exe=PROGRAM):
        """Starts the program (its own copy in C:\\tolva2) and returns the Popen of wine64.
        exe may also name a Windows program of the prefix, such as notepad.exe."""
        command = f"{WIN_DIR}\\{exe}" if (self.dir / exe).is_file() else exe
        log = open(self.tmp / f"wine-{len(self.procs)}.log", "wb")
        proc = subprocess.Popen([self.wine, command, *args], env=self.env,
                                cwd=cwd or self.dir, stdin=subprocess.DEVNULL,
                                stdout=log, stderr=subprocess.STDOUT)
        log.close()
        self.procs.append(proc)
        return proc

    # Output goes to files, never pipes: Wine processes that a call happens to start (services,
    # explorer) inherit its handles and live on, so a pipe would never reach its end.
    def _output_file(self):
        self._outputs += 1
        return self.tmp / f"driver-{self._outputs}.out"

    def driver(self, *args, timeout=60):
        """Runs the test driver; returns (exit code, stdout as text) of a run that did its command.
        The driver brackets its work with "driver ran" and "driver done <code>" on stderr. A run
        without the first never started (Wine failed to start the process): it is repeated, up to
        DRIVER_STARTS times in all, and noted in self.driver_start_failures as (command, exit
        code, stderr). A run with the first but not the last ended before its command did: it is
        noted in self.driver_unfinished and repeated when the command only reads (DRIVER_READS) or
        self.repeat_unfinished is set (the soak, whose actions bear repeating); otherwise nobody
        knows what it did, and HarnessLost says so. So does a run that never ends, and the last of
        DRIVER_STARTS lost runs."""
        for attempt in range(DRIVER_STARTS):
            path = self._output_file()
            err = path.with_suffix(".err")
            with open(path, "wb") as out, open(err, "wb") as err_out:
                try:
                    result = subprocess.run([self.wine, f"{WIN_DIR}\\{DRIVER}", *map(str, args)],
                                            env=dict(self.env, WINEDEBUG=DRIVER_WINEDEBUG), stdin=subprocess.DEVNULL,
                                            stdout=out, stderr=err_out, timeout=timeout)
                except subprocess.TimeoutExpired as error:
                    raise HarnessLost(f"driver {' '.join(map(str, args))} did not end within {timeout} s") from error
            text = path.read_bytes().decode("utf-8", errors="replace")
            err_text = err.read_bytes().decode("utf-8", errors="replace")
            # Thousands of runs in a soak: keep only what explains a failure.
            path.unlink()
            done = re.search(r"^driver done (-?\d+)", err_text, re.M)
            if done:
                err.unlink()
                return int(done.group(1)), text
            note = (" ".join(map(str, args)), result.returncode, err_text.strip())
            if DRIVER_RAN in err_text:
                self.driver_unfinished.append(note)
                if not (self.repeat_unfinished or args[0] in DRIVER_READS):
                    raise HarnessLost(f"driver {note[0]} ended before its command did (exit code "
                                      f"{result.returncode}, stdout {text.strip()!r}, stderr {err_text.strip()!r})")
            else:
                self.driver_start_failures.append(note)
            time.sleep(0.5 * (attempt + 1))
        raise HarnessLost(f"driver {args[0]} did not run to its end in {DRIVER_STARTS} tries (exit code "
                          f"{result.returncode}, stdout {text.strip()!r}, stderr {err_text.strip()!r})")

    def answer(self, *args):
        """Runs the driver for a command whose object may be absent: its stdout, or None when the
        driver found no such window, event or process. A call that failed fails the test."""
        rc, out = self.driver(*args)
        if rc == DRIVER_NOT_FOUND:
            return None
        check(rc == DRIVER_OK, f"driver {' '.join(map(str, args))} failed ({rc}): {out.strip()}")
        return out

    def driver_background(self, *args, first_line_timeout=30):
        """Starts the driver without waiting for it; returns (Popen, its first output line)."""
        path = self._output_file()
        err = path.with_suffix(".err")
        with open(path, "wb") as out, open(err, "wb") as err_out:
            proc = subprocess.Popen([self.wine, f"{WIN_DIR}\\{DRIVER}", *map(str, args)],
                                    env=dict(self.env, WINEDEBUG=DRIVER_WINEDEBUG), stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err_out)
        self.procs.append(proc)

        def first_line():
            text = path.read_bytes().decode("utf-8", errors="replace")
            if "\n" in text:
                return text.split("\n", 1)[0].strip()
            return "(ended)" if proc.poll() is not None else None

        try:
            line = wait_until(first_line, first_line_timeout, 0.05, f"driver {args[0]} printed nothing")
        except Failed:
            line = None
        err_text = err.read_bytes().decode(errors="replace")
        if DRIVER_RAN not in err_text:
            # Never started (or not yet, long after): nothing of its command happened.
            raise HarnessLost(f"driver {args[0]} in the background did not start; stderr {err_text!r}")
        check(line is not None, f"driver {args[0]} printed nothing; stderr {err_text!r}")
        return proc, line

    def _value(self, *args):
        rc, out = self.driver(*args)
        what = "found nothing" if rc == DRIVER_NOT_FOUND else "failed"
        check(rc == DRIVER_OK, f"driver {' '.join(map(str, args))} {what} ({rc}): {out.strip()}")
        return out

    # --- windows --------------------------------------------------------------------------

    def find(self, title, timeout_ms=10000, desktop=None):
        """The handle (as the driver prints it) of the top-level window with this exact title."""
        out = self.try_find(title, timeout_ms, desktop)
        check(out is not None, f"no window titled {title!r} within {timeout_ms} ms")
        return out

    def try_find(self, title, timeout_ms=0, desktop=None):
        """The handle, or None when no such window is there within timeout_ms."""
        out = self.answer("find", title, timeout_ms, *([desktop] if desktop else []))
        return None if out is None else out.strip()

    def text(self, hwnd, ctrl=None):
        return self._value("text", hwnd, *([ctrl] if ctrl is not None else []))

    def rect(self, hwnd):
        return tuple(int(v) for v in self._value("rect", hwnd).split())

    def exstyle(self, hwnd):
        return parse_int(self._value("exstyle", hwnd))

    def style(self, hwnd):
        return parse_int(self._value("style", hwnd))

    def visible(self, hwnd):
        return self._value("visible", hwnd).strip() == "1"

    def exists(self, hwnd):
        return self.answer("pid", hwnd) is not None

    def pid(self, hwnd):
        return parse_int(self._value("pid", hwnd))

    def child(self, hwnd, ctrl):
        return self._value("child", hwnd, ctrl).strip()

    def windows(self, desktop=None):
        """Top-level windows as (hwnd, pid, visible, title)."""
        out = self._value("windows", *([desktop] if desktop else []))
        rows = []
        for line in out.splitlines():
            hwnd, pid, visible, *title = line.split(" ", 3)
            rows.append((hwnd, int(pid), visible == "1", title[0] if title else ""))
        return rows

    def cursor(self, x, y):
        self._value("cursor", x, y)

    def focus(self, hwnd):
        """The focus window of hwnd's thread, or None when that thread holds no focus."""
        out = self.answer("focus", hwnd)
        return None if out is None else out.strip()

    def send(self, hwnd, msg, wparam=0, lparam=0):
        return parse_int(self._value("send", hwnd, msg, wparam, lparam))

    def send_rect(self, hwnd, msg, wparam, rect):
        """Sends msg with lparam the address of a RECT (left, top, right, bottom) that the driver
        writes into the window's own process, as the system passes WM_DPICHANGED's suggestion."""
        return parse_int(self._value("send-rect", hwnd, msg, wparam, *rect))

    def post(self, hwnd, msg, wparam=0, lparam=0):
        self._value("post", hwnd, msg, wparam, lparam)

    def sendreg(self, hwnd, name, wparam=0, lparam=0):
        return parse_int(self._value("sendreg", hwnd, name, wparam, lparam))

    def postreg(self, hwnd, name, wparam=0, lparam=0):
        self._value("postreg", hwnd, name, wparam, lparam)

    def click(self, hwnd, ctrl):
        self._value("click", hwnd, ctrl)

    def move(self, hwnd, x, y):
        self._value("move", hwnd, x, y)

    def tooltips(self, pid, desktop=None):
        """The tooltip windows of process pid as {hwnd: number of tools}."""
        out = self.answer("tooltips", pid, *([desktop] if desktop else [])) or ""
        return dict((hwnd, int(tools)) for hwnd, tools in (line.split() for line in out.splitlines()))

    def metrics(self):
        """SM_CXFULLSCREEN, SM_CYFULLSCREEN, SM_CYCAPTION and the work area, read once."""
        if self._metrics is None:
            values = {}
            for line in self._value("metrics").splitlines():
                key, *numbers = line.split()
                values[key] = tuple(int(n) for n in numbers) if len(numbers) > 1 else int(numbers[0])
            self._metrics = values
        return self._metrics

    # --- processes and kernel objects -----------------------------------------------------

    def procs_named(self, exe=PROGRAM):
        return parse_int(self._value("procs", exe))

    def event_exists(self, name):
        return self.answer("event-exists", name) is not None

    def signal(self, name):
        """Sets the named event; False when there is no such event."""
        return self.answer("signal", name) is not None

    def reg(self, *args, view=REG_VIEW):
        """Runs reg.exe on the registry view the program under test writes (or view); True on success."""
        result = subprocess.run([self.wine, "reg", *args, f"/reg:{view}"], env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        return result.returncode == 0

    def reg_dacl(self, key, sddl, view=REG_VIEW):
        """Gives a key (created if missing) of the program's registry view the DACL in SDDL."""
        rc, out = self.driver("reg-dacl", key, sddl, view)
        check(rc == 0, f"could not give {key} the DACL {sddl}: {out.strip()}")

    def reg_query(self, key, value=None, view=REG_VIEW):
        """Values under a registry key as {name: (type, data)}, or one value's data; None if missing.
        Reads the view the program under test writes unless view says otherwise."""
        args = [self.wine, "reg", "query", key] + (["/v", value] if value is not None else []) + [f"/reg:{view}"]
        # reg prints in the console code page: C keeps it plain ASCII for the names we ask about.
        # Into a file: as the first Wine process of a prefix, reg starts services that hold a pipe open.
        # reg says why it found nothing; a run with no word at all never started (a read: run it again).
        for attempt in range(DRIVER_STARTS):
            path = self._output_file()
            with open(path, "wb") as out:
                try:
                    result = subprocess.run(args, env=dict(self.env, LC_ALL="C"), stdin=subprocess.DEVNULL, stdout=out,
                                            stderr=subprocess.STDOUT, timeout=60)
                except subprocess.TimeoutExpired as error:
                    raise HarnessLost(f"reg query {key} did not end within 60 s") from error
            text = path.read_bytes().decode("latin-1").replace("\r", "")
            if result.returncode == 0 or text.strip():
                break
            time.sleep(0.5 * (attempt + 1))
        else:
            raise HarnessLost(f"reg query {key} did not run in {DRIVER_STARTS} tries (exit code {result.returncode})")
        if result.returncode != 0:
            check(re.search(r"^reg: Unable to find the specified registry (key|value)$", text, re.M),
                  f"reg query {key} failed ({result.returncode}): {text.strip()!r}")
            return None
        values = {}
        for line in text.splitlines():
            # "    name    REG_SZ    data": fields are four blanks apart, names may hold one.
            parts = line[4:].split("    ", 2) if line.startswith("    ") else []
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
        if value is not None:
            return values.get(value, (None, None))[1]
        return values
