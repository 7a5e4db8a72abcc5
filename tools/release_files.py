#!/usr/bin/env python3
"""The files of a release beside the programs (tools/release.sh calls it):

  release_files.py pe-check PROGRAM...        can a signature be taken off again to give these bytes?
  release_files.py changelog VERSION          the date of VERSION's entry, which must come first
  release_files.py zip OUT PROGRAM VERSION ARCH DATE
  release_files.py manifests DIST VERSION BASE_URL HOMEPAGE DATE
  release_files.py sums DIST                  SHA256SUMS of every file in DIST

ARCH is win32 or win64, DATE the release's date (YYYY-MM-DD) from CHANGELOG.md. A failure prints
its cause and exits with 1.
"""

import hashlib
import json
import re
import struct
import sys
import zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
TEXTS = REPO / "tools" / "release"

# What the package managers know the program as.
PACKAGE_ID = "qz57.tolva2"
PUBLISHER = "qz57"
COPYRIGHT = "Copyright (c) 2026 Seed 1cb52641 maintainers"
ARCHES = {"win32": dict(bits=32, winget="x86", scoop="32bit"),
          "win64": dict(bits=64, winget="x64", scoop="64bit")}


class Refused(Exception):
    pass


def release_name(version, arch, ext):
    return f"tolva2-{version}-{arch}.{ext}"


# --- PE -----------------------------------------------------------------------------------------

def pe_header(data):
    """Offset of the optional header and its magic (0x10b PE32, 0x20b PE32+)."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        raise Refused("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise Refused("no PE signature")
    optional = pe + 24
    return optional, struct.unpack_from("<H", data, optional)[0]


def checksum_offset(data):
    # CheckSum sits at the same place in the PE32 and PE32+ optional headers.
    return pe_header(data)[0] + 64


def pe_checksum(data):
    """The image checksum as the loader computes it: 16-bit one's-complement sum of the file with
    the CheckSum field taken as zero, plus the file's length."""
    field = checksum_offset(data)
    words = bytearray(data)
    words[field:field + 4] = bytes(4)
    if len(words) % 2:
        words.append(0)
    total = sum(struct.unpack(f"<{len(words) // 2}H", words))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def pe_sections(data):
    """(name, file offset, size in the file) of every section."""
    optional, _ = pe_header(data)
    count, optional_size = struct.unpack_from("<H12xH", data, optional - 20 + 2)
    table = optional + optional_size
    sections = []
    for i in range(count):
        name, raw_size, raw_offset = struct.unpack_from("<8s8xII", data, table + 40 * i)
        sections.append((name.rstrip(b"\0").decode("ascii", "replace"), raw_offset, raw_size))
    return sections


def signable_problem(path):
    """Why osslsigncode's remove-signature would not give these bytes back, or None.
    Signing pads the file to 8 bytes before the signature and rewrites the CheckSum; removing the
    signature cuts at the signature's offset and computes the CheckSum again."""
    data = Path(path).read_bytes()
    if len(data) % 8:
        return (f"{path}: {len(data)} bytes, not a multiple of 8: signing pads it first, so the "
                "unsigned bytes would not come back when the signature is removed")
    stored = struct.unpack_from("<I", data, checksum_offset(data))[0]
    computed = pe_checksum(data)
    if stored != computed:
        return (f"{path}: PE CheckSum 0x{stored:08x} is not the computed 0x{computed:08x} (did the "
                "linker stop writing it?): removing a signature writes the computed one, so the "
                "unsigned bytes would not come back")
    return None


# --- CHANGELOG.md -------------------------------------------------------------------------------

def changelog_date(version, path=REPO / "CHANGELOG.md"):
    """The date of VERSION's entry, which must be the first version entry (below an optional
    "## [Unreleased]")."""
    if not path.is_file():
        raise Refused(f"{path.name} is missing")
    headings = [line for line in path.read_text(encoding="utf-8").splitlines() if line.startswith("## ")]
    headings = [line for line in headings if line.strip() != "## [Unreleased]"]
    want = f"## [{version}] - YYYY-MM-DD"
    if not headings:
        raise Refused(f"{path.name} has no version entry: the first must be '{want}'")
    match = re.fullmatch(r"## \[([^\]]+)\] - ((\d{4})-(\d{2})-(\d{2}))", headings[0].strip())
    if not match or match.group(1) != version:
        raise Refused(f"{path.name}'s first version entry is '{headings[0].strip()}', not '{want}'")
    year, month, day = (int(match.group(n)) for n in (3, 4, 5))
    # A zip entry's time cannot be earlier than 1980.
    if year < 1980 or not 1 <= month <= 12 or not 1 <= day <= 31:
        raise Refused(f"{path.name}: '{match.group(2)}' is not a date from 1980 on")
    return match.group(2)


# --- the zip ------------------------------------------------------------------------------------

def windows_text(text):
    """UTF-8 with a byte order mark and CRLF line ends: Notepad of every Windows reads it right."""
    return b"\xef\xbb\xbf" + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def zip_entries(program, version, arch):
    """(name, bytes) in the zip's order."""
    readme = (TEXTS / "README.txt").read_text(encoding="utf-8")
    readme = readme.format(version=version, arch=arch, bits=ARCHES[arch]["bits"])
    return [
        ("tolva2.exe", Path(program).read_bytes()),
        ("README.txt", windows_text(readme)),
        ("LICENSE.txt", windows_text((REPO / "LICENSE").read_text(encoding="utf-8"))),
        ("THIRD-PARTY-NOTICES.txt", windows_text((TEXTS / "THIRD-PARTY-NOTICES.txt").read_text(encoding="utf-8"))),
    ]


def write_zip(out, program, version, arch, date):
    """The same inputs give the same bytes: fixed order, entry time (the release's date, noon),
    attributes and compression."""
    when = tuple(int(part) for part in date.split("-")) + (12, 0, 0)
    with zipfile.ZipFile(out, "w") as archive:
        for name, data in zip_entries(program, version, arch):
            info = zipfile.ZipInfo(name, date_time=when)
            info.create_system = 0  # MS-DOS attributes, as Windows' own zips have
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)


# --- winget and Scoop ---------------------------------------------------------------------------

def sha256(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def yaml_lines(schema, fields):
    """A manifest as YAML; every value a JSON scalar or a list of them, which YAML reads as is."""
    lines = [f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{schema}.1.6.0.schema.json", ""]
    for key, value in fields:
        if isinstance(value, list) and value and isinstance(value[0], dict):
            lines.append(f"{key}:")
            for item in value:
                for n, (k, v) in enumerate(item.items()):
                    lines.append(f"{'- ' if n == 0 else '  '}{k}: {json.dumps(v, ensure_ascii=False)}")
        elif isinstance(value, list):
            lines.append(f"{key}:")
            lines.extend(f"- {json.dumps(v, ensure_ascii=False)}" for v in value)
        else:
            lines.append(f"{key}: {json.dumps(value, ensure_ascii=False)}")
    return "\n".join(lines) + "\n"


LOCALES = {
    "zh-CN": dict(
        PackageName="Kalvo双桌面",
        ShortDescription="在普通桌面旁再给你一个独立的 Windows 桌面，用热键在两个桌面之间切换。",
        Description=("在普通桌面“Default”之外建立第二个独立的 Windows 桌面“desk new”，在上面启动它自己的外壳；"
                     "Ctrl+Alt+Enter 或 Ctrl+Alt+N 切换，Ctrl+Alt+H 隐藏或显示窗口和托盘图标，Ctrl+Alt+K 退出。"
                     "一个程序文件，不用安装。用 winget 安装的便携版不在开始菜单里建立项目：在命令行里输入 tolva2 运行。"),
        Tags=["桌面", "虚拟桌面", "热键"]),
    "en-US": dict(
        PackageName="Kalvo dual desktop",
        ShortDescription="A second, independent Windows desktop beside the normal one, flipped to with hot keys.",
        Description=("Creates a second, independent Windows desktop (\"desk new\") beside \"Default\" with a shell "
                     "of its own; Ctrl+Alt+Enter or Ctrl+Alt+N switches, Ctrl+Alt+H hides or shows the window and "
                     "the tray icon, Ctrl+Alt+K exits. One program file, nothing to install. A winget portable "
                     "install makes no Start-menu entry: run it as tolva2 from a command line."),
        Tags=["desktop", "virtual-desktop", "hotkeys"]),
}


def winget_manifests(version, base_url, homepage, date, hashes):
    """{file name: text} of the multi-file manifest: version, installer, zh-CN (default) and en-US."""
    head = [("PackageIdentifier", PACKAGE_ID), ("PackageVersion", version)]
    installers = [dict(Architecture=ARCHES[arch]["winget"], InstallerUrl=f"{base_url}/{release_name(version, arch, 'exe')}",
                       InstallerSha256=hashes[arch].upper()) for arch in ARCHES]
    files = {
        f"{PACKAGE_ID}.yaml": yaml_lines("version", head + [
            ("DefaultLocale", "zh-CN"), ("ManifestType", "version"), ("ManifestVersion", "1.6.0")]),
        # A portable package's command alias is its first command (PortableCommandAlias belongs
        # to a file inside an archive).
        f"{PACKAGE_ID}.installer.yaml": yaml_lines("installer", head + [
            ("InstallerType", "portable"), ("Commands", ["tolva2"]), ("MinimumOSVersion", "6.1.7601.0"),
            ("ReleaseDate", date), ("Installers", installers),
            ("ManifestType", "installer"), ("ManifestVersion", "1.6.0")]),
    }
    for locale, texts in LOCALES.items():
        kind = "defaultLocale" if locale == "zh-CN" else "locale"
        fields = [("PackageLocale", locale), ("Publisher", PUBLISHER), ("PackageName", texts["PackageName"]),
                  ("PackageUrl", homepage), ("License", "MIT"), ("Copyright", COPYRIGHT),
                  ("ShortDescription", texts["ShortDescription"]), ("Description", texts["Description"])]
        if kind == "defaultLocale":
            fields.append(("Moniker", "tolva2"))
        fields += [("Tags", texts["Tags"]), ("ManifestType", kind), ("ManifestVersion", "1.6.0")]
        files[f"{PACKAGE_ID}.locale.{locale}.yaml"] = yaml_lines(kind, head + fields)
    return files


def scoop_manifest(version, base_url, homepage, hashes):
    """Scoop's manifest; checkver and autoupdate read the SHA256SUMS published at base_url, which
    must be the newest release's."""
    def exe_url(v, arch):
        # Scoop keeps the download under the name after "#/": the same tolva2.exe every version.
        return f"{base_url}/{release_name(v, arch, 'exe')}#/tolva2.exe"

    order = ("win64", "win32")
    return json.dumps({
        "version": version,
        "description": "Kalvo双桌面: a second, independent Windows desktop beside the normal one, flipped to with hot keys",
        "homepage": homepage,
        "license": "MIT",
        "architecture": {ARCHES[a]["scoop"]: {"url": exe_url(version, a), "hash": hashes[a]} for a in order},
        "bin": "tolva2.exe",
        "shortcuts": [["tolva2.exe", "Kalvo双桌面"]],
        "checkver": {"url": f"{base_url}/SHA256SUMS", "regex": r"tolva2-([\d.]+)-win64\.exe"},
        "autoupdate": {
            "architecture": {ARCHES[a]["scoop"]: {"url": exe_url("$version", a)} for a in order},
            "hash": {"url": "$baseurl/SHA256SUMS"},
        },
    }, ensure_ascii=False, indent=4) + "\n"


def write_manifests(dist, version, base_url, homepage, date):
    dist = Path(dist)
    base_url = base_url.rstrip("/")
    hashes = {arch: sha256(dist / release_name(version, arch, "exe")) for arch in ARCHES}
    winget = dist / "manifests" / "winget"
    scoop = dist / "manifests" / "scoop"
    winget.mkdir(parents=True, exist_ok=True)
    scoop.mkdir(parents=True, exist_ok=True)
    for name, text in winget_manifests(version, base_url, homepage, date, hashes).items():
        (winget / name).write_text(text, encoding="utf-8")
    (scoop / "tolva2.json").write_text(scoop_manifest(version, base_url, homepage, hashes), encoding="utf-8")


def write_sums(dist):
    """SHA256SUMS in sha256sum's form, every file below dist in a fixed order, paths with '/'."""
    dist = Path(dist)
    files = sorted(p for p in dist.rglob("*") if p.is_file() and p.name != "SHA256SUMS")
    lines = [f"{sha256(p)}  {p.relative_to(dist).as_posix()}\n" for p in files]
    (dist / "SHA256SUMS").write_text("".join(lines), encoding="utf-8")


def main(argv):
    commands = {
        "pe-check": (None, lambda *programs: [p for p in map(signable_problem, programs) if p]),
        "changelog": (1, lambda version: print(changelog_date(version))),
        "zip": (5, write_zip),
        "manifests": (5, write_manifests),
        "sums": (1, write_sums),
    }
    if len(argv) < 2 or argv[1] not in commands:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    count, command = commands[argv[1]]
    args = argv[2:]
    if (count is not None and len(args) != count) or (count is None and not args):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    who = "pe-check" if argv[1] == "pe-check" else "release"
    try:
        problems = command(*args)
    except (Refused, OSError) as error:
        print(f"{who}: {error}", file=sys.stderr)
        return 1
    for problem in problems or ():
        print(f"{who}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
