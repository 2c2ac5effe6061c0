# SPDX-License-Identifier: MIT
"""A test host: loads libQuivaneDll.so by name and registers on request.

Each line on stdin is a JSON list [name, regtype, domain, port] (null for a null pointer, and
{"hex": "..."} for raw bytes that need not be UTF-8);
each answer on stdout is a JSON object {"ok", "domain", "ms"}. The line {"stand-in": "last"}
instead answers with everything the recording stand-in for libdns_sd.so.1 recorded of the last
DNSServiceRegister call (where the host loaded it). The process, and with it every
registration, lives until stdin closes or a signal ends it.
"""
import ctypes
import json
import os
import sys
import time

module = ctypes.CDLL("libQuivaneDll.so")
register = module.RegisterService
register.restype = ctypes.c_bool
register.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32]
last_buffer = None


class StubCall(ctypes.Structure):
    """tests/stub/dnssd_stub.h's record of one call."""
    _fields_ = [("sdRef", ctypes.c_void_p), ("flags", ctypes.c_uint32),
                ("interfaceIndex", ctypes.c_uint32), ("nameIsNull", ctypes.c_int),
                ("name", ctypes.c_char * 256), ("regtypeIsNull", ctypes.c_int),
                ("regtype", ctypes.c_char * 256), ("domainPtr", ctypes.c_void_p),
                ("domain", ctypes.c_char * 256), ("host", ctypes.c_void_p),
                ("port", ctypes.c_uint16), ("portBytes", ctypes.c_ubyte * 2),
                ("txtLen", ctypes.c_uint16), ("txtRecord", ctypes.c_void_p),
                ("txtFirstByte", ctypes.c_ubyte), ("callBack", ctypes.c_void_p),
                ("context", ctypes.c_void_p), ("storedRef", ctypes.c_void_p),
                ("previousSlot", ctypes.c_void_p)]


def stand_in_last_call():
    """The stand-in the module bound: the loader hands back the copy already loaded."""
    stub = ctypes.CDLL("libdns_sd.so.1")
    if not hasattr(stub, "StubGetCall"):
        return {"stand-in": False}
    stub.StubCallCount.restype = ctypes.c_uint
    stub.StubGetCall.restype = ctypes.POINTER(StubCall)
    stub.StubGetCall.argtypes = [ctypes.c_uint]
    count = stub.StubCallCount()
    if count == 0:
        return {"stand-in": True, "calls": 0}
    call = stub.StubGetCall(count - 1).contents
    return {"stand-in": True, "calls": count, "flags": call.flags,
            "interface": call.interfaceIndex,
            "name": None if call.nameIsNull else call.name.decode(),
            "regtype": None if call.regtypeIsNull else call.regtype.decode(),
            "domain": None if not call.domainPtr else call.domain.decode(),
            "domain_is_buffer": bool(last_buffer is not None and
                                     call.domainPtr == ctypes.addressof(last_buffer)),
            "host": call.host, "port_bytes": list(call.portBytes), "txt_len": call.txtLen,
            "txt_given": bool(call.txtRecord), "txt_first_byte": call.txtFirstByte,
            "callback_given": bool(call.callBack), "context": call.context,
            "ref_stored": bool(call.sdRef) and call.storedRef is not None}


def text(value):
    if isinstance(value, dict):
        return bytes.fromhex(value["hex"])
    return None if value is None else value.encode("utf-8")


print(json.dumps({"ready": True}), flush=True)
for line in sys.stdin:
    request = json.loads(line)
    if isinstance(request, dict):
        print(json.dumps(stand_in_last_call()), flush=True)
        continue
    name, regtype, domain, port = request
    buffer = None if domain is None else ctypes.create_string_buffer(text(domain))
    last_buffer = buffer
    started = time.monotonic()
    ok = register(text(name), text(regtype), buffer, port)
    elapsed = (time.monotonic() - started) * 1000.0
    after = None if buffer is None else buffer.value.decode("utf-8", "backslashreplace")
    print(json.dumps({"ok": ok, "domain": after, "ms": elapsed}), flush=True)
