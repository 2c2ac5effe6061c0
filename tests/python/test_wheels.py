# SPDX-License-Identifier: MIT
"""What the packed wheels hold: their files, tags, RECORD and metadata, each native's format as
`file` reads it and its bytes equal to the .NET package's, the same bytes from a second pack,
and the wheel pip chooses for each platform (none where no native fits)."""
import base64
import csv
import email.parser
import hashlib
import io
import os
import re
import subprocess
import tempfile
import zipfile
from pathlib import Path

import pytest

from conftest import setting

SOURCE = Path(__file__).resolve().parents[2]
VERSION = re.search(r"project\(QuivaneDll VERSION ([0-9.]+)", (SOURCE / "CMakeLists.txt").read_text()).group(1)
DIST_INFO = f"quivanedll-{VERSION}.dist-info"

# The .NET runtime identifier carrying the same native, the package's platform key, the file,
# and what `file` says of it.
NATIVES = {
    "x86_64": ("linux-x64", "linux-x86_64", "libQuivaneDll.so", r"^ELF 64-bit LSB shared object, x86-64"),
    "aarch64": ("linux-arm64", "linux-aarch64", "libQuivaneDll.so", r"^ELF 64-bit LSB shared object, ARM aarch64"),
    "armv7l": ("linux-arm", "linux-armv7l", "libQuivaneDll.so", r"^ELF 32-bit LSB shared object, ARM, EABI5"),
    "musl": ("linux-musl-x64", "linux-x86_64-musl", "libQuivaneDll.so", r"^ELF 64-bit LSB shared object, x86-64"),
    "win_amd64": ("win-x64", "win-amd64", "QuivaneDll.dll", r"^PE32\+ executable \(DLL\) .*x86-64"),
    "win32": ("win-x86", "win32", "QuivaneDll.dll", r"^PE32 executable \(DLL\) .*Intel 80386"),
    "win_arm64": ("win-arm64", "win-arm64", "QuivaneDll.dll", r"^PE32\+ executable \(DLL\) .*Aarch64"),
    "universal2": ("osx-arm64", "macosx", "libQuivaneDll.dylib", r"^Mach-O universal binary with 2 architectures"),
}


def nupkg_native(rid, file):
    nupkg = setting("QUIVANE_NUPKG")
    with zipfile.ZipFile(nupkg) as package:
        return package.read(f"runtimes/{rid}/native/{file}")


def glibc_floor(native_bytes):
    """The newest GLIBC_ version among the native's dynamic symbols, read by llvm-objdump."""
    with tempfile.NamedTemporaryFile() as file:
        file.write(native_bytes)
        file.flush()
        symbols = subprocess.run(["llvm-objdump-16", "-T", file.name], capture_output=True, text=True,
                                 check=True).stdout
    return max(tuple(map(int, v)) for v in re.findall(r"\(GLIBC_(\d+)\.(\d+)\)", symbols))


def macos_minimum(native_bytes, arch):
    with tempfile.NamedTemporaryFile() as file:
        file.write(native_bytes)
        file.flush()
        headers = subprocess.run(["llvm-objdump-16", "--macho", "--private-headers", f"--arch={arch}", file.name],
                                 capture_output=True, text=True, check=True).stdout
    found = re.search(r"cmd LC_(?:BUILD_VERSION|VERSION_MIN_MACOSX)\n(?:.*\n)*?\s*(?:minos|version) (\d+)\.(\d+)",
                      headers)
    return int(found.group(1)), int(found.group(2))


def musl_version():
    version = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", "musl"], capture_output=True,
                             text=True, check=True).stdout
    return tuple(map(int, version.split(".")[:2]))


def expected_tags(kind, native_bytes):
    if kind in ("x86_64", "aarch64", "armv7l"):
        # Never below what the native's symbols need, never below the glibc 2.17 promised.
        major, minor = max(glibc_floor(native_bytes), (2, 17))
        tags = [f"manylinux_{major}_{minor}_{kind}"]
        return tags + ([f"manylinux2014_{kind}"] if (major, minor) == (2, 17) else [])
    if kind == "musl":
        return ["musllinux_%d_%d_x86_64" % musl_version()]
    if kind == "universal2":
        x86 = macos_minimum(native_bytes, "x86_64")
        assert macos_minimum(native_bytes, "arm64") <= (11, 0)
        return ["macosx_%d_%d_universal2" % x86]
    return [kind]


def kind_of(wheel):
    tag = wheel.name[:-len(".whl")].split("-")[-1].split(".")[0]
    if tag.startswith("musllinux"):
        return "musl"
    return tag.split("_", 3)[3] if tag.startswith(("manylinux_", "macosx_")) else tag


def test_one_wheel_per_platform_with_its_tags_record_metadata_and_the_net_packages_native(wheels):
    assert sorted(kind_of(w) for w in wheels) == sorted(NATIVES)
    readme = (SOURCE / "bindings" / "python" / "README.md").read_text(encoding="utf-8")
    modules = set()
    for wheel in wheels:
        kind = kind_of(wheel)
        rid, key, file, format_ = NATIVES[kind]
        native = nupkg_native(rid, file)
        tags = expected_tags(kind, native)
        assert wheel.name == f"quivanedll-{VERSION}-py3-none-{'.'.join(tags)}.whl"
        assert f"`{tags[0]}`" in readme, f"the README's platform table lacks {tags[0]}"
        with zipfile.ZipFile(wheel) as archive:
            names = archive.namelist()
            assert names == sorted(names[:-6]) + [f"{DIST_INFO}/{n}" for n in (
                "LICENSE", "METADATA", "WHEEL", "entry_points.txt", "top_level.txt", "RECORD")]
            assert names[:-6] == ["quivanedll/__init__.py", "quivanedll/__pyinstaller/__init__.py",
                                  "quivanedll/__pyinstaller/hook-quivanedll.py",
                                  f"quivanedll/native/{key}/{file}", "quivanedll/py.typed"]
            for info in archive.infolist():
                mode = 0o755 if info.filename.startswith("quivanedll/native/") else 0o644
                assert info.external_attr >> 16 == 0o100000 | mode, info.filename
                assert info.date_time == archive.infolist()[0].date_time
            packed = archive.read(f"quivanedll/native/{key}/{file}")
            assert hashlib.sha256(packed).digest() == hashlib.sha256(native).digest(), f"{wheel.name} differs from {rid}"
            described = subprocess.run(["file", "-b", "-"], input=packed, capture_output=True, check=True).stdout
            assert re.match(NATIVES[kind][3], described.decode()), described
            modules.add(archive.read("quivanedll/__init__.py"))

            rows = list(csv.reader(io.StringIO(archive.read(f"{DIST_INFO}/RECORD").decode())))
            assert [r[0] for r in rows] == names
            assert rows[-1] == [f"{DIST_INFO}/RECORD", "", ""]
            for path, digest, size in rows[:-1]:
                data = archive.read(path)
                assert digest == "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
                assert int(size) == len(data)

            wheel_file = email.parser.Parser().parsestr(archive.read(f"{DIST_INFO}/WHEEL").decode())
            assert wheel_file["Wheel-Version"] == "1.0" and wheel_file["Root-Is-Purelib"] == "false"
            assert wheel_file.get_all("Tag") == [f"py3-none-{t}" for t in tags]
            meta = email.parser.Parser().parsestr(archive.read(f"{DIST_INFO}/METADATA").decode())
            assert (meta["Metadata-Version"], meta["Name"], meta["Version"], meta["License"],
                    meta["Requires-Python"]) == ("2.1", "quivanedll", VERSION, "MIT", ">=3.8")
            assert meta.get_payload() == readme
            assert archive.read(f"{DIST_INFO}/LICENSE") == (SOURCE / "LICENSE").read_bytes()
            assert archive.read(f"{DIST_INFO}/entry_points.txt").decode().split() == [
                "[pyinstaller40]", "hook-dirs", "=", "quivanedll.__pyinstaller:get_hook_dirs"]
    assert len(modules) == 1, "every wheel carries the same Python module"


def test_a_second_pack_gives_the_same_bytes(wheels, tmp_path):
    subprocess.run([str(SOURCE / "scripts" / "pack-python.sh"), str(tmp_path)], check=True,
                   capture_output=True, env={k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"})
    again = sorted(tmp_path.glob("*.whl"))
    assert [w.name for w in again] == [w.name for w in wheels]
    for first, second in zip(wheels, again):
        assert first.read_bytes() == second.read_bytes(), f"{first.name} differs between two packs"


def glibc_host(major, minor, arch):
    """The platform tags pip accepts on a glibc major.minor machine (as its tag list runs)."""
    legacy = [f"manylinux2014_{arch}"] if minor >= 17 else []
    return [f"manylinux_{major}_{m}_{arch}" for m in range(minor, 16, -1)] + legacy + [f"linux_{arch}"]


def musl_host(major, minor, arch):
    return [f"musllinux_{major}_{m}_{arch}" for m in range(minor, -1, -1)] + [f"linux_{arch}"]


@pytest.fixture(scope="module")
def floors(wheels):
    with zipfile.ZipFile(next(w for w in wheels if kind_of(w) == "x86_64")) as archive:
        linux = max(glibc_floor(archive.read("quivanedll/native/linux-x86_64/libQuivaneDll.so")), (2, 17))
    return {"glibc": linux, "musl": musl_version()}


# A platform as pip sees it, and the wheel kind it must choose there (None: no wheel fits).
HOSTS = [
    ("glibc x86_64 at the floor", lambda f: glibc_host(*f["glibc"], "x86_64"), "3.11", "x86_64"),
    ("glibc x86_64, newer", lambda f: glibc_host(2, f["glibc"][1] + 5, "x86_64"), "3.11", "x86_64"),
    ("glibc x86_64 below the floor", lambda f: glibc_host(2, f["glibc"][1] - 1, "x86_64"), "3.11", None),
    ("glibc aarch64", lambda f: glibc_host(*f["glibc"], "aarch64"), "3.11", "aarch64"),
    ("glibc armv7l", lambda f: glibc_host(*f["glibc"], "armv7l"), "3.11", "armv7l"),
    ("glibc ppc64le", lambda f: glibc_host(*f["glibc"], "ppc64le"), "3.11", None),
    ("glibc i686", lambda f: glibc_host(*f["glibc"], "i686"), "3.11", None),
    ("musl x86_64", lambda f: musl_host(*f["musl"], "x86_64"), "3.11", "musl"),
    ("musl x86_64 below the floor", lambda f: musl_host(f["musl"][0], f["musl"][1] - 1, "x86_64"), "3.11", None),
    ("musl aarch64", lambda f: musl_host(*f["musl"], "aarch64"), "3.11", None),
    ("Windows x64", lambda f: ["win_amd64"], "3.11", "win_amd64"),
    ("Windows x86", lambda f: ["win32"], "3.11", "win32"),
    ("Windows ARM64", lambda f: ["win_arm64"], "3.11", "win_arm64"),
    ("macOS 11 on Apple silicon", lambda f: ["macosx_11_0_arm64"], "3.11", "universal2"),
    ("macOS 14 on Apple silicon", lambda f: ["macosx_14_0_arm64"], "3.11", "universal2"),
    ("macOS 10.13 on Intel", lambda f: ["macosx_10_13_x86_64"], "3.11", "universal2"),
    ("macOS 10.12 on Intel", lambda f: ["macosx_10_12_x86_64"], "3.11", None),
    ("Python 3.8", lambda f: ["win_amd64"], "3.8", "win_amd64"),
    ("Python 3.7", lambda f: ["win_amd64"], "3.7", None),
]


@pytest.mark.parametrize("label,platforms,python,chosen", HOSTS, ids=[h[0] for h in HOSTS])
def test_pip_chooses_the_wheel_for_each_platform(wheels, venv_python, floors, tmp_path, label, platforms, python, chosen):
    abi = "cp" + python.replace(".", "")
    command = [str(venv_python), "-m", "pip", "download", "--no-index", "--find-links", str(wheels[0].parent),
               "--only-binary=:all:", "--python-version", python, "--implementation", "cp", "--abi", abi,
               "-d", str(tmp_path), "quivanedll"]
    for platform in platforms(floors):
        command[-1:-1] = ["--platform", platform]
    result = subprocess.run(command, capture_output=True, text=True, timeout=120,
                            env={**os.environ, "PIP_DISABLE_PIP_VERSION_CHECK": "1"})
    got = [kind_of(w) for w in tmp_path.glob("*.whl")]
    if chosen is None:
        assert result.returncode != 0 and got == [], f"{label}: pip took {got}"
        assert re.search("No matching distribution found for quivanedll|requires a different Python",
                         result.stderr), result.stderr
    else:
        assert result.returncode == 0, result.stderr
        assert got == [chosen], f"{label}: pip took {got}"
