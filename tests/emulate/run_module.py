# SPDX-License-Identifier: MIT
"""Runs a built module that nothing on this machine can load (a 32-bit or ARM64 Windows DLL, a
macOS dylib) in an emulator: maps the file the way its loader would, points every import at a
recording hook, and calls RegisterService with the platform's calling convention, case by case
from the shared case table.

usage: run_module.py MODULE CASES_JSON ARCH   (x86, x86_64 or arm64; picks a universal file's slice)
Prints one line per failed check and "N passed, M failed"; exit 0 only when none failed.
"""
import json
import struct
import sys

from unicorn import (UC_ARCH_ARM64, UC_ARCH_X86, UC_HOOK_CODE, UC_MODE_32,
                     UC_MODE_64, UC_MODE_ARM, Uc, UcError)
from unicorn.arm64_const import UC_ARM64_REG_LR, UC_ARM64_REG_SP, UC_ARM64_REG_X0
from unicorn.x86_const import (UC_X86_REG_EAX, UC_X86_REG_ESP, UC_X86_REG_R8, UC_X86_REG_R9,
                               UC_X86_REG_RAX, UC_X86_REG_RCX, UC_X86_REG_RDI, UC_X86_REG_RDX,
                               UC_X86_REG_RSI, UC_X86_REG_RSP)

PAGE = 0x1000
HOOKS = 0x7F000000      # one 16-byte slot per import, each holding a return instruction
DATA = 0x7F100000       # data the imports point into (the stack canary)
STACK = 0x7E000000
STACK_SIZE = 0x100000
SCRATCH = 0x7D000000    # the caller's strings
STOP = HOOKS + 0xFF000  # the return address of the call under test
MACHO_BASE = 0x10000000
FAKE_DNSSD = 0x71000000 # the handle LoadLibraryExW gives for dnssd.dll

passed = 0
failures = []


def check(ok, what):
    global passed
    if ok:
        passed += 1
    else:
        failures.append(what)
        print(f"FAIL: {what}")


def up(n):
    return (n + PAGE - 1) // PAGE * PAGE


# --- loaders: each returns (arch, bits, segments [(addr, bytes)], export address, imports
# {name: [slot addresses]}, pointers to move by the load address [addr])

def load_pe(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine, sections, _, _, _, optsize, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    bits = 64 if magic == 0x20B else 32
    base = struct.unpack_from("<Q" if bits == 64 else "<I", data, opt + (24 if bits == 64 else 28))[0]
    dirs = opt + (112 if bits == 64 else 96)
    export_rva, _ = struct.unpack_from("<II", data, dirs)
    import_rva, _ = struct.unpack_from("<II", data, dirs + 8)
    arch = {0x14C: "x86", 0x8664: "x86_64", 0xAA64: "arm64"}[machine]
    segments = [(base, data[:PAGE])]
    table = opt + optsize
    for i in range(sections):
        _, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        body = data[rawptr:rawptr + rawsize] + bytes(max(0, vsize - rawsize))
        segments.append((base + va, body))

    image = {}
    for addr, body in segments:
        image[addr - base] = body

    def read(rva, size):
        for start, body in image.items():
            if start <= rva < start + len(body):
                return body[rva - start:rva - start + size]
        raise ValueError(f"rva {rva:#x} not mapped")

    def cstr(rva):
        out = b""
        while True:
            chunk = read(rva + len(out), 1)
            if chunk == b"\0":
                return out.decode()
            out += chunk

    exports = {}
    count_funcs, count_names, funcs, names, ordinals = struct.unpack_from("<IIIII", read(export_rva + 20, 20))
    ordinal_base = struct.unpack_from("<I", read(export_rva + 16, 4))[0]
    for i in range(count_names):
        name = cstr(struct.unpack_from("<I", read(names + 4 * i, 4))[0])
        index = struct.unpack_from("<H", read(ordinals + 2 * i, 2))[0]
        exports[name] = base + struct.unpack_from("<I", read(funcs + 4 * index, 4))[0]
    entry = struct.unpack_from("<I", data, opt + 16)[0]
    characteristics = struct.unpack_from("<H", data, opt + 70)[0]
    meta = {"ordinal_base": ordinal_base, "functions": count_funcs, "names": sorted(exports),
            "entry": entry, "characteristics": characteristics}

    imports = {}
    entry = 8 if bits == 64 else 4
    descriptor = import_rva
    while True:
        ilt, _, _, dll_name, iat = struct.unpack_from("<IIIII", read(descriptor, 20))
        if dll_name == 0:
            break
        dll = cstr(dll_name).lower()
        i = 0
        while True:
            value = struct.unpack_from("<Q" if bits == 64 else "<I", read((ilt or iat) + entry * i, entry))[0]
            if value == 0:
                break
            name = cstr((value & 0x7FFFFFFF) + 2)
            imports.setdefault(f"{dll}!{name}", []).append(base + iat + entry * i)
            i += 1
        descriptor += 20
    meta["imports"] = sorted(imports)
    return arch, bits, segments, exports.get("RegisterService"), imports, [], meta


def uleb(data, i):
    result = shift = 0
    while True:
        byte = data[i]
        i += 1
        result |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            return result, i


def load_macho(data, want_arch):
    magic = struct.unpack_from(">I", data, 0)[0]
    if magic == 0xCAFEBABE:  # universal: pick the slice
        count = struct.unpack_from(">I", data, 4)[0]
        slices = {}
        for i in range(count):
            cputype, _, offset, size, _ = struct.unpack_from(">IIIII", data, 8 + 20 * i)
            slices[{0x01000007: "x86_64", 0x0100000C: "arm64"}.get(cputype)] = data[offset:offset + size]
        data = slices[want_arch]
    _, cputype, _, _, ncmds, _, _, _ = struct.unpack_from("<IIIIIIII", data, 0)
    arch = {0x01000007: "x86_64", 0x0100000C: "arm64"}[cputype]
    segments, segs_by_index, dyld, symtab = [], [], None, None
    dylibs, install_name, signed = [], None, False
    offset = 32
    for _ in range(ncmds):
        cmd, size = struct.unpack_from("<II", data, offset)
        if cmd == 0x19:  # LC_SEGMENT_64
            name, vmaddr, vmsize, fileoff, filesize = struct.unpack_from("<16sQQQQ", data, offset + 8)
            segs_by_index.append(vmaddr)
            if vmsize:
                body = data[fileoff:fileoff + filesize] + bytes(vmsize - filesize)
                segments.append((MACHO_BASE + vmaddr, body))
        elif cmd in (0x22, 0x80000022):  # LC_DYLD_INFO(_ONLY)
            dyld = struct.unpack_from("<IIIIIIIIII", data, offset + 8)
        elif cmd == 0x2:  # LC_SYMTAB
            symtab = struct.unpack_from("<IIII", data, offset + 8)
        elif cmd in (0xC, 0x80000018):  # LC_LOAD_DYLIB, LC_LOAD_WEAK_DYLIB
            name_at = struct.unpack_from("<I", data, offset + 8)[0]
            dylibs.append(data[offset + name_at:data.index(b"\0", offset + name_at)].decode())
        elif cmd == 0xD:  # LC_ID_DYLIB
            name_at = struct.unpack_from("<I", data, offset + 8)[0]
            install_name = data[offset + name_at:data.index(b"\0", offset + name_at)].decode()
        elif cmd == 0x1D:  # LC_CODE_SIGNATURE
            signed = True
        elif cmd == 0x80000034:
            raise SystemExit("chained fixups are not read here: link with -no_fixup_chains")
        offset += size

    imports = {}
    rebase_off, rebase_size, bind_off, bind_size, _, _, lazy_off, lazy_size, _, _ = dyld

    def words_at(seg, off):
        return MACHO_BASE + segs_by_index[seg] + off

    # Rebase opcodes: every pointer to move by the slide.
    i, end, seg, off, pointers = rebase_off, rebase_off + rebase_size, 0, 0, []
    while i < end:
        op, imm = data[i] & 0xF0, data[i] & 0x0F
        i += 1
        if op == 0x00:
            break
        if op == 0x20:
            seg = imm
            off, i = uleb(data, i)
        elif op == 0x30:
            add, i = uleb(data, i)
            off += add
        elif op == 0x40:
            off += imm * 8
        elif op == 0x50:
            for _ in range(imm):
                pointers.append(words_at(seg, off))
                off += 8
        elif op == 0x60:
            n, i = uleb(data, i)
            for _ in range(n):
                pointers.append(words_at(seg, off))
                off += 8
        elif op == 0x70:
            pointers.append(words_at(seg, off))
            add, i = uleb(data, i)
            off += 8 + add
        elif op == 0x80:
            n, i = uleb(data, i)
            skip, i = uleb(data, i)
            for _ in range(n):
                pointers.append(words_at(seg, off))
                off += 8 + skip

    # Bind and lazy bind opcodes: every slot that names an imported symbol.
    for start, size in ((bind_off, bind_size), (lazy_off, lazy_size)):
        i, end, seg, off, symbol = start, start + size, 0, 0, None
        while i < end:
            op, imm = data[i] & 0xF0, data[i] & 0x0F
            i += 1
            if op == 0x00:
                continue  # DONE; lazy binding info holds one run per symbol
            if op in (0x10, 0x30, 0x50):  # dylib ordinal, special dylib, type: nothing to read
                continue
            if op == 0x20:
                _, i = uleb(data, i)
            elif op == 0x40:
                j = data.index(b"\0", i)
                symbol = data[i:j].decode()
                i = j + 1
            elif op == 0x60:
                _, i = uleb(data, i)
            elif op == 0x70:
                seg = imm
                off, i = uleb(data, i)
            elif op == 0x80:
                add, i = uleb(data, i)
                off = (off + add) & 0xFFFFFFFFFFFFFFFF
            elif op == 0x90:
                imports.setdefault(symbol, []).append(words_at(seg, off))
                off += 8
            elif op == 0xA0:
                imports.setdefault(symbol, []).append(words_at(seg, off))
                add, i = uleb(data, i)
                off += 8 + add
            elif op == 0xB0:
                imports.setdefault(symbol, []).append(words_at(seg, off))
                off += 8 + imm * 8
            elif op == 0xC0:
                n, i = uleb(data, i)
                skip, i = uleb(data, i)
                for _ in range(n):
                    imports.setdefault(symbol, []).append(words_at(seg, off))
                    off += 8 + skip

    symoff, nsyms, stroff, _ = symtab
    exports = {}
    for k in range(nsyms):
        strx, ntype, _, _, value = struct.unpack_from("<IBBHQ", data, symoff + 16 * k)
        if ntype & 0x0E == 0x0E and ntype & 0x01:  # N_SECT and N_EXT
            name = data[stroff + strx:data.index(b"\0", stroff + strx)].decode()
            exports[name] = MACHO_BASE + value
    meta = {"names": sorted(exports), "imports": sorted(imports), "dylibs": dylibs,
            "install_name": install_name, "signed": signed}
    return arch, 64, segments, exports.get("_RegisterService"), imports, pointers, meta


# --- the machine

class Machine:
    """One freshly loaded module and the world its imports see."""

    def __init__(self, loaded, world):
        self.arch, self.bits, segments, self.entry, imports, relocations, self.meta = loaded
        self.world = world
        self.calls = []      # DNSServiceRegister calls, as recorded
        self.lock_depth = 0
        self.canary_failed = False
        if self.arch == "arm64":
            self.uc = Uc(UC_ARCH_ARM64, UC_MODE_ARM)
        else:
            self.uc = Uc(UC_ARCH_X86, UC_MODE_64 if self.bits == 64 else UC_MODE_32)
        for addr, body in segments:
            start = addr // PAGE * PAGE
            self.map(start, up(addr + len(body)) - start)
            self.uc.mem_write(addr, bytes(body))
        slide = MACHO_BASE
        for addr in relocations:
            value = struct.unpack("<Q", self.uc.mem_read(addr, 8))[0]
            self.uc.mem_write(addr, struct.pack("<Q", value + slide))
        self.map(HOOKS, 0x100000)
        self.map(DATA, PAGE)
        self.uc.mem_write(DATA, struct.pack("<Q", 0x5A17C0DE5A17C0DE))
        self.map(STACK, STACK_SIZE)
        self.map(SCRATCH, 0x10000)
        self.handlers = {}
        names = sorted(imports) + ["DNSServiceRegister@dnssd"]
        for index, name in enumerate(names):
            slot = HOOKS + 16 * index
            self.handlers[slot] = name
            self.uc.mem_write(slot, self.ret_instruction(name))
            for where in imports.get(name, []):
                target = DATA if name.endswith("stack_chk_guard") else slot
                self.uc.mem_write(where, struct.pack("<Q" if self.bits == 64 else "<I", target))
        self.dnssd_register = HOOKS + 16 * names.index("DNSServiceRegister@dnssd")
        self.uc.mem_write(STOP, self.ret_instruction(""))
        self.uc.hook_add(UC_HOOK_CODE, self.on_hook, begin=HOOKS, end=HOOKS + 0xFFFFF)

    def map(self, addr, size):
        try:
            self.uc.mem_map(addr, size)
        except UcError:
            for page in range(addr, addr + size, PAGE):
                try:
                    self.uc.mem_map(page, PAGE)
                except UcError:
                    pass

    STDCALL_ARGS = {"AcquireSRWLockExclusive": 1, "ReleaseSRWLockExclusive": 1, "LoadLibraryExW": 3,
                    "GetProcAddress": 2, "FreeLibrary": 1, "GetLastError": 0,
                    "GetSystemDirectoryW": 2, "GetComputerNameExW": 3, "GetModuleHandleExW": 3,
                    "MultiByteToWideChar": 6, "DNSServiceRegister@dnssd": 12}

    def ret_instruction(self, name):
        if self.arch == "arm64":
            return struct.pack("<I", 0xD65F03C0)  # ret
        short = name.split("!")[-1]
        if self.bits == 32 and short in self.STDCALL_ARGS and self.STDCALL_ARGS[short]:
            return b"\xC2" + struct.pack("<H", 4 * self.STDCALL_ARGS[short])  # ret n (callee pops)
        return b"\xC3"

    # Arguments by index, in the platform's calling convention.
    def arg(self, n, size=8):
        if self.arch == "arm64":
            if n < 8:
                return self.uc.reg_read(UC_ARM64_REG_X0 + n)
            sp = self.uc.reg_read(UC_ARM64_REG_SP)
            return struct.unpack("<Q", self.uc.mem_read(sp + 8 * (n - 8), 8))[0]
        if self.bits == 32:
            esp = self.uc.reg_read(UC_X86_REG_ESP)
            return struct.unpack("<I", self.uc.mem_read(esp + 4 + 4 * n, 4))[0]
        regs = [UC_X86_REG_RDI, UC_X86_REG_RSI, UC_X86_REG_RDX, UC_X86_REG_RCX, UC_X86_REG_R8, UC_X86_REG_R9]
        if n < 6:
            return self.uc.reg_read(regs[n])
        rsp = self.uc.reg_read(UC_X86_REG_RSP)
        return struct.unpack("<Q", self.uc.mem_read(rsp + 8 + 8 * (n - 6), 8))[0]

    def set_result(self, value):
        if self.arch == "arm64":
            self.uc.reg_write(UC_ARM64_REG_X0, value & 0xFFFFFFFFFFFFFFFF)
        elif self.bits == 32:
            self.uc.reg_write(UC_X86_REG_EAX, value & 0xFFFFFFFF)
        else:
            self.uc.reg_write(UC_X86_REG_RAX, value & 0xFFFFFFFFFFFFFFFF)

    def cstr(self, addr, wide=False):
        if addr == 0:
            return None
        out, step = b"", 2 if wide else 1
        while len(out) < 4096:
            unit = bytes(self.uc.mem_read(addr + len(out), step))
            if unit == b"\0" * step:
                break
            out += unit
        return out.decode("utf-16-le") if wide else out

    def on_hook(self, uc, address, size, _):
        name = self.handlers.get(address)
        if name is None:
            return
        short = name.split("!")[-1].lstrip("_")
        handler = getattr(self, "api_" + short.replace("@dnssd", ""), None)
        if handler is None:
            check(False, f"unexpected import called: {short}")
            uc.emu_stop()
            return
        self.set_result(handler() or 0)

    # Windows imports
    def api_AcquireSRWLockExclusive(self):
        self.lock_depth += 1

    def api_ReleaseSRWLockExclusive(self):
        self.lock_depth -= 1

    api_os_unfair_lock_lock = api_AcquireSRWLockExclusive
    api_os_unfair_lock_unlock = api_ReleaseSRWLockExclusive

    def api_stack_chk_fail(self):
        self.canary_failed = True
        self.uc.emu_stop()

    def api_LoadLibraryExW(self):
        path, flags = self.cstr(self.arg(0), wide=True), self.arg(2)
        self.world.setdefault("loads", []).append((path, flags))
        if path.lower() == "dnssd.dll" and self.world.get("dnssd"):
            return FAKE_DNSSD
        return 0

    def api_GetLastError(self):
        return 126  # ERROR_MOD_NOT_FOUND

    def api_GetProcAddress(self):
        module, name = self.arg(0), self.cstr(self.arg(1)).decode()
        if module == FAKE_DNSSD and name == "DNSServiceRegister" and self.world.get("dnssd") == "client":
            return self.dnssd_register
        return 0

    def api_FreeLibrary(self):
        self.world.setdefault("freed", []).append(self.arg(0))
        return 1

    def api_GetSystemDirectoryW(self):
        path = "C:\\Windows\\System32".encode("utf-16-le")
        self.uc.mem_write(self.arg(0), path + b"\0\0")
        return len(path) // 2

    def api_DNSServiceRegister(self):
        a = [self.arg(i) for i in range(12)]
        ptr = 0xFFFFFFFF if self.bits == 32 else 0xFFFFFFFFFFFFFFFF
        txt = a[9] & ptr
        call = {
            "sdRef": a[0] & ptr, "flags": a[1] & 0xFFFFFFFF, "interface": a[2] & 0xFFFFFFFF,
            "name": self.cstr(a[3] & ptr), "regtype": self.cstr(a[4] & ptr),
            "domainPtr": a[5] & ptr, "domain": self.cstr(a[5] & ptr), "host": a[6] & ptr,
            "portBytes": struct.pack("<H", a[7] & 0xFFFF), "txtLen": a[8] & 0xFFFF,
            "txtFirst": bytes(self.uc.mem_read(txt, 1))[0] if txt else None,
            "callback": a[10] & ptr, "context": a[11] & ptr, "locked": self.lock_depth == 1,
        }
        self.calls.append(call)
        result = self.world.get("result", 0)
        if result == 0 and call["sdRef"]:
            stored = 0x5D000 + len(self.calls)
            self.uc.mem_write(call["sdRef"], struct.pack("<Q" if self.bits == 64 else "<I", stored))
        return result

    def register(self, name, regtype, domain, port):
        """One call with the caller's strings in scratch memory; returns (result, domain after)."""
        addrs, cursor = [], SCRATCH
        for text in (name, regtype, domain):
            if text is None:
                addrs.append(0)
                continue
            self.uc.mem_write(cursor, text + b"\0")
            addrs.append(cursor)
            cursor += len(text) + 16
        port &= 0xFFFFFFFF
        if self.arch == "arm64":
            sp = STACK + STACK_SIZE - 0x1000
            self.uc.reg_write(UC_ARM64_REG_SP, sp)
            for i, value in enumerate(addrs + [port]):
                self.uc.reg_write(UC_ARM64_REG_X0 + i, value)
            self.uc.reg_write(UC_ARM64_REG_LR, STOP)
        elif self.bits == 32:
            esp = STACK + STACK_SIZE - 0x1000
            frame = struct.pack("<IIIII", STOP, *addrs, port)
            self.uc.mem_write(esp, frame)
            self.uc.reg_write(UC_X86_REG_ESP, esp)
        else:
            rsp = STACK + STACK_SIZE - 0x1008  # 16-byte aligned before the call pushed STOP
            self.uc.mem_write(rsp, struct.pack("<Q", STOP))
            self.uc.reg_write(UC_X86_REG_RSP, rsp)
            for reg, value in zip((UC_X86_REG_RDI, UC_X86_REG_RSI, UC_X86_REG_RDX, UC_X86_REG_RCX), addrs + [port]):
                self.uc.reg_write(reg, value)
        self.uc.emu_start(self.entry, STOP, count=2_000_000)
        if self.arch == "arm64":
            result = self.uc.reg_read(UC_ARM64_REG_X0) & 0xFF
        else:
            result = self.uc.reg_read(UC_X86_REG_EAX) & 0xFF
        after = self.cstr(addrs[2]) if addrs[2] else None
        return result, after, addrs[2]


WINDOWS_IMPORTS = sorted(f"kernel32.dll!{f}" for f in (
    "AcquireSRWLockExclusive", "ReleaseSRWLockExclusive", "LoadLibraryExW", "GetProcAddress",
    "FreeLibrary", "GetLastError", "GetSystemDirectoryW", "GetComputerNameExW",
    "GetModuleHandleExW", "MultiByteToWideChar"))
APPLE_IMPORTS = sorted(["_DNSServiceRegister", "_os_unfair_lock_lock", "_os_unfair_lock_unlock",
                        "___stack_chk_fail", "___stack_chk_guard"])


def facts(loaded, windows, want_arch):
    """The binary as its loader sees it: machine, the one export, exactly the imports used."""
    arch, bits, _, _, _, _, meta = loaded
    check(arch == want_arch, f"machine {arch}, want {want_arch}")
    if windows:
        check(meta["names"] == ["RegisterService"] and meta["functions"] == 1
              and meta["ordinal_base"] == 1, f"one export, RegisterService at ordinal 1: {meta}")
        check(meta["imports"] == WINDOWS_IMPORTS, f"imports {meta['imports']}")
        check(meta["entry"] == 0, "no entry point: the loader runs none of its code")
        wanted = 0x40 | 0x100 | (0x20 if bits == 64 else 0)  # ASLR, DEP, high-entropy ASLR
        check(meta["characteristics"] & wanted == wanted, f"DllCharacteristics {meta['characteristics']:#x}")
    else:
        check(meta["names"] == ["_RegisterService"], f"exports {meta['names']}")
        check([i for i in meta["imports"] if i != "dyld_stub_binder"] == APPLE_IMPORTS,
              f"bound symbols {meta['imports']}")
        check(meta["dylibs"] == ["/usr/lib/libSystem.B.dylib"], f"loads {meta['dylibs']}")
        check(meta["install_name"] == "@rpath/libQuivaneDll.dylib", f"install name {meta['install_name']}")
        if arch == "arm64":
            check(meta["signed"], "signed: Apple silicon runs no unsigned code")


def main():
    module, cases_path, want_arch = sys.argv[1], sys.argv[2], sys.argv[3]
    data = open(module, "rb").read()
    windows = data[:2] == b"MZ"
    loaded = load_pe(data) if windows else load_macho(data, want_arch)
    arch = loaded[0]
    cases = json.load(open(cases_path))
    facts(loaded, windows, want_arch)
    fresh = lambda world: Machine(loaded, world)
    h = bytes.fromhex

    check(loaded[3] is not None, "RegisterService is exported")
    print(f"{module}: {arch}, exports {loaded[6]['names']}")
    if loaded[3] is None:
        return 1
    present = {"dnssd": "client"}

    # The twelve arguments and the lock.
    m = fresh(dict(present))
    ok, after, buffer = m.register(b"Kitchen Printer", b"_ipp._tcp", b"local.", 631)
    c = m.calls[0] if m.calls else {}
    check(ok == 1 and len(m.calls) == 1, "accepted, one DNSServiceRegister")
    check(c.get("flags") == 0 and c.get("interface") == 0, "flags 0, interface 0")
    check(c.get("name") == b"Kitchen Printer" and c.get("regtype") == b"_ipp._tcp", "name and type")
    check(c.get("domainPtr") == buffer and c.get("host") == 0, "the caller's domain buffer, no host")
    check(c.get("portBytes") == b"\x02\x77", "port 631 in network order")
    check(c.get("txtLen") == 0 and c.get("txtFirst") == 0, "empty TXT, a pointer to a zero byte")
    check(c.get("callback", 0) != 0 and c.get("context") == 0, "a callback, no context")
    check(c.get("locked") is True and m.lock_depth == 0, "called under the lock, released after")
    check(not m.canary_failed, "the stack protector stays quiet")
    if windows:
        flags = [f for p, f in m.world.get("loads", []) if p.lower() == "dnssd.dll"]
        check(flags == [0xE00], f"dnssd.dll searched in the application, user and System32 directories only: {flags}")

    # The case table, each case on a fresh module.
    for label, port, first, second in cases["ports"]:
        m = fresh(dict(present))
        m.register(b"svc", b"_test._tcp", b"", port)
        check(m.calls and m.calls[0]["portBytes"] == bytes([first, second]), f"port {label}")
    for label, given, passed_hex in cases["domains"]:
        m = fresh(dict(present))
        ok, after, _ = m.register(b"svc", b"_test._tcp", h(given), 80)
        check(m.calls and m.calls[0]["domain"] == h(passed_hex) and after == h(passed_hex), f"domain {label}")
    for code, accepted in cases["results"]:
        m = fresh({**present, "result": code})
        ok, _, _ = m.register(b"svc", b"_test._tcp", b"", 80)
        check(ok == (1 if accepted else 0), f"result {code}")
    for label, name, regtype, domain, well_formed in cases["utf8"]:
        m = fresh(dict(present))
        ok, after, _ = m.register(h(name), h(regtype), h(domain), 80)
        if well_formed:
            check(ok == 1 and m.calls and (m.calls[0]["name"], m.calls[0]["regtype"], m.calls[0]["domain"])
                  == (h(name), h(regtype), h(domain)), f"utf-8 {label} passed on byte for byte")
        else:
            check(ok == 0 and not m.calls and after == h(domain), f"utf-8 {label} refused before the call")

    # One slot for every call, nothing released, null name and type passed on.
    m = fresh(dict(present))
    m.register(b"one", b"_test._tcp", b"", 80)
    m.register(None, None, b"", 81)
    check(len(m.calls) == 2 and m.calls[0]["sdRef"] == m.calls[1]["sdRef"], "one slot for every call")
    check(len(m.calls) == 2 and m.calls[1]["name"] is None and m.calls[1]["regtype"] is None,
          "null name and type passed on")

    if windows:
        # No dnssd.dll: false, and looked for again; one without the function is let go.
        m = fresh({})
        ok, after, _ = m.register(b"svc", b"_test._tcp", b".", 80)
        check(ok == 0 and after == b"", "false without dnssd.dll, \".\" still rewritten")
        m.world["dnssd"] = "client"
        ok, _, _ = m.register(b"svc", b"_test._tcp", b"", 80)
        check(ok == 1 and len(m.calls) == 1, "a dnssd.dll that appears later is used")
        m = fresh({"dnssd": "not a client library"})
        ok, _, _ = m.register(b"svc", b"_test._tcp", b"", 80)
        check(ok == 0 and m.world.get("freed") == [FAKE_DNSSD], "a dnssd.dll without DNSServiceRegister is freed")

    print(f"{passed} passed, {len(failures)} failed")
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
