"""The update check under Wine: ten seconds after start the first copy fetches its update file once
from the test's own HTTP server on loopback (port 18091 for the x86_64 program, 18093 for the i686
one), folds it into the state record, and announces a newer version (log, balloon, browser,
message box) before it ends itself.

This module runs the build made for that server (build/win64-update or build/win32-update). The
browser the shell would start is the test driver's `record` command, which writes down the address
it was given. One run at a time uses a port on this machine: the module holds a lock file for it.
"""

import fcntl
import http.server
import shutil
import socket
import ssl
import subprocess
import threading
import time
from pathlib import Path

from harness import HOME_PORT, UPDATE_DIR, UPDATE_PORT, WIN_DIR, Failed, check, wait_until
from tolva import (BALLOON_TITLE, NEW_DESKTOP, Q_SWITCH_STATE, READY, RECORD_DEFAULTS, WM_TOLVA_QUERY, decode,
                   encode, exit_program, log, log_lines_after_banner, start_first_copy, store, stored)

PROGRAM_DIR = UPDATE_DIR
# The same program built with https:// addresses for the same ports (tools/build.sh).
HTTPS_PROGRAM = UPDATE_DIR.with_name(UPDATE_DIR.name + "-https") / "tolva2.exe"

# Held for the module's lifetime: another checkout's run of this module waits for the port.
_port_lock = open(f"/tmp/tolva-update-port-{UPDATE_PORT}.lock", "w")
fcntl.flock(_port_lock, fcntl.LOCK_EX)

BOX_TITLE = BALLOON_TITLE
EXIT_SKIPPED = "exit skipped,1 windows open on desk new\r\n"
IDOK = 1
WS_DISABLED = 0x08000000
# The message box's text control.
BOX_TEXT_ID = 0xFFFF

UPDATE_PATH = "/tolva2/TOLVA_UPDATA.txt"
HOME_URL = f"http://127.0.0.1:{HOME_PORT}/soft/tolva2/tolva2.htm"

FAILURE_LINES = [f"connect to http://127.0.0.1:{HOME_PORT} failed..\r\n",
                 "updating failed,please check your network or firewal..\r\n"]
FORMAT_ERROR = "内部错误，下载到的更新数据格式错误,请使用内部命令'net updata'重新读取\r\n"
ANNOUNCEMENT_LINES = ["更新地址:\r\n", HOME_URL + "\r\n"]
BALLOON_TEXT = "多桌面已经有更新，请去官方网站升级\r\n" + HOME_URL
BOX_TEXT = "多桌面已有更新，请去官方网站升级\r\n" + HOME_URL

# What ShellExecute runs for an http address: the driver writes its arguments to this file.
BROWSER_KEY = "HKLM\\Software\\Classes\\http\\shell\\open\\command"
BROWSER_FILE = "browser.txt"

# The worker sleeps 10 s before its fetch and 11 s between later looks at its state.
FETCH_TIMEOUT = 60
BOX_TIMEOUT_MS = 50000  # one driver call, which may take 60 s in all
WORKER_CYCLE = 11


def update_file(ver, message, md5size="1234"):
    return (f"<TOLVA_UPDATA><ver>{ver}</ver><message>{message}</message><md5size>{md5size}</md5size>"
            "</TOLVA_UPDATA>").encode("gbk")


class UpdateServer:
    """The update server: answers every request with one status, extra headers and body (or those
    `routes` gives for its path), and keeps (time, method, path, Host header) of each request it
    got, and in `headers` all its headers."""

    def __init__(self, status, body, extra_headers=(), port=UPDATE_PORT, routes=None):
        self.status = status
        self.body = body
        self.extra_headers = extra_headers
        self.port = port
        self.routes = routes or {}
        self.requests = []
        self.headers = []

    def __enter__(self):
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                server.requests.append((time.monotonic(), self.command, self.path, self.headers.get("Host")))
                server.headers.append(self.headers)
                status, body, extra_headers = server.routes.get(
                    self.path, (server.status, server.body, server.extra_headers))
                self.send_response(status)
                for name, value in extra_headers:
                    self.send_header(name, value)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                try:
                    self.wfile.write(body)
                except OSError:
                    pass  # a reader that keeps only part of a long body may close early

            do_HEAD = do_POST = do_PUT = do_GET

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", self.port), Handler)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join(10)
        return False

    def check_one_fetch(self):
        check(len(self.requests) == 1, f"expected one request, got {self.requests!r}")
        _, method, path, host = self.requests[0]
        check((method, path, host) == ("GET", UPDATE_PATH, f"127.0.0.1:{UPDATE_PORT}"),
              f"request was {method} {path} to {host}")


class StallingServer:
    """A server that accepts the request and never answers: the fetch must give up by itself.
    Keeps the time of each accepted connection."""

    def __enter__(self):
        self.accepted = []
        self.connections = []
        self.listener = socket.create_server(("127.0.0.1", UPDATE_PORT))
        self.listener.settimeout(0.5)
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()
        return self

    def _serve(self):
        while not self.stop.is_set():
            try:
                conn, _ = self.listener.accept()
            except OSError:
                continue
            self.accepted.append(time.monotonic())
            self.connections.append(conn)
            self._answer(conn)

    def _answer(self, conn):
        """What the server does with an accepted connection: here, nothing."""

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join(10)
        for conn in self.connections:
            conn.close()
        self.listener.close()
        return False


class TricklingServer(StallingServer):
    """A server that answers 200 at once and then sends its body one byte every 3 s: every read
    gets something in time, so only a deadline on the whole fetch ends it. Keeps the time the
    client closed the connection (a send failed)."""

    def __init__(self):
        self.closed = []

    def _answer(self, conn):
        threading.Thread(target=self._trickle, args=(conn,), daemon=True).start()

    def _trickle(self, conn):
        try:
            conn.recv(4096)
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 10000\r\n\r\n")
            while not self.stop.wait(3):
                conn.sendall(b"x")
        except OSError:
            self.closed.append(time.monotonic())


class TlsServer(StallingServer):
    """An HTTPS server on the update port whose certificate no system trusts (made for this run).
    Keeps the first byte each client sent (0x16 opens a TLS handshake), how each handshake ended,
    and any request that got through it."""

    def __init__(self, tmp):
        key, cert = Path(tmp) / "tls.key", Path(tmp) / "tls.crt"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", str(key), "-out", str(cert)], check=True, capture_output=True)
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(cert, key)
        self.first_bytes, self.handshakes, self.requests = [], [], []

    def _answer(self, conn):
        try:
            conn.settimeout(10)
            self.first_bytes.append(conn.recv(1, socket.MSG_PEEK))
            tls = self.context.wrap_socket(conn, server_side=True)
            self.handshakes.append("done")
            self.requests.append(tls.recv(4096))
        except (OSError, ssl.SSLError) as error:
            self.handshakes.append(str(error))


def install_browser_recorder(p):
    command = f'"{WIN_DIR}\\tolva_driver.exe" record {WIN_DIR}\\{BROWSER_FILE} "%1"'
    check(p.reg("add", BROWSER_KEY, "/ve", "/d", command, "/f"), "could not set the browser command")


def browser_starts(p):
    path = p.dir / BROWSER_FILE
    return path.read_text(encoding="utf-8").splitlines() if path.exists() else []


def start(p):
    install_browser_recorder(p)
    return start_first_copy(p)


def wait_for_lines(p, hwnd, expected):
    """Waits until the log, past the banner and the desktop creation, shows expected's last line,
    then checks that it holds exactly the expected lines."""
    def shown():
        lines = log_lines_after_banner(p, hwnd)
        return lines if expected[-1] in lines else None
    try:
        lines = wait_until(shown, FETCH_TIMEOUT, 0.5)
    except Failed:
        raise Failed(f"the log never showed {expected[-1]!r}: {log_lines_after_banner(p, hwnd)!r}") from None
    check(lines == expected, f"log after start-up: {lines!r}, expected {expected!r}")


def record_fields(p):
    value = stored(p)
    check(value is not None, "no record in the registry")
    fields, lines = decode(value)
    check(not lines, f"the stored record is not well-formed: {lines!r}")
    return fields


def wait_for_balloon(p, text):
    """The shell's balloon titled 提示 with this text (escaped as the driver prints it)."""
    escaped = text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")

    def shown():
        out = p.answer("balloons", BOX_TITLE)
        return [line for line in out.splitlines() if line.split(" ", 2)[2:] == [escaped]]
    balloons = wait_until(shown, 20, 0.2, "no balloon with the update text appeared")
    check(balloons[0].split(" ")[1] == "1", f"the balloon's title is not {BOX_TITLE}")


def check_announced_then_exit(p, proc, hwnd, log_before, users_program_open=False):
    """The announcement, then the exit after OK; with users_program_open the program runs on
    instead, since the user did not ask for that exit."""
    box = p.find(BOX_TITLE, BOX_TIMEOUT_MS)
    check(p.text(box, BOX_TEXT_ID) == BOX_TEXT, f"message box says {p.text(box, BOX_TEXT_ID)!r}")
    # The box belongs to no window of the UI thread: it disables none, so closing it enables none.
    check(not p.style(hwnd) & WS_DISABLED, "the box disabled the main window: it is its owner")
    check(log_lines_after_banner(p, hwnd) == log_before + ANNOUNCEMENT_LINES,
          f"log when the box is shown: {log_lines_after_banner(p, hwnd)!r}")
    # The shell has started the recorder before the box; it may still be writing.
    wait_until(lambda: browser_starts(p), 20, 0.2, "no browser was started")
    check(browser_starts(p) == [HOME_URL], f"browser starts: {browser_starts(p)!r}")
    # The program waits for the user: it runs until OK.
    check(proc.poll() is None, "the program ended before the box was closed")
    p.click(box, IDOK)
    if users_program_open:
        wait_until(lambda: EXIT_SKIPPED in log(p, hwnd), 20, 0.3, "no line about the exit left undone")
        check(proc.poll() is None and p.procs_named() == 2, "the update's exit ended the program under the user's work")
        return
    wait_until(lambda: proc.poll() is not None, 30, message="the program did not end after OK")
    wait_until(lambda: p.procs_named() == 0, 20, message="a program process is left after OK")


def test_same_version_updates_the_record_quietly(p):
    message = "2.22 已是最新版本"
    day_before = time.strftime("%Y%m%d")
    with UpdateServer(200, update_file("2.22", message, "md5-2.22")) as server:
        proc, hwnd = start(p)
        wait_for_lines(p, hwnd, [message + "\r\n"])
        server.check_one_fetch()
        fields = record_fields(p)
        check(fields["r_lastupdata"] in (day_before, time.strftime("%Y%m%d")),
              f"r_lastupdata is {fields['r_lastupdata']}, not today")
        check(fields == dict(r_time="2", r_lastupdata=fields["r_lastupdata"], r_ver="2.22", r_message=message,
                             r_md5size="md5-2.22"), f"record after the update: {fields}")

        # A whole cycle of the worker later: no second fetch, nothing announced.
        time.sleep(max(0.0, server.requests[0][0] + WORKER_CYCLE + 2 - time.monotonic()))
        server.check_one_fetch()
        check(log_lines_after_banner(p, hwnd) == [message + "\r\n"],
              f"log changed after the update: {log_lines_after_banner(p, hwnd)!r}")
        check(p.try_find(BOX_TITLE) is None, "a message box was shown")
        check(browser_starts(p) == [], "a browser was started")
        check(proc.poll() is None, "the program ended")


def test_newer_version_is_announced_and_ends_the_program(p):
    message = "2.30 发布"
    with UpdateServer(200, update_file("2.30", message)) as server:
        proc, hwnd = start(p)
        p.find(BOX_TITLE, BOX_TIMEOUT_MS)
        # The balloon shows while the box waits for the user.
        wait_for_balloon(p, BALLOON_TEXT)
        server.check_one_fetch()
        check_announced_then_exit(p, proc, hwnd, [message + "\r\n"])
    fields = record_fields(p)
    check((fields["r_ver"], fields["r_message"]) == ("2.30", message), f"record after the update: {fields}")


def test_failed_download_logs_two_lines_and_the_program_runs_on(p):
    # The body of the 404 would announce a newer version if it were read.
    with UpdateServer(404, update_file("2.30", "not for you")) as server:
        proc, hwnd = start(p)
        wait_for_lines(p, hwnd, FAILURE_LINES)
        server.check_one_fetch()
        # A whole cycle of the worker later: no second attempt, nothing more in the log.
        time.sleep(max(0.0, server.requests[0][0] + WORKER_CYCLE + 2 - time.monotonic()))
        server.check_one_fetch()
        check(log_lines_after_banner(p, hwnd) == FAILURE_LINES,
              f"log changed after the failure: {log_lines_after_banner(p, hwnd)!r}")
        check(proc.poll() is None and p.try_find(BOX_TITLE) is None, "the failure ended the program or showed a box")
        exit_program(p, proc, hwnd)
    check(record_fields(p)["r_lastupdata"] == "20080101", "a failed download changed the record's date")

    # Nothing listening on the update port: refused at once, the same two lines.
    proc, hwnd = start(p)
    wait_for_lines(p, hwnd, FAILURE_LINES)
    check(proc.poll() is None and p.try_find(BOX_TITLE) is None, "the failure ended the program or showed a box")
    check(browser_starts(p) == [], "a browser was started")
    exit_program(p, proc, hwnd)

    # A server that takes the request and never answers: the worker's time-outs end the fetch
    # (15 s; without them it waits as long as the server holds on), and the window answers
    # meanwhile.
    with StallingServer() as server:
        proc, hwnd = start(p)
        wait_until(lambda: server.accepted, FETCH_TIMEOUT, 0.2, "the update server got no connection")
        check(p.send(hwnd, WM_TOLVA_QUERY, Q_SWITCH_STATE) in (0, 1), "the window did not answer during the fetch")
        wait_for_lines(p, hwnd, FAILURE_LINES)
        waited = time.monotonic() - server.accepted[0]
        check(waited < 40, f"the stalled fetch held the worker {waited:.0f} s")


def test_download_without_outer_tags_is_a_format_error(p):
    pages = [("an empty body", b""),
             ("a page without the outer tags",
              b"<html><body><ver>2.30</ver><message>moved</message></body></html>")]
    for number, (name, body) in enumerate(pages):
        with UpdateServer(200, body) as server:
            proc, hwnd = start(p)
            wait_for_lines(p, hwnd, [FORMAT_ERROR])
            server.check_one_fetch()
            check(proc.poll() is None and p.try_find(BOX_TITLE) is None, f"{name} ended the program or showed a box")
            exit_program(p, proc, hwnd)
        # Nothing was stored: the record is the fresh one, counted once per start.
        check(stored(p) == encode(2 + number, RECORD_DEFAULTS),
              f"{name} changed the record: {record_fields(p)}")
    check(browser_starts(p) == [], "a browser was started")


def test_long_download_keeps_its_first_10239_bytes(p):
    head = update_file("2.22", "long file").replace(b"<md5size>1234</md5size>", b"")
    # An md5size element whose opening tag runs past byte 10239: present in the file, not in
    # what the program keeps.
    cut = 10235
    body = head + b"x" * (cut - len(head)) + b"<md5size>late</md5size>"
    body += b"y" * (15000 - len(body))
    with UpdateServer(200, body) as server:
        proc, hwnd = start(p)
        wait_for_lines(p, hwnd, ["long file\r\n"])
        server.check_one_fetch()
    fields = record_fields(p)
    check((fields["r_ver"], fields["r_message"], fields["r_md5size"]) == ("2.22", "long file", ""),
          f"record after a 15000-byte download: {fields}")
    check(proc.poll() is None and p.try_find(BOX_TITLE) is None, "the long download ended the program or showed a box")


def test_stored_newer_version_is_announced_again(p):
    # An earlier run stored 2.30; this run's download has no outer tags, so r_ver keeps it.
    store(p, encode(5, ("20240101", "2.30", "earlier news", "77")))
    with UpdateServer(200, b"<html><body>busy</body></html>") as server:
        proc, hwnd = start(p)
        # The user has a program open on desk new before the announcement comes.
        wait_until(lambda: READY in log(p, hwnd), 30, 0.3, "desk new never got ready")
        rc, out = p.driver("start-on", NEW_DESKTOP, "notepad.exe")
        check(rc == 0, f"notepad did not start on desk new: {out.strip()}")
        wait_until(lambda: any(w[1] == int(out) and w[3] and w[3] != "Default IME" for w in p.windows(NEW_DESKTOP)),
                   20, 0.3, "notepad's window did not come up on desk new")
        check_announced_then_exit(p, proc, hwnd, [FORMAT_ERROR], users_program_open=True)
        server.check_one_fetch()
    check(stored(p) == encode(6, ("20240101", "2.30", "earlier news", "77")),
          f"record after the run: {record_fields(p)}")


def test_request_sends_nothing_of_the_users(p):
    # A redirect on the same server that sets a cookie is followed without it; the next one, to
    # another server, is not followed: a failed fetch.
    moved = "/moved/TOLVA_UPDATA.txt"
    elsewhere = f"http://127.0.0.1:{HOME_PORT}{UPDATE_PATH}"
    cookie = ("Set-Cookie", "tolva=secret; Path=/")
    routes = {UPDATE_PATH: (302, b"", [("Location", moved), cookie]),
              moved: (302, b"", [("Location", elsewhere), cookie])}
    with UpdateServer(200, update_file("2.30", "from elsewhere"), port=HOME_PORT) as other, \
         UpdateServer(404, b"", routes=routes) as server:
        proc, hwnd = start(p)
        wait_for_lines(p, hwnd, FAILURE_LINES)
        time.sleep(2)
        check([r[2] for r in server.requests] == [UPDATE_PATH, moved], f"requests: {server.requests!r}")
        check("Cookie" not in server.headers[1], f"the redirected request sent a cookie: {server.headers[1]['Cookie']}")
        check(not other.requests, f"the redirect to another server was followed: {other.requests!r}")
        exit_program(p, proc, hwnd)

    # A challenge for the user's logon and for a password is answered by no second request.
    challenges = [("WWW-Authenticate", "NTLM"), ("WWW-Authenticate", 'Basic realm="tolva"')]
    with UpdateServer(401, b"denied", challenges) as server:
        proc, hwnd = start(p)
        wait_for_lines(p, hwnd, FAILURE_LINES)
        time.sleep(2)
        server.check_one_fetch()
        check("Authorization" not in server.headers[0], f"the request sent {server.headers[0]['Authorization']}")
        check(proc.poll() is None and p.try_find(BOX_TITLE) is None, "the failure ended the program or showed a box")


def test_trickling_server_fails_at_the_deadline(p):
    with TricklingServer() as server:
        proc, hwnd = start(p)
        wait_until(lambda: server.accepted, FETCH_TIMEOUT, 0.2, "the update server got no connection")
        wait_for_lines(p, hwnd, FAILURE_LINES)
        waited = time.monotonic() - server.accepted[0]
        check(waited < 45, f"the trickled fetch held the worker {waited:.0f} s")
        check(p.send(hwnd, WM_TOLVA_QUERY, Q_SWITCH_STATE) in (0, 1, 2), "the window did not answer after the fetch")
        check(proc.poll() is None and p.try_find(BOX_TITLE) is None, "the failure ended the program or showed a box")


def test_https_build_speaks_tls_and_refuses_an_untrusted_certificate(p):
    check(HTTPS_PROGRAM.is_file(), f"{HTTPS_PROGRAM} is missing: build it with tools/build.sh")
    built = HTTPS_PROGRAM.read_bytes()
    for site in (f"https://127.0.0.1:{UPDATE_PORT}", f"https://127.0.0.1:{HOME_PORT}"):
        check(site.encode() in built, f"{HTTPS_PROGRAM} does not hold {site}")
    shutil.copy2(HTTPS_PROGRAM, p.dir / "tolva2.exe")
    with TlsServer(p.tmp) as server:
        proc, hwnd = start(p)
        wait_for_lines(p, hwnd, [f"connect to https://127.0.0.1:{HOME_PORT} failed..\r\n", FAILURE_LINES[1]])
        check(server.first_bytes and all(b == b"\x16" for b in server.first_bytes),
              f"the fetch did not open with a TLS handshake: {server.first_bytes!r}")
        check(not any(server.requests), f"a request went to a server with an untrusted certificate: {server.requests!r}")
        check(proc.poll() is None and p.try_find(BOX_TITLE) is None, "the failure ended the program or showed a box")
