"""The state record in the registry and the own-file check, under Wine.

Stored values are read and crafted with build/native/record_tool, the program's own record code,
so these tests never carry a second copy of the cipher.
"""

import random
import shutil

from harness import OTHER_REG_VIEW, REG_VIEW, WM_COMMAND, check, wait_until
from tolva import (BANNER, CREATION_LINES, IDC_EXIT, IDC_LOG, MACHINE_KEY, MAIN_TITLE, RECORD_DEFAULTS,
                   USER_KEY, decode, encipher, encode, store, stored)

WOW64_MACHINE_KEY = "HKLM\\Software\\Wow6432Node\\qz57tolva2"

DEFAULTS = RECORD_DEFAULTS
EMPTY = ("", "", "", "")
# The tag search runs over the fields in this order.
EXTRACTION_ORDER = ("r_time", "r_ver", "r_message", "r_md5size", "r_lastupdata")
NO_OPENING_TAGS = [f"_tolva_Reg_GET:goahead<{name}>failed\r\n" for name in EXTRACTION_ORDER]
READ_FAILED = "_tolva_Reg_GET:读取注册表失败\r\n"
# Every line the record operations can log begins with one of these.
RECORD_OPERATIONS = ("make_software_main_key:", "_5_Reg_PUT:", "_tolva_Reg_GET:")


def check_record(p, r_time, texts, key=MACHINE_KEY):
    """The stored value is exactly what the program stores for these fields in a fresh process."""
    value = stored(p, key)
    check(value is not None, f"no record under {key}")
    fields, lines = decode(value)
    check(not lines, f"stored record under {key} is not well-formed: {lines!r}")
    want = dict(zip(("r_time", "r_lastupdata", "r_ver", "r_message", "r_md5size"), (str(r_time), *texts)))
    check(fields == want, f"record under {key} holds {fields}, expected {want}")
    check(value == encode(r_time, texts), f"record under {key} differs from the program's own encoding: {value}")


def run_once(p, exe="tolva2.exe"):
    """One start of the first copy up to its finished start-up and a clean exit; returns the lines
    the record operations logged."""
    proc = p.start(exe=exe)
    hwnd = p.find(MAIN_TITLE, 20000)
    # The log's text is read on the program's UI thread, so it answers once start-up has run,
    # and the record lines follow the banner at once.
    text = p.text(hwnd, IDC_LOG)
    check(text.startswith(BANNER), f"log does not begin with the banner: {text!r}")
    lines = text[len(BANNER):].splitlines(keepends=True)
    record_lines = [line for line in lines if line.startswith(RECORD_OPERATIONS)]
    check(lines[:len(record_lines)] == record_lines, f"record lines do not follow the banner: {lines!r}")
    # The program runs on: it makes its desktop, then exits on command 1008 like any other run.
    wait_until(lambda: CREATION_LINES[-1] in p.text(hwnd, IDC_LOG), 30,
               message="the program did not go on to make its desktop")
    check(proc.poll() is None, "the program ended by itself")
    p.send(hwnd, WM_COMMAND, IDC_EXIT, 0)
    wait_until(lambda: proc.poll() is not None, 20, message="the program did not end on command 1008")
    wait_until(lambda: p.procs_named(exe) == 0 and p.procs_named() == 0, 20,
               message="a program process is left after exit")
    return record_lines


def test_first_start_creates_the_record_and_every_start_counts(p):
    check(p.reg_query(MACHINE_KEY) is None, "the template prefix already holds the key")

    check(run_once(p) == [], "a first start logged record lines")
    value = stored(p)
    check(value is not None and len(value) == 2 * 140, f"fresh record is not 140 bytes: {value!r}")
    # 1 stored as the default, read back, raised at start-up and stored again.
    check_record(p, 2, DEFAULTS)
    # Under Wine the process may write HKEY_LOCAL_MACHINE: nothing goes to the current user.
    check(p.reg_query(USER_KEY) is None, "a record was written under HKEY_CURRENT_USER")
    # The record is in the registry view of the program's own kind alone: a 32-bit program's is
    # HKLM\Software\Wow6432Node\qz57tolva2 to 64-bit programs.
    check(stored(p, view=OTHER_REG_VIEW) is None, f"the record is in the {OTHER_REG_VIEW}-bit registry view too")
    if REG_VIEW == "32":
        check(stored(p, WOW64_MACHINE_KEY, view="64") == value,
              f"the 32-bit program's record is not under {WOW64_MACHINE_KEY}")

    # Every later start reads the counter, adds one and stores it.
    check(run_once(p) == [], "the second start logged record lines")
    check_record(p, 3, DEFAULTS)
    check(p.reg_query(USER_KEY) is None, "a record was written under HKEY_CURRENT_USER")


def test_damaged_or_foreign_values_are_survived_and_replaced(p):
    noise = bytes(random.Random(57).randrange(256) for _ in range(140)).hex().upper()
    plain = ("<r_time>9</r_time><r_lastupdata>20080101</r_lastupdata><r_ver>2.22</r_ver>"
             "<r_message>hello!</r_message><r_md5size>null</r_md5size>          ").encode().hex().upper()
    cases = [
        ("140 random bytes", noise, NO_OPENING_TAGS),
        ("an empty value", "", NO_OPENING_TAGS),
        ("a value of 1025 bytes", "00" * 1025, [READ_FAILED]),
        ("the record text not enciphered", plain, NO_OPENING_TAGS),
    ]
    for name, value, expected in cases:
        store(p, value)
        # The program's own decoder, run natively, reads the value as the program does.
        _, predicted = decode(value)
        check(predicted == expected, f"record_tool reads {name} as {predicted!r}")
        lines = run_once(p)
        check(lines == expected, f"{name}: logged {lines!r}, expected {expected!r}")
        # Nothing could be read: the fields stay empty, the counter goes from 0 to 1.
        check_record(p, 1, EMPTY)

    # A record missing "</r_ver>": that field alone stays empty, the others are read.
    crafted = encipher("<r_time>41</r_time><r_lastupdata>20120309</r_lastupdata><r_ver>9.99"
                       "<r_message>hi</r_message><r_md5size>abc</r_md5size>")
    store(p, crafted)
    check(run_once(p) == ["_tolva_Reg_GET:goahead</r_ver>failed\r\n"], "missing </r_ver> not logged as such")
    check_record(p, 42, ("20120309", "", "hi", "abc"))


def padded_copy(p, name, size):
    copy = p.dir / name
    shutil.copy2(p.dir / "tolva2.exe", copy)
    check(copy.stat().st_size <= size, f"the program is larger than {size} bytes")
    # Bytes after the last section (an overlay) change the file's size, not the program.
    with open(copy, "ab") as f:
        f.write(b"\0" * (size - copy.stat().st_size))
    check(copy.stat().st_size == size, "padding failed")


def test_own_file_check_refuses_oversized_or_locked_program_file(p):
    padded_copy(p, "limit.exe", 1048576)
    run_once(p, "limit.exe")
    check_record(p, 2, DEFAULTS)

    # The record is counted just before the check: a start that counted but has no window and
    # ended with status 1 was ended by the check, not by a failed load.
    padded_copy(p, "over.exe", 1048577)
    proc = p.start(exe="over.exe")
    wait_until(lambda: proc.poll() is not None, 30, message="a program file of 1048577 bytes was accepted")
    check(proc.returncode == 1, f"exit status {proc.returncode}, expected 1")
    check_record(p, 3, DEFAULTS)
    check(p.try_find(MAIN_TITLE) is None, "a window is left")
    check(p.procs_named("over.exe") == 0 and p.procs_named() == 0, "a program process is left")

    # Another process holds the program file open with no read sharing: the check cannot read it.
    _, out = p.driver("start-locked", "C:\\tolva2\\tolva2.exe", 30000)
    check(out.split() == ["held", "1"], f"locked program file: {out.strip()!r}")
    check_record(p, 4, DEFAULTS)
    check(p.try_find(MAIN_TITLE) is None, "a window is left")
    check(p.procs_named() == 0, "a program process is left")


def test_record_moves_to_current_user_when_machine_key_is_not_writable(p):
    # Wine enforces registry ACLs: a read-only key under HKEY_LOCAL_MACHINE with a record of its own.
    store(p, encode(41, DEFAULTS))
    p.reg_dacl(MACHINE_KEY, "D:P(A;;KR;;;WD)")
    check(run_once(p) == [], "the read-only machine key led to record lines")
    check_record(p, 41, DEFAULTS)
    check_record(p, 2, DEFAULTS, USER_KEY)

    # A machine key that cannot even be read: the record still lives with the current user.
    p.reg_dacl(MACHINE_KEY, "D:P")
    check(run_once(p) == [], "the locked machine key led to record lines")
    check_record(p, 3, DEFAULTS, USER_KEY)

    # No machine key, and no right to create one under HKEY_LOCAL_MACHINE\Software, as for a
    # process that is not elevated.
    p.reg_dacl(MACHINE_KEY, "D:P(A;;KA;;;WD)")
    p.reg("delete", MACHINE_KEY, "/f")
    check(p.reg_query(MACHINE_KEY) is None, "could not delete the machine key")
    p.reg_dacl("HKLM\\Software", "D:P(A;;KR;;;WD)")
    check(run_once(p) == [], "the protected Software key led to record lines")
    check_record(p, 4, DEFAULTS, USER_KEY)
    check(p.reg_query(MACHINE_KEY) is None, "a machine key was created under the protected Software key")
