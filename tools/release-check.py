#!/usr/bin/env python3
"""Makes a signed release into a scratch folder and checks what a user and a package manager get:
python3 tools/release-check.py

A throw-away code-signing certificate (openssl) signs both programs through tools/release.sh
--no-update --sign. Then: osslsigncode verify accepts each against that certificate and rejects a
copy with one byte changed inside a section; removing the signature gives the unsigned program
byte for byte; the unsigned zips built twice are the same; the manifests parse and carry the
hashes of the files beside them, as does SHA256SUMS; and the signed programs start under Wine and
pass their own-file check. The first failed check ends it with its cause (exit code 1).
"""

import hashlib
import json
import os
import secrets
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

import yaml

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tools"))
sys.path.insert(0, str(REPO / "tests" / "wine"))
import harness  # noqa: E402
import release_files  # noqa: E402
from tolva import BANNER, READY, start_first_copy, exit_program, log  # noqa: E402

BASE_URL = "https://downloads.example.org/tolva2"
ARCHES = {"win32": "i686", "win64": "x86_64"}


class Failed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failed(message)


def run(*args, **kwargs):
    return subprocess.run([str(a) for a in args], stdin=subprocess.DEVNULL, capture_output=True, text=True, **kwargs)


def say(text):
    print(f"release-check: {text}", flush=True)


def make_certificate(folder):
    """A self-signed code-signing certificate (cert.pem) and its .pfx under a random password."""
    key, cert, pfx = folder / "key.pem", folder / "cert.pem", folder / "signer.pfx"
    made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-sha256", "-days", "2", "-nodes",
               "-keyout", key, "-out", cert, "-subj", "/CN=tolva2 release check",
               "-addext", "extendedKeyUsage=codeSigning", "-addext", "keyUsage=critical,digitalSignature",
               "-addext", "basicConstraints=critical,CA:FALSE")
    check(made.returncode == 0, f"openssl could not make a certificate: {made.stderr.strip()}")
    password = secrets.token_hex(8)
    # The password reaches openssl through its environment, as it reaches the release.
    exported = run("openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                   "-passout", "env:TOLVA_SIGN_PASSWORD", env=dict(os.environ, TOLVA_SIGN_PASSWORD=password))
    check(exported.returncode == 0, f"openssl could not make the .pfx: {exported.stderr.strip()}")
    return cert, pfx, password


def verify(program, cert):
    return run("osslsigncode", "verify", "-CAfile", cert, "-in", program)


def check_signature(version, kind, dist, cert, scratch):
    signed = dist / f"tolva2-{version}-{kind}.exe"
    unsigned = REPO / "build" / f"release-{kind}" / "tolva2.exe"
    result = verify(signed, cert)
    check(result.returncode == 0, f"osslsigncode verify rejects {signed.name}: {result.stdout[-400:]}{result.stderr}")

    # One byte inside the code: the digest no longer matches.
    data = bytearray(signed.read_bytes())
    name, offset, size = next(s for s in release_files.pe_sections(data) if s[0] == ".text")
    data[offset + size // 2] ^= 0x01
    tampered = scratch / f"tampered-{kind}.exe"
    tampered.write_bytes(data)
    rejected = verify(tampered, cert)
    check(rejected.returncode != 0 and "MISMATCH" in rejected.stdout,
          f"osslsigncode verify does not reject {signed.name} with a byte of {name} changed for its digest: "
          f"{rejected.stdout[-400:]}{rejected.stderr}")

    stripped = scratch / f"stripped-{kind}.exe"
    removed = run("osslsigncode", "remove-signature", "-in", signed, "-out", stripped)
    check(removed.returncode == 0, f"osslsigncode remove-signature failed on {signed.name}: {removed.stderr.strip()}")
    check(stripped.read_bytes() == unsigned.read_bytes(),
          f"{signed.name} without its signature differs from the unsigned {unsigned.relative_to(REPO)}")
    say(f"{signed.name}: signed ({signed.stat().st_size} bytes), verified, a changed byte of {name} rejected, "
        f"the signature removed gives the unsigned {unsigned.stat().st_size} bytes")
    return signed, unsigned


def check_zip(version, kind, dist, signed, unsigned, date, scratch):
    path = dist / f"tolva2-{version}-{kind}.zip"
    with zipfile.ZipFile(path) as archive:
        names = archive.namelist()
        check(names == ["tolva2.exe", "README.txt", "LICENSE.txt", "THIRD-PARTY-NOTICES.txt"], f"{path.name} holds {names}")
        check(archive.read("tolva2.exe") == signed.read_bytes(), f"{path.name}'s tolva2.exe is not the signed program")
        readme = archive.read("README.txt")
        check(readme.startswith(b"\xef\xbb\xbf"), "README.txt has no UTF-8 byte order mark")
        check(readme.count(b"\n") == readme.count(b"\r\n"), "README.txt has line ends other than CRLF")
        text = readme[3:].decode("utf-8")
        check(text.index("热键") < text.index("Keys"), "README.txt is not Chinese first, then English")
        check(f"certutil -hashfile tolva2-{version}-{kind}.zip SHA256" in text, "README.txt does not say how to check the checksum")
        check(all(info.date_time == archive.infolist()[0].date_time >= (1980, 1, 1, 0, 0, 0)
                  for info in archive.infolist()), f"{path.name}'s entries have times other than one fixed time")

    # The unsigned zip twice, from copies of the program with other times and modes: the same bytes.
    zips = []
    for n, mode in enumerate((0o644, 0o755)):
        program = scratch / f"copy{n}" / "tolva2.exe"
        program.parent.mkdir()
        shutil.copyfile(unsigned, program)
        os.chmod(program, mode)
        os.utime(program, (1_000_000_000 + n * 86_400_000,) * 2)
        out = scratch / f"unsigned{n}-{kind}.zip"
        made = run(sys.executable, REPO / "tools/release_files.py", "zip", out, program, version, kind, date)
        check(made.returncode == 0, f"release_files.py zip failed: {made.stderr.strip()}")
        zips.append(out.read_bytes())
        shutil.rmtree(program.parent)
    check(zips[0] == zips[1], f"the unsigned {kind} zip built twice differs")
    say(f"{path.name}: {len(names)} entries; the unsigned zip built twice is the same {len(zips[0])} bytes")


def check_manifests(version, dist):
    hashes = {kind: hashlib.sha256((dist / f"tolva2-{version}-{kind}.exe").read_bytes()).hexdigest() for kind in ARCHES}
    winget = dist / "manifests" / "winget"
    docs = {p.name: yaml.safe_load(p.read_text(encoding="utf-8")) for p in sorted(winget.glob("*.yaml"))}
    check(len(docs) == 4, f"winget manifests: {sorted(docs)}")
    check({d["ManifestType"] for d in docs.values()} == {"version", "installer", "defaultLocale", "locale"},
          "the winget manifests are not one of each kind")
    check(all(d["PackageVersion"] == version for d in docs.values()), "a winget manifest names another version")
    installer = next(d for d in docs.values() if d["ManifestType"] == "installer")
    check(installer["InstallerType"] == "portable" and installer["Commands"] == ["tolva2"],
          f"winget installer: {installer.get('InstallerType')}, commands {installer.get('Commands')}")
    got = {i["Architecture"]: (i["InstallerUrl"], i["InstallerSha256"]) for i in installer["Installers"]}
    want = {"x86": (f"{BASE_URL}/tolva2-{version}-win32.exe", hashes["win32"].upper()),
            "x64": (f"{BASE_URL}/tolva2-{version}-win64.exe", hashes["win64"].upper())}
    check(got == want, f"winget installers {got}, expected {want}")
    locales = {d["PackageLocale"]: d["ManifestType"] for d in docs.values() if "PackageLocale" in d}
    check(locales == {"zh-CN": "defaultLocale", "en-US": "locale"}, f"winget locales {locales}")

    scoop = json.loads((dist / "manifests" / "scoop" / "tolva2.json").read_text(encoding="utf-8"))
    got = {a: (v["url"], v["hash"]) for a, v in scoop["architecture"].items()}
    want = {"32bit": (f"{BASE_URL}/tolva2-{version}-win32.exe#/tolva2.exe", hashes["win32"]),
            "64bit": (f"{BASE_URL}/tolva2-{version}-win64.exe#/tolva2.exe", hashes["win64"])}
    check(got == want, f"scoop architectures {got}, expected {want}")
    check(scoop["version"] == version and scoop["bin"] == "tolva2.exe" and scoop["shortcuts"], "scoop version, bin or shortcuts")
    check(scoop["checkver"]["url"] == f"{BASE_URL}/SHA256SUMS" and scoop["autoupdate"]["hash"]["url"] == "$baseurl/SHA256SUMS",
          "scoop checkver or autoupdate does not read the published SHA256SUMS")
    check(all("$version" in v["url"] for v in scoop["autoupdate"]["architecture"].values()), "scoop autoupdate urls")

    # SHA256SUMS: every file of the release, each hash right.
    listed = {}
    for line in (dist / "SHA256SUMS").read_text(encoding="utf-8").splitlines():
        digest, name = line.split("  ", 1)
        listed[name] = digest
    files = {p.relative_to(dist).as_posix() for p in dist.rglob("*") if p.is_file() and p.name != "SHA256SUMS"}
    check(set(listed) == files, f"SHA256SUMS lists {sorted(listed)}, the release holds {sorted(files)}")
    wrong = [n for n, d in listed.items() if hashlib.sha256((dist / n).read_bytes()).hexdigest() != d]
    check(not wrong, f"SHA256SUMS has wrong hashes for {wrong}")
    say(f"manifests: {len(docs)} winget files and the Scoop one parse and carry the programs' hashes; "
        f"SHA256SUMS lists all {len(files)} files")


def start_under_wine(kind, signed, scratch):
    """The signed program as the first copy: its window, the banner, the second copy's readiness
    (both passed the own-file check), a clean exit."""
    folder = scratch / f"wine-{kind}"
    folder.mkdir()
    shutil.copyfile(signed, folder / harness.PROGRAM)
    with harness.Prefix(f"release-{kind}", program_dir=folder) as p:
        proc, hwnd = start_first_copy(p)
        harness.wait_until(lambda: READY in log(p, hwnd), 60, 0.5, "the second copy never reported readiness")
        check(log(p, hwnd).startswith(BANNER), "the log does not begin with the banner")
        check(proc.poll() is None, "the signed program ended by itself")
        exit_program(p, proc, hwnd)
    say(f"{signed.name} started under Wine: window, banner, desk new ready, exit")


def main():
    started = time.monotonic()
    version = run("cmake", "-P", REPO / "cmake/version.cmake").stdout.strip()
    date = release_files.changelog_date(version)
    scratch = Path(tempfile.mkdtemp(prefix="tolva2-release-check-"))
    try:
        cert, pfx, password = make_certificate(scratch)
        dist = scratch / "dist"
        env = dict(os.environ, TOLVA_SIGN_PASSWORD=password)
        env.pop("SOURCE_DATE_EPOCH", None)
        # The test's own step rebuilds a program elsewhere; here the release's files are the point.
        made = run(REPO / "tools/release.sh", "--no-update", "--no-rebuild-check", "--sign", pfx,
                   "--base-url", BASE_URL, "--dist", dist, env=env, cwd=REPO)
        check(made.returncode == 0, f"tools/release.sh failed ({made.returncode}):\n{made.stdout}{made.stderr}")
        check(password not in made.stdout + made.stderr, "the release printed the certificate's password")
        say("tools/release.sh --no-update --sign made " + ", ".join(sorted(p.name for p in dist.iterdir())))

        signed = {}
        for kind in ARCHES:
            signed[kind], unsigned = check_signature(version, kind, dist, cert, scratch)
            check_zip(version, kind, dist, signed[kind], unsigned, date, scratch)
        check_manifests(version, dist)

        kinds = ["win64"]
        can32 = run(REPO / "tools/can-run-i386.sh")
        if can32.returncode == 0:
            kinds.insert(0, "win32")
        else:
            say(f"the signed i686 program did not start under Wine: {can32.stdout.strip()}")
        harness.ensure_template()
        harness.ensure_display()
        try:
            for kind in kinds:
                for attempt in (1, 2):  # a run the harness lost, and only that, is tried once more
                    try:
                        start_under_wine(kind, signed[kind], scratch)
                        break
                    except harness.HarnessLost as error:
                        if attempt == 2:
                            raise
                        say(f"the harness lost the Wine run of {kind} ({error}): once more")
                        shutil.rmtree(scratch / f"wine-{kind}", ignore_errors=True)
        finally:
            harness.stop_display()
    except (Failed, harness.Failed, harness.HarnessLost, release_files.Refused) as error:
        print(f"release-check: FAILED: {error}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    say(f"passed in {time.monotonic() - started:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
