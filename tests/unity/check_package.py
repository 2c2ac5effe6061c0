# SPDX-License-Identifier: MIT
"""Checks a Unity package tarball the way the Editor reads it: its layout, the .meta beside
every asset, the GUIDs, package.json, and that each native module's import settings enable
exactly the platform and CPU its binary is built for.

usage: check_package.py TARBALL CMAKELISTS
"""
import json
import re
import struct
import sys
import tarfile

failures = []


def fail(message):
    failures.append(message)
    print(f"FAIL: {message}")


def machine(data):
    """(Editor OS, standalone platform, CPU) that a native binary is built for; Editor OS None
    where no Editor runs on that CPU (the Windows Editor is 64-bit only)."""
    if data[:4] == b"\xca\xfe\xba\xbe":  # a universal Mach-O file: every Mac
        return ("OSX", "OSXUniversal", "AnyCPU")
    if data[:4] == b"\x7fELF":
        kind = {0x3E: "x86_64", 0xB7: "ARM64"}.get(struct.unpack_from("<H", data, 18)[0])
        return ("Linux", "Linux64", kind)
    if data[:2] == b"MZ":
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        kind = struct.unpack_from("<H", data, pe + 4)[0]
        return {0x8664: ("Windows", "Win64", "x86_64"), 0x14C: (None, "Win", "x86"),
                0xAA64: ("Windows", "Win64", "ARM64")}.get(kind, ("Windows", "?", "?"))
    return ("?", "?", "?")


def plugin_settings(meta):
    """platformData of a PluginImporter .meta: {(first key, first value): (enabled, settings)}."""
    entries, current = {}, None
    lines = meta.splitlines()
    for i, line in enumerate(lines):
        if line == "  - first:":
            key, _, value = lines[i + 1].strip().partition(":")
            current = (key.strip(), value.strip())
            entries[current] = [None, {}]
        elif current and (m := re.match(r"^      enabled: (\d)$", line)):
            entries[current][0] = int(m.group(1))
        elif current and (m := re.match(r"^        ([A-Za-z][A-Za-z0-9 ]*): (.*)$", line)):
            entries[current][1][m.group(1)] = m.group(2).strip()
    return entries


def check_native(path, data, meta):
    os_name, standalone, cpu = machine(data)
    if "serializedVersion: 2\n" not in meta or "PluginImporter:" not in meta:
        fail(f"{path}.meta is not a PluginImporter in serializedVersion 2")
    entries = plugin_settings(meta)
    enabled = {(k, s.get("CPU"), s.get("OS")) for k, (on, s) in entries.items() if on == 1}
    want = {(("Standalone", standalone), cpu, None)}
    if os_name is not None:
        want.add((("Editor", "Editor"), cpu, os_name))
    if enabled != want:
        fail(f"{path}: its .meta enables {sorted(map(str, enabled))}, the binary wants {sorted(map(str, want))}")
    excludes = entries.get(("", "Any"), [None, {}])[1]
    for name, value in excludes.items():
        if name.startswith("Exclude "):
            target = name[len("Exclude "):]
            included = target == standalone or (target == "Editor" and os_name is not None)
            if value != ("0" if included else "1"):
                fail(f"{path}: {name}: {value}")


def main():
    tarball, cmakelists = sys.argv[1], sys.argv[2]
    version = re.search(r"project\(QuivaneDll VERSION ([0-9.]+)", open(cmakelists).read()).group(1)
    with tarfile.open(tarball) as tar:
        members = {m.name: m for m in tar.getmembers() if m.isfile()}
        read = lambda name: tar.extractfile(members[name]).read()

        if any(not name.startswith("package/") for name in members):
            fail("entries outside package/")
        files = {name[len("package/"):] for name in members}
        folders = {"/".join(f.split("/")[:i]) for f in files for i in range(1, f.count("/") + 1)}
        # Unity imports everything outside folders ending in "~", and wants a .meta for each.
        imported = {p for p in files | folders
                    if not p.endswith(".meta") and not any(part.endswith("~") for part in p.split("/"))}
        for asset in sorted(imported):
            if f"{asset}.meta" not in files:
                fail(f"{asset} has no .meta")
        for meta in sorted(f for f in files if f.endswith(".meta")):
            if meta[:-len(".meta")] not in imported:
                fail(f"stray {meta}")

        guids = {}
        for meta in (f for f in files if f.endswith(".meta")):
            found = re.findall(r"^guid: (\S*)$", read(f"package/{meta}").decode(), re.M)
            if len(found) != 1 or not re.fullmatch(r"[0-9a-f]{32}", found[0]):
                fail(f"{meta}: guid {found}")
            elif found[0] in guids:
                fail(f"{meta} and {guids[found[0]]} share guid {found[0]}")
            else:
                guids[found[0]] = meta

        package = json.loads(read("package/package.json"))
        if package.get("version") != version:
            fail(f"package.json version {package.get('version')}, CMake's {version}")
        name = package.get("name", "")
        if not re.fullmatch(r"[a-z0-9-]+(\.[a-z0-9-]+){2,}", name) or len(name) > 50:
            fail(f"package name {name!r} is not a lower-case reverse-DNS name of at most 50 characters")
        unity = tuple(int(x) for x in package.get("unity", "0.0").split("."))
        if unity < (2021, 3):
            fail(f"unity {package.get('unity')}: the oldest Editor must be 2021.3 or later")
        for key in ("displayName", "description", "author", "keywords"):
            if not package.get(key):
                fail(f"package.json lacks {key}")
        if package.get("license") != "MIT":
            fail("package.json licence is not MIT")
        for sample in package.get("samples", []):
            if not any(f.startswith(sample["path"] + "/") for f in files):
                fail(f"sample {sample['path']} is empty or missing")

        natives = [f for f in files if re.search(r"^Runtime/Plugins/.*\.(dll|so|dylib)$", f)]
        if not natives:
            fail("no native modules under Runtime/Plugins")
        for native in natives:
            if f"{native}.meta" in files:
                check_native(native, read(f"package/{native}"), read(f"package/{native}.meta").decode())
        print(f"{len(files)} files, {len(guids)} GUIDs, natives: {', '.join(sorted(natives))}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
