#!/usr/bin/python3
"""Packs one release zip and checks it.

    dist-zip.py --version 1.10 --arch win64 --out dist \
        --exe build/.../Vextrane.exe --exe build/.../vextrane-cli.exe \
        --guide docs/user-guide.ja.txt --license LICENSE \
        --other-license PCRE2=build/pcre2/x86_64/LICENCE

The zip (dist/vextrane-<version>-<arch>.zip) holds the programs, the user
guide as はじめにお読みください.txt (code page 932, CR LF: what Notepad on a
Japanese Windows opens without asking), the license as LICENSE.txt (CR LF),
the licence of each library linked in as LICENSE-<NAME>.txt (CR LF) and
SHA256SUMS.txt, one "<sum> *<name>" line per file, names in UTF-8 as
sha256sum -c reads them. Every name is stored with the UTF-8 flag (general
purpose bit 11), so Explorer shows the Japanese name as written. The entries
carry the time of the last commit, so that the same sources give the same
listing.

Afterwards the zip is read back: the names, the flag on each, the sums
against the files packed and against SHA256SUMS.txt, the guide's encoding
and line breaks, and the version in each program's version block. Any
difference fails the build.

Runs with Debian's python3 (scripts/setup installs it) and its standard
library only.
"""

import argparse
import hashlib
import io
import os
import subprocess
import sys
import time
import zipfile

GUIDE_NAME = "はじめにお読みください.txt"
LICENSE_NAME = "LICENSE.txt"
SUMS_NAME = "SHA256SUMS.txt"
UTF8_NAME_FLAG = 0x800


def fail(message):
    sys.exit("dist: " + message)


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


class Utf8NameInfo(zipfile.ZipInfo):
    """An entry whose name is stored in UTF-8 with the flag set, ASCII names too
    (zipfile sets it for non-ASCII names only)."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("utf-8"), self.flag_bits | UTF8_NAME_FLAG


def commit_time(source):
    """The date of the last commit as a zip timestamp; now outside git."""
    try:
        seconds = int(subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"], check=True,
                                     capture_output=True, text=True).stdout.strip())
    except (OSError, ValueError, subprocess.CalledProcessError):
        seconds = int(time.time())
    return time.gmtime(seconds)[:6]


def version_in_program(data):
    """The ProductVersion string of a program's version block (UTF-16LE)."""
    key = "ProductVersion\0".encode("utf-16-le")
    at = data.find(key)
    if at < 0:
        return None
    at += len(key)
    at += (-at) % 4  # the value starts on a 32-bit boundary of the block
    end = at
    while end + 1 < len(data) and data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def build(args):
    files = []  # (name in the zip, bytes)
    for exe in args.exe:
        with open(exe, "rb") as f:
            files.append((os.path.basename(exe), f.read()))
    with open(args.guide, encoding="utf-8") as f:
        try:
            files.append((GUIDE_NAME, crlf(f.read()).encode("cp932")))
        except UnicodeEncodeError as e:
            fail(f"{args.guide}: a character with no code page 932 form: {e.object[e.start:e.end]!r}")
    with open(args.license, encoding="utf-8") as f:
        files.append((LICENSE_NAME, crlf(f.read()).encode("ascii")))
    for other in args.other_license:
        name, sep, path = other.partition("=")
        if not sep or not name or not path:
            fail(f"--other-license {other!r}: expected NAME=PATH")
        with open(path, encoding="utf-8") as f:
            files.append((f"LICENSE-{name}.txt", crlf(f.read()).encode("ascii")))
    sums = "".join(f"{hashlib.sha256(data).hexdigest()} *{name}\n" for name, data in files)
    files.append((SUMS_NAME, sums.encode("utf-8")))

    os.makedirs(args.out, exist_ok=True)
    path = os.path.join(args.out, f"vextrane-{args.version}-{args.arch}.zip")
    stamp = commit_time(os.path.dirname(os.path.abspath(args.license)))
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files:
            info = Utf8NameInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # made on "MS-DOS": plain attributes, as Windows expects
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            z.writestr(info, data)
    with open(path, "wb") as f:
        f.write(buffer.getvalue())
    return path, files


def check(path, files, version):
    expected = {name: data for name, data in files}
    with zipfile.ZipFile(path) as z:
        infos = z.infolist()
        names = [i.filename for i in infos]
        if names != [name for name, _ in files]:
            fail(f"{path}: holds {names}, not {[name for name, _ in files]}")
        for info in infos:
            if not info.flag_bits & UTF8_NAME_FLAG:
                fail(f"{path}: {info.filename} is stored without the UTF-8 name flag")
            data = z.read(info)
            if data != expected[info.filename]:
                fail(f"{path}: {info.filename} differs from the file packed")
        sums = {}
        for line in z.read(SUMS_NAME).decode("utf-8").splitlines():
            digest, name = line.split(" *", 1)
            sums[name] = digest
        for name in names:
            if name == SUMS_NAME:
                continue
            if sums.get(name) != hashlib.sha256(z.read(name)).hexdigest():
                fail(f"{path}: the sum of {name} in {SUMS_NAME} is wrong or missing")
        if set(sums) != set(names) - {SUMS_NAME}:
            fail(f"{path}: {SUMS_NAME} lists {sorted(sums)}")
        guide = z.read(GUIDE_NAME)
        guide.decode("cp932")
        if guide.count(b"\n") != guide.count(b"\r\n") or b"\r\n" not in guide:
            fail(f"{path}: {GUIDE_NAME} has line breaks other than CR LF")
        for name in names:
            if name.endswith(".exe"):
                shown = version_in_program(z.read(name))
                if shown != version:
                    fail(f"{path}: {name} says version {shown!r}, the zip {version!r}")
    # The raw bytes too: the central directory's names and flags as Explorer reads them.
    with open(path, "rb") as f:
        raw = f.read()
    if GUIDE_NAME.encode("utf-8") not in raw:
        fail(f"{path}: the guide's name is not stored in UTF-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--version", required=True)
    parser.add_argument("--arch", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--exe", action="append", required=True)
    parser.add_argument("--guide", required=True)
    parser.add_argument("--license", required=True)
    parser.add_argument("--other-license", action="append", default=[], metavar="NAME=PATH")
    args = parser.parse_args()
    path, files = build(args)
    check(path, files, args.version)
    print(f"dist: {path} ({os.path.getsize(path)} bytes): " + ", ".join(name for name, _ in files) + "; checked")


if __name__ == "__main__":
    main()
