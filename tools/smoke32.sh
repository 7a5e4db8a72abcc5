#!/usr/bin/env bash
# Slow smoke test of the shipped 32-bit (i686) program: runs it under qemu-user emulation with
# 32-bit Wine and checks start-up, the main window, the banner, the record in the 32-bit registry
# view, the diagnostic query and the exit. Not part of tools/test.sh: each 32-bit process start
# costs over a minute here, and the first run sets up emulation and a prefix (several minutes).
#
# Usage: tools/smoke32.sh [PROGRAM.exe]
#   Without an argument it builds build/win32-loopback/tolva2.exe (update server and site on
#   loopback, so nothing asks DNS). Prints PASS/FAIL per check; exits 1 when any check failed,
#   2 on a usage error or a program built for servers off loopback. SMOKE32_ATTEMPTS (default 3):
#   starts tried when the program crashes under emulation before its checks are done.
# Needs root (or sudo) the first time: i386 packages and the binfmt_misc registration.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$PWD
t0=$(date +%s)
say() { echo "smoke32: [$(($(date +%s) - t0)) s] $*"; }

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"

template=$repo/build/wine-template32
work=$repo/build/smoke32
prefix=$work/prefix
# Raise when the prefix's contents change, so an old one is rebuilt.
template_stamp="tolva smoke32 prefix 1"
binfmt=/proc/sys/fs/binfmt_misc
# Debian registers no i386 interpreter on amd64 hosts; this is qemu's own i386 ELF pattern.
# F: the kernel opens the interpreter now, so it works inside any mount namespace later.
binfmt_entry=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'
wine32_packages=(qemu-user-static binfmt-support wine32:i386
  libxrender1:i386 libxcursor1:i386 libxi6:i386 libxrandr2:i386 libxinerama1:i386
  libxcomposite1:i386 libxfixes3:i386)

# --- emulation ---------------------------------------------------------------------------------

wait_for_other_install() {
  # A machine-start install may still hold apt/dpkg: its log ends with "done" when it is finished.
  [ -f /tmp/bootstrap.log ] || return 0
  local waited=0
  until [ "$(tail -n 1 /tmp/bootstrap.log)" = "done" ]; do
    [ $waited -eq 0 ] && say "waiting for the install in /tmp/bootstrap.log to finish"
    [ $waited -ge 3600 ] && { say "the install in /tmp/bootstrap.log did not finish in an hour"; exit 1; }
    sleep 5
    waited=$((waited + 5))
  done
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

setup_emulation() {
  wait_for_other_install
  tools/bootstrap.sh >/dev/null
  local missing=() p
  for p in "${wine32_packages[@]}"; do installed "$p" || missing+=("$p"); done
  if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo_cmd dpkg --add-architecture i386
    $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
      --no-install-recommends "${missing[@]}" >/dev/null
  fi
  [ -x /usr/lib/wine/wine ] || { say "32-bit Wine loader /usr/lib/wine/wine is missing"; exit 1; }

  mountpoint -q "$binfmt" || $sudo_cmd mount -t binfmt_misc binfmt_misc "$binfmt"
  local entries e
  entries=$(grep -ls '^interpreter /usr/bin/qemu-i386-static' "$binfmt"/* || true)
  if [ -z "$entries" ]; then
    say "registering qemu-i386-static for i386 programs"
    printf '%s' "$binfmt_entry" | $sudo_cmd tee "$binfmt/register" >/dev/null
    enabled_here+=("$binfmt/qemu-i386")
  fi
  for e in $entries; do
    if ! head -n 1 "$e" | grep -qx enabled; then
      echo 1 | $sudo_cmd tee "$e" >/dev/null
      enabled_here+=("$e")
    fi
  done
}

# --- programs ----------------------------------------------------------------------------------

build_programs() {
  configure() {  # dir, args...
    local dir=$1; shift
    [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  }
  local loopback=(-DCMAKE_BUILD_TYPE=Release -DTOLVA_UPDATE_HOST=127.0.0.1:9 -DTOLVA_HOME_HOST=127.0.0.1:9)
  if [ -z "$program" ]; then
    configure build/win32-loopback -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake "${loopback[@]}"
    cmake --build build/win32-loopback --target tolva2 -j2 >/dev/null
    program=$repo/build/win32-loopback/tolva2.exe
  fi
  # The x86_64 test driver looks at the 32-bit program's windows: one prefix, one window station.
  configure build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake "${loopback[@]}"
  cmake --build build/win64 --target tolva_driver -j2 >/dev/null
  # The record check decodes the stored value with the program's own record code.
  configure build/native -DCMAKE_BUILD_TYPE=Debug -DTOLVA_WINE_TESTS=ON
  cmake --build build/native --target record_tool -j2 >/dev/null
}

# --- prefix ------------------------------------------------------------------------------------

make_template() {
  if [ -f "$template/.tolva-smoke32" ] && [ "$(cat "$template/.tolva-smoke32")" = "$template_stamp" ]; then
    return 0
  fi
  rm -rf "$template"
  say "making the 32-bit-capable prefix $template (wineboot under emulation, 3 to 6 min)"
  tools/wine-prefix.sh "$template" >/dev/null
  [ -f "$template/drive_c/windows/syswow64/kernel32.dll" ] ||
    { say "the prefix has no 32-bit system (syswow64)"; exit 1; }
  (
    # shellcheck source=tools/wine-env.sh
    . tools/wine-env.sh
    export WINEPREFIX=$template
    # A crash under emulation must not start winedbg (minutes): the debugger does not exist.
    for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
               'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
      "$WINE" reg add "$key" /v Debugger /t REG_SZ /d 'C:\windows\no-debugger.exe' /f >/dev/null 2>&1
      "$WINE" reg add "$key" /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1
    done
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w
  )
  grep -q 'no-debugger' "$template/system.reg" || { say "AeDebug settings missing in the prefix"; exit 1; }
  echo "$template_stamp" >"$template/.tolva-smoke32"
}

prefix_pids() { grep -lsaFxz "WINEPREFIX=$prefix" /proc/[0-9]*/environ | cut -d/ -f3 | grep -vx $$ || true; }

stop_prefix() {
  if [ -d "$prefix" ]; then
    WINEPREFIX=$prefix timeout 30 /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix timeout 30 /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
    # An emulated process still booting has no server connection yet and outlives "-k"; when it
    # connects it starts a new server. Each is ended by its pid.
    local pid _
    for _ in 1 2 3; do
      for pid in $(prefix_pids); do kill -9 "$pid" 2>/dev/null || true; done
      sleep 1
    done
    rm -rf "$prefix"
  fi
}

finish() {
  stop_prefix
  if [ -n "${TOLVA_XVFB_PID:-}" ]; then kill "$TOLVA_XVFB_PID" 2>/dev/null || true; fi
  # With i386 emulation on, every new Wine prefix on this machine boots its 32-bit side under
  # emulation (minutes instead of seconds): what this run switched on goes off again.
  local e
  for e in "${enabled_here[@]}"; do echo 0 | $sudo_cmd tee "$e" >/dev/null || true; done
}

# --- run ---------------------------------------------------------------------------------------

program=""
if [ $# -ge 1 ]; then
  program=$(realpath "$1")
  [ -f "$program" ] || { echo "smoke32: no program $1" >&2; exit 2; }
fi

enabled_here=()
unset TOLVA_XVFB_PID  # only a server that this run starts is stopped at the end
trap finish EXIT
setup_emulation
build_programs
say "program $program ($(stat -c %s "$program") bytes)"
# Nothing here may leave loopback: a program built for real servers would ask DNS for them.
# (The i686 runtime carries GCC's bug-report address in a message; it is never fetched.)
hosts=$(python3 -c 'import sys; sys.path.insert(0, "tests/wine"); import harness, pathlib
print(" ".join(h for h in harness.remote_hosts(pathlib.Path(sys.argv[1])) if h != "gcc.gnu.org"))' "$program")
if [ -n "$hosts" ]; then
  say "$program is built to contact $hosts; build it with -DTOLVA_UPDATE_HOST=127.0.0.1:9 -DTOLVA_HOME_HOST=127.0.0.1:9"
  exit 2
fi
make_template

# shellcheck source=tools/wine-env.sh
. tools/wine-env.sh
# shellcheck source=tools/xvfb.sh
. tools/xvfb.sh
rm -rf "$work"
mkdir -p "$work"

# Under emulation the program may crash on its own a few seconds after its window shows (qemu's
# i386 thread handling); such a run proves nothing either way and is repeated in a fresh prefix.
attempts=${SMOKE32_ATTEMPTS:-3}
for attempt in $(seq "$attempts"); do
  stop_prefix
  cp -a "$template" "$prefix"
  mkdir -p "$prefix/drive_c/tolva2"
  cp "$program" "$prefix/drive_c/tolva2/tolva2.exe"
  cp build/win64/tolva_driver.exe "$prefix/drive_c/tolva2/"
  # WINEPREFIX stays out of this shell's environment: stop_prefix ends whatever process carries it.
  WINEPREFIX=$prefix "$WINESERVER" -p

  say "attempt $attempt of $attempts: starting the 32-bit program (a start takes over a minute under emulation)"
  status=0
  timeout 1500 python3 - "$prefix" "$work/program-$attempt.log" <<'EOF' || status=$?
import os
import subprocess
import sys
import time
from pathlib import Path

repo = Path.cwd()
sys.path.insert(0, str(repo / "tests/wine"))
import harness  # noqa: E402
from harness import (IDC_EXIT, IDC_LOG, WM_COMMAND, WM_TOLVA_QUERY, Q_SWITCH_STATE, Q_TRAY_SHOWN,
                     Failed, check, wait_until)  # noqa: E402
from test_startup import BANNER, MAIN_TITLE  # noqa: E402
from test_state import DEFAULTS, MACHINE_KEY, USER_KEY, RECORD_OPERATIONS, check_record, stored  # noqa: E402

WOW64_KEY = "HKLM\\Software\\Wow6432Node\\qz57tolva2"
WINE32 = "/usr/lib/wine/wine"
prefix_path, program_log = Path(sys.argv[1]), Path(sys.argv[2])
started = time.monotonic()
failures = []


class Prefix(harness.Prefix):
    """The prepared prefix of this run, seen through the test harness's helpers."""

    def __init__(self, path):
        super().__init__("smoke32")
        self.path = path
        self.dir = path / "drive_c" / "tolva2"
        self.env["WINEPREFIX"] = str(path)


def report(name, ok, detail):
    if not ok:
        failures.append(name)
    print(f"{'PASS' if ok else 'FAIL'} {name} [{time.monotonic() - started:.1f} s] {detail}", flush=True)


def program_state():
    if proc.poll() is None:
        return "the program runs"
    return f"the program has ended ({proc.returncode}): {program_log.read_bytes()[-300:]!r}"


def run_check(name, fn):
    try:
        detail = fn()
    except (Failed, OSError, subprocess.SubprocessError) as error:
        report(name, False, f"{type(error).__name__}: {error}; {program_state()}")
        return False
    report(name, True, detail or "")
    return True


p = Prefix(prefix_path)
# The 64-bit side (services, explorer) starts first, so the 32-bit program boots none of it.
check(p.reg_query(WOW64_KEY) is None and p.reg_query(MACHINE_KEY) is None, "the prefix already holds a record")
print(f"smoke32: wine services up [{time.monotonic() - started:.1f} s]", flush=True)

log = open(program_log, "wb")
# SMOKE32_WINEDEBUG (e.g. "err+all,+seh") lets Wine tell why a run went wrong.
program_env = dict(p.env, WINEDEBUG=os.environ.get("SMOKE32_WINEDEBUG", p.env["WINEDEBUG"]))
proc = subprocess.Popen([WINE32, "C:\\tolva2\\tolva2.exe"], env=program_env, cwd=p.dir,
                        stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
log.close()
state = {}


# Under emulation a worker thread that ends takes the whole process down a few seconds after
# the window shows (qemu's i386 thread handling), so everything that needs the running program
# happens at once after the window appears, and the registry is read after the exit.
def window():
    rc, out = p.driver("find", MAIN_TITLE, 400000, timeout=420)
    check(rc == 0, f"no window titled {MAIN_TITLE!r} within 400 s")
    state["hwnd"] = out.strip()
    state["shown"] = time.monotonic() - started
    # Read from the server, so it answers while the program's start-up still runs.
    check(p.visible(state["hwnd"]), "the main window is not shown")
    return f"main window {state['hwnd']} shown, found {state['shown']:.1f} s after start"


def banner():
    text = p.text(state["hwnd"], IDC_LOG)
    check(text.startswith(BANNER), f"log does not begin with the banner: {text!r}")
    rest = text[len(BANNER):].splitlines(keepends=True)
    records = [line for line in rest if line.startswith(RECORD_OPERATIONS)]
    check(not records, f"a fresh start logged record lines: {records!r}")
    return f"the log begins with the {len(BANNER.splitlines())} banner lines; then {rest!r}"


def query_and_exit():
    """Three queries and the exit command from one driver process: (answers, time of the exit)."""
    rc, out = p.driver("sends", state["hwnd"], WM_TOLVA_QUERY, Q_SWITCH_STATE, 0, WM_TOLVA_QUERY, Q_TRAY_SHOWN, 0,
                       WM_TOLVA_QUERY, 99, 0, WM_COMMAND, IDC_EXIT, 0)
    state["sent"] = time.monotonic()
    state["sends_rc"] = rc
    # One line per answer; a send that failed ends the list with "failed <error>".
    for line in out.split("\n"):
        try:
            state["answers"].append(int(line.strip(), 0))
        except ValueError:
            break


def query():
    answers = state["answers"]
    check(len(answers) >= 3, f"the program answered {len(answers)} of 3 queries")
    switch, tray, unknown = answers[:3]
    check(switch in (0, 1, 2, 3), f"switch state {switch}")
    check(tray == 1, f"tray shown {tray}")
    # DefWindowProc would answer 0: -1 is the program's own answer to an unknown selector.
    check(unknown in (-1, 0xFFFFFFFF), f"unknown selector answered {unknown}")
    return f"switch state {switch}, tray shown {tray}, unknown selector {unknown}"


def exit_command():
    answers, sent = state["answers"], state["sent"]
    check(len(answers) == 4 and answers[3] == 1,
          f"WM_COMMAND {IDC_EXIT} was not answered with 1: answers {answers}, driver {state['sends_rc']}")
    wait_until(lambda: proc.poll() is not None, 120, 0.5, f"the program did not end on command {IDC_EXIT}")
    ended = time.monotonic() - sent
    # A second copy still booting under emulation ends by itself once it misses the first one.
    wait_until(lambda: p.procs_named() == 0, 240, 2, "a program process is left after exit")
    check(p.try_find(MAIN_TITLE) is None, "the main window is left")
    commands = prefix_commands()
    left = [c for c in commands if "tolva2.exe" in c]
    check(not left, f"processes of the program are left: {left}")
    # Not the program's own: a shell it started on "desk new" may still be booting under emulation.
    others = [c for c in commands if c.startswith("/usr/bin/qemu-i386")]
    return (f"ended {ended:.1f} s after the command, no program process left {time.monotonic() - sent:.1f} s "
            f"after it" + (f"; still booting: {others}" if others else ""))


def prefix_commands():
    """Command lines of the Linux processes that run in the prefix."""
    commands = []
    for pid in harness.prefix_processes(p.path):
        try:
            commands.append(Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace"))
        except OSError:
            pass  # ended meanwhile
    return commands


def record():
    value = stored(p, WOW64_KEY)
    check(value is not None, f"no record under {WOW64_KEY}")
    check(len(value) == 2 * 140, f"record is {len(value) // 2} bytes, not 140")
    # Stored as the default, read back, counted and stored again: exactly the 64-bit program's record.
    check_record(p, 2, DEFAULTS, WOW64_KEY)
    check(p.reg_query(MACHINE_KEY) is None, f"{MACHINE_KEY} exists in the 64-bit view")
    check(p.reg_query(USER_KEY) is None, f"{USER_KEY} exists")
    return f"{WOW64_KEY}\\tolva holds the 140-byte record (count 2); {MACHINE_KEY} and {USER_KEY} absent"


try:
    if run_check("window", window):
        run_check("banner", banner)
        state["answers"], state["sent"], state["sends_rc"] = [], time.monotonic(), None
        try:
            query_and_exit()
        except subprocess.SubprocessError as error:
            state["sends_rc"] = f"{type(error).__name__}: {error}"
        run_check("query", query)
        run_check("exit", exit_command)
    else:
        for name in ("banner", "query", "exit"):
            report(name, False, "no main window")
    run_check("record", record)
    # Ended by itself before the exit command was answered: qemu's thread fault, most likely.
    crashed = failures and len(state.get("answers", [])) < 4
    if crashed:
        crashed = wait_until(lambda: proc.poll() is not None, 15, 0.5, "") if proc.poll() is None else True
except Failed:
    crashed = False
finally:
    if proc.poll() is None:
        proc.kill()
        proc.wait()
    print(f"smoke32: {5 - len(failures)} passed, {len(failures)} failed "
          f"[{time.monotonic() - started:.1f} s from the program's start]", flush=True)
if failures and crashed:
    shown = f"its window was found {state['shown']:.1f} s after start" if "shown" in state else "no window"
    print(f"CRASH the program ended by itself before its exit command ({shown}); "
          f"its Wine said {program_log.read_bytes()[-200:]!r}", flush=True)
    sys.exit(3)
sys.exit(1 if failures else 0)
EOF
  [ $status -eq 124 ] && say "FAIL time-out: the checks did not finish within 25 minutes"
  say "log of the program's Wine: $work/program-$attempt.log"
  [ $status -eq 3 ] || break
  say "the program crashed by itself before the checks were done"
done
say "$([ "$status" -eq 0 ] && echo PASS || echo FAIL) in $(($(date +%s) - t0)) s, $attempt attempt(s)"
[ "$status" -eq 0 ]
