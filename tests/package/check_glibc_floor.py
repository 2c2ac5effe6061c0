# SPDX-License-Identifier: MIT
"""Reads every glibc module that a package carries the way auditwheel does, and holds it to the
floor that the packages promise: no symbol version newer than GLIBC_2.17, no C++ runtime
(GLIBCXX_, CXXABI_, GCC_), and nothing NEEDED beyond libc, libdl, libpthread and the loader.

  check_glibc_floor.py SOURCE_DIR VERSION

Looks in the staged .NET natives (build/nuget/native), the .NET package itself, the npm tarball's
prebuilds and the Unity package; each must hold the glibc modules listed below. A failure names
symbol@version and the file. Prints the newest glibc version each module needs.
"""
import re
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from pathlib import Path

FLOOR = (2, 17)
NEEDED_OK = re.compile(r"^(libc\.so\.6|libdl\.so\.2|libpthread\.so\.0|ld-linux[-a-z0-9_]*\.so\.[0-9]+)$")
CXX_RUNTIME = re.compile(r"^(GLIBCXX|CXXABI|GCC)_")
GLIBC = re.compile(r"^GLIBC_([0-9]+(?:\.[0-9]+)+)$")
MACHINES = {"linux-x64": "X86-64", "linux-arm64": "AArch64", "linux-arm": "ARM"}


def packages(source, version):
    """(package, member path, runtime) of every glibc module, and an opener for each package."""
    build = source / "build"
    nupkg = build / "nuget" / f"QuivaneDll.{version}.nupkg"
    npm = build / "npm" / f"quivanedll-{version}.tgz"
    unity = sorted((build / "unity").glob("*.tgz"))
    wanted = []
    for rid in MACHINES:
        wanted.append((build / "nuget" / "native", f"{rid}/libQuivaneDll.so", rid))
        wanted.append((nupkg, f"runtimes/{rid}/native/libQuivaneDll.so", rid))
        wanted.append((npm, f"package/prebuilds/{rid}/libQuivaneDll.so", rid))
    wanted.append((unity[-1] if unity else build / "unity" / "(no .tgz)",
                   "package/Runtime/Plugins/Linux/x86_64/libQuivaneDll.so", "linux-x64"))
    return wanted


def read_member(package, member):
    if package.is_dir():
        return (package / member).read_bytes()
    if package.suffix == ".nupkg":
        with zipfile.ZipFile(package) as z:
            return z.read(member)
    with tarfile.open(package) as t:
        f = t.extractfile(member)
        if f is None:
            raise KeyError(member)
        return f.read()


def readelf(args, path):
    return subprocess.run(["readelf", "-W"] + args + [str(path)], capture_output=True, text=True,
                          check=True).stdout


def audit(path, label, rid):
    """Returns (problems, newest glibc version needed) for one module."""
    problems = []
    machine = re.search(r"Machine:\s*(.*)", readelf(["-h"], path)).group(1)
    if MACHINES[rid] not in machine:
        problems.append(f"{label}: machine is {machine}, want {MACHINES[rid]}")
    needed = re.findall(r"\(NEEDED\).*\[(.*)\]", readelf(["-d"], path))
    if "libc.so.6" not in needed:
        problems.append(f"{label}: not a glibc module (NEEDED {needed})")
    problems += [f"{label}: NEEDED {lib}, beyond libc, libdl, libpthread and the loader"
                 for lib in needed if not NEEDED_OK.match(lib)]
    # Undefined symbols with the version each binds; readelf writes name@VERSION (n).
    versions = []
    for line in readelf(["--dyn-syms"], path).splitlines():
        fields = line.split()
        if len(fields) >= 8 and fields[6] == "UND" and "@" in fields[7]:
            name, version = fields[7].split("@", 1)
            versions.append((f"{name}@{version.lstrip('@')}", version.lstrip("@")))
    # And every version the module requires of a library, symbol or not.
    needs = readelf(["-V"], path).split("Version needs section", 1)
    for file_name, block in re.findall(r"File: (\S+)\s+Cnt: \d+\n((?:\s+0x[0-9a-f]+:\s+Name:.*\n?)*)",
                                       needs[1] if len(needs) > 1 else ""):
        versions += [(f"(version need of {file_name})@{v}", v) for v in re.findall(r"Name: (\S+)", block)]
    newest = (0,)
    for what, version in versions:
        if CXX_RUNTIME.match(version):
            problems.append(f"{label}: {what} is the C++ runtime's")
            continue
        m = GLIBC.match(version)
        if not m:
            problems.append(f"{label}: {what} is no glibc version")
            continue
        number = tuple(int(x) for x in m.group(1).split("."))
        newest = max(newest, number)
        if number > FLOOR:
            problems.append(f"{label}: {what} needs glibc {m.group(1)}, newer than the floor "
                            f"{'.'.join(map(str, FLOOR))}")
    if newest == (0,):
        problems.append(f"{label}: no versioned glibc symbol read: not the module expected")
    return problems, newest


def main(source, version):
    problems = []
    with tempfile.TemporaryDirectory() as scratch:
        for i, (package, member, rid) in enumerate(packages(Path(source), version)):
            label = f"{package}!{member}" if not package.is_dir() else str(package / member)
            try:
                data = read_member(package, member)
            except (OSError, KeyError, zipfile.BadZipFile, tarfile.TarError) as e:
                problems.append(f"{label}: missing ({e})")
                continue
            path = Path(scratch) / f"{i}.so"
            path.write_bytes(data)
            found, newest = audit(path, label, rid)
            problems += found
            print(f"{label}: newest GLIBC_{'.'.join(map(str, newest))}" + (" FAIL" if found else ""))
    for p in problems:
        print(f"FAIL: {p}")
    if problems:
        return 1
    print(f"glibc floor OK: every packaged glibc module needs at most GLIBC_{'.'.join(map(str, FLOOR))}")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
