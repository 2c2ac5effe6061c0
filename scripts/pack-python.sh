#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Packs the Python package: one wheel per platform in build/python/, each carrying the native
# the .NET package was packed from (build/nuget/native, made by pack-dotnet.sh, which this runs
# first where they are missing) and the version of the project in CMakeLists.txt. Written with
# Python's standard library and binutils' readelf only, so it needs no network; the same
# sources and SOURCE_DATE_EPOCH give the same bytes. The platform tags follow the natives: the
# newest GLIBC_ version a Linux native needs, the musl it was linked against, the macOS
# minimum its slices were built for.
# Usage: pack-python.sh [OUT_DIR]   (default build/python)
set -euo pipefail
cd "$(dirname "$0")/.."
natives=build/nuget/native
[ -d "$natives" ] || scripts/pack-dotnet.sh >/dev/null
version=$(sed -n 's/^project(QuivaneDll VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# The wheels' time stamps: SOURCE_DATE_EPOCH, or the last commit that changed what they hold.
: "${SOURCE_DATE_EPOCH:=$(git log -1 --format=%ct -- bindings/python LICENSE CMakeLists.txt \
  scripts/pack-python.sh 2>/dev/null || true)}"
: "${SOURCE_DATE_EPOCH:=315532800}"
# musl's loader prints its version when run on its own.
musl=$(/lib/ld-musl-x86_64.so.1 2>&1 | sed -n 's/^Version \([0-9]*\.[0-9]*\).*/\1/p' || true)
[ -n "$musl" ] || { echo "pack-python: cannot read musl's version (musl not installed?)" >&2; exit 1; }
out=${1:-build/python}
rm -rf "$out"
mkdir -p "$out"
SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH /usr/bin/python3 - "$version" "$natives" "$musl" "$out" <<'PY'
import base64
import hashlib
import os
import re
import struct
import subprocess
import sys
import time
import zipfile
from pathlib import Path

version, natives, musl, out = sys.argv[1], Path(sys.argv[2]), sys.argv[3], Path(sys.argv[4])
source = Path("bindings/python")
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]  # zip starts at 1980


def glibc_floor(native):
    """The newest GLIBC_x.y among the versions the native needs (readelf reads every ELF)."""
    listing = subprocess.run(["readelf", "-V", "-W", str(native)], capture_output=True, text=True,
                             check=True).stdout
    needs = listing[listing.index("Version needs section"):]
    found = {tuple(map(int, v)) for v in re.findall(r"Name: GLIBC_(\d+)\.(\d+)", needs)}
    if not found:
        sys.exit(f"pack-python: {native} names no GLIBC_ version")
    return max(found)


# The oldest glibc the Linux natives are built and tested for. A native whose symbols need less
# (x86_64 and armv7l need only their architecture's first versions) is still tagged with this,
# and pip knows no manylinux tag below 2.17 for aarch64 and armv7l.
PROMISED_GLIBC = (2, 17)


def manylinux(native, arch):
    major, minor = max(glibc_floor(native), PROMISED_GLIBC)
    tags = [f"manylinux_{major}_{minor}_{arch}"]
    # The older name pip versions before 20.3 know, for the same floor.
    legacy = {(2, 17): "manylinux2014", (2, 12): "manylinux2010", (2, 5): "manylinux1"}
    if (major, minor) in legacy and (arch in ("x86_64", "i686") or (major, minor) == (2, 17)):
        tags.append(f"{legacy[(major, minor)]}_{arch}")
    return tags


def macos_minimums(native):
    """Each slice's minimum macOS from LC_BUILD_VERSION (or LC_VERSION_MIN_MACOSX)."""
    data = native.read_bytes()
    magic, count = struct.unpack_from(">II", data, 0)
    if magic != 0xCAFEBABE:
        sys.exit(f"pack-python: {native} is not a universal Mach-O")
    names = {0x01000007: "x86_64", 0x0100000C: "arm64"}
    minimums = {}
    for i in range(count):
        cputype, _, offset, _, _ = struct.unpack_from(">iiIII", data, 8 + 20 * i)
        ncmds = struct.unpack_from("<I", data, offset + 16)[0]
        at = offset + 32  # mach_header_64
        for _ in range(ncmds):
            cmd, size = struct.unpack_from("<II", data, at)
            if cmd == 0x32:  # LC_BUILD_VERSION: platform, minos
                packed = struct.unpack_from("<I", data, at + 12)[0]
            elif cmd == 0x24:  # LC_VERSION_MIN_MACOSX: version
                packed = struct.unpack_from("<I", data, at + 8)[0]
            else:
                at += size
                continue
            minimums[names[cputype]] = (packed >> 16, (packed >> 8) & 0xFF)
            break
    if set(minimums) != {"x86_64", "arm64"}:
        sys.exit(f"pack-python: {native} lacks a slice or its minimum: {minimums}")
    return minimums


def universal2(native):
    # pip on an Apple silicon Mac (always macOS 11 or later) accepts universal2 wheels tagged
    # down to 10.4, so the tag carries the x86_64 slice's minimum; the arm64 slice's is met by
    # every Mac that can run it, as long as it is no later than 11.0.
    minimums = macos_minimums(native)
    if minimums["arm64"] > (11, 0):
        sys.exit(f"pack-python: the arm64 slice needs macOS {minimums['arm64']}; a universal2 tag "
                 "cannot say so apart from the x86_64 slice")
    major, minor = minimums["x86_64"]
    return [f"macosx_{major}_{minor}_universal2"]


# The .NET runtime identifier whose native a wheel carries, the package's platform key, and
# the wheel's platform tags.
wheels = [
    ("linux-x64", "linux-x86_64", lambda f: manylinux(f, "x86_64")),
    ("linux-arm64", "linux-aarch64", lambda f: manylinux(f, "aarch64")),
    ("linux-arm", "linux-armv7l", lambda f: manylinux(f, "armv7l")),
    ("linux-musl-x64", "linux-x86_64-musl", lambda f: [f"musllinux_{musl.replace('.', '_')}_x86_64"]),
    ("win-x64", "win-amd64", lambda f: ["win_amd64"]),
    ("win-x86", "win32", lambda f: ["win32"]),
    ("win-arm64", "win-arm64", lambda f: ["win_arm64"]),
    ("osx-arm64", "macosx", universal2),
]

readme = (source / "README.md").read_text(encoding="utf-8")
metadata = f"""Metadata-Version: 2.1
Name: quivanedll
Version: {version}
Summary: Advertise a service on the local network through the machine's own DNS-SD responder (Avahi, the DNS-SD service, Windows' own DNS-SD, macOS)
Keywords: dns-sd,mdns,zeroconf,bonjour,avahi,service discovery
License: MIT
Classifier: License :: OSI Approved :: MIT License
Classifier: Programming Language :: Python :: 3
Classifier: Operating System :: POSIX :: Linux
Classifier: Operating System :: Microsoft :: Windows
Classifier: Operating System :: MacOS
Classifier: Topic :: System :: Networking
Classifier: Typing :: Typed
Requires-Python: >=3.8
Description-Content-Type: text/markdown

{readme}"""
dist_info = f"quivanedll-{version}.dist-info"
python_files = sorted(p for p in (source / "quivanedll").rglob("*")
                      if p.is_file() and "__pycache__" not in p.parts)


def record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def write_entry(archive, name, data, mode=0o644):
    info = zipfile.ZipInfo(name, date_time=stamp)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 3  # Unix, so that the mode below is read
    info.external_attr = (0o100000 | mode) << 16
    archive.writestr(info, data, compresslevel=9)


for rid, key, tags in wheels:
    native = next((natives / rid).iterdir())
    platform_tags = tags(native)
    entries = [(f"quivanedll/{p.relative_to(source / 'quivanedll').as_posix()}", p.read_bytes(), 0o644)
               for p in python_files]
    entries.append((f"quivanedll/native/{key}/{native.name}", native.read_bytes(), 0o755))
    entries.sort()
    wheel = "Wheel-Version: 1.0\nGenerator: quivanedll scripts/pack-python.sh\nRoot-Is-Purelib: false\n"
    wheel += "".join(f"Tag: py3-none-{tag}\n" for tag in platform_tags)
    entries += [
        (f"{dist_info}/LICENSE", Path("LICENSE").read_bytes(), 0o644),
        (f"{dist_info}/METADATA", metadata.encode(), 0o644),
        (f"{dist_info}/WHEEL", wheel.encode(), 0o644),
        (f"{dist_info}/entry_points.txt",
         b"[pyinstaller40]\nhook-dirs = quivanedll.__pyinstaller:get_hook_dirs\n", 0o644),
        (f"{dist_info}/top_level.txt", b"quivanedll\n", 0o644),
    ]
    record = "".join(record_line(name, data) + "\n" for name, data, _ in entries)
    record += f"{dist_info}/RECORD,,\n"
    entries.append((f"{dist_info}/RECORD", record.encode(), 0o644))
    path = out / f"quivanedll-{version}-py3-none-{'.'.join(platform_tags)}.whl"
    with zipfile.ZipFile(path, "w") as archive:
        for name, data, mode in entries:
            write_entry(archive, name, data, mode)
    print(path)
PY
