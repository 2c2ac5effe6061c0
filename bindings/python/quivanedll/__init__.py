# SPDX-License-Identifier: MIT
"""Advertise a service on the local network through the machine's own DNS-SD responder.

One call files one registration with avahi-daemon (Linux), the DNS-SD service or Windows' own
DNS-SD (Windows) or macOS's responder, through the native module this wheel carries. The
registration lasts until the process ends.
"""
from __future__ import annotations

import asyncio
import ctypes
import os
import platform
import sys
import threading
from concurrent.futures import ThreadPoolExecutor
from typing import Optional, Tuple

__all__ = [
    "NativeLoadError",
    "UnsupportedPlatformError",
    "register_service",
    "register_service_async",
]

# The wheel holds its native under native/<platform key>/, with the file name its system uses.
_NATIVES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "native")


class UnsupportedPlatformError(OSError):
    """This package carries no native module for the running platform."""


class NativeLoadError(OSError):
    """The native module is there but the system's loader refused it."""


def _platform_key() -> str:
    """The interpreter's platform as the wheels name theirs: the process's own word size and
    C library count, not only the machine's (a 32-bit Python on a 64-bit kernel)."""
    system = sys.platform
    wide = sys.maxsize > 2**32
    if system == "darwin":
        return "macosx"  # one universal file for arm64 and x86_64
    if system == "win32":
        import sysconfig  # names the interpreter's own build: win-amd64, win32, win-arm64
        return sysconfig.get_platform()
    machine = platform.machine().lower()
    if system.startswith("linux"):
        if machine in ("aarch64", "arm64", "armv8l") and not wide:
            machine = "armv7l"
        elif machine == "x86_64" and not wide:
            machine = "i686"
        # glibc names itself in the interpreter; musl does not.
        libc = "" if platform.libc_ver()[0] == "glibc" else "-musl"
        return f"linux-{machine}{libc}"
    return f"{system}-{machine or 'unknown'}"


def _carried() -> str:
    try:
        return ", ".join(sorted(os.listdir(_NATIVES))) or "none"
    except OSError:
        return "none"


def _native_path(key: str) -> str:
    if key.startswith("linux-"):
        file = "libQuivaneDll.so"
    elif key.startswith("win"):
        file = "QuivaneDll.dll"
    else:
        file = "libQuivaneDll.dylib"
    path = os.path.join(_NATIVES, key, file)
    if not os.path.isfile(path):
        raise UnsupportedPlatformError(
            f"quivanedll: no native module for {key}; this installation carries {_carried()} "
            "(install the wheel pip chooses for this platform)")
    return path


_lock = threading.Lock()  # one call inside the native at a time, sync and async alike
_register = None
_executor: Optional[ThreadPoolExecutor] = None
_executor_lock = threading.Lock()


def _load():
    """The native's RegisterService, loaded at the first call; a failure is raised to that
    caller and the next call tries again."""
    global _register
    if _register is None:
        path = _native_path(_platform_key())
        try:
            module = ctypes.CDLL(path)  # CDLL, not PyDLL: the GIL is released during a call
        except OSError as error:
            raise NativeLoadError(f"quivanedll: cannot load the native module {path}: {error}") from error
        function = module.RegisterService
        function.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32]
        function.restype = ctypes.c_bool  # a C bool: only its low byte is meaningful
        _register = function
    return _register


def _text(value: object, field: str, required: bool) -> Optional[bytes]:
    """NUL-terminated UTF-8 for the native, or None; refuses what ctypes would cut (a NUL),
    cannot encode (a lone surrogate) or would pass as raw bytes."""
    if value is None and not required:
        return None
    if not isinstance(value, str):
        wanted = "a str" if required else "a str or None"
        raise TypeError(f"quivanedll: {field} must be {wanted}, not {type(value).__name__}")
    if "\0" in value:
        raise ValueError(f"quivanedll: {field} holds a NUL character")
    try:
        return value.encode("utf-8")
    except UnicodeEncodeError:
        raise ValueError(f"quivanedll: {field} holds a lone surrogate, which is not text") from None


def _arguments(name: object, regtype: object, domain: object, port: object) -> Tuple:
    # bool is an int to Python, and ctypes would wrap 2**32 + 80 to 80 without a word.
    if isinstance(port, bool) or not isinstance(port, int):
        raise TypeError(f"quivanedll: port must be an int, not {type(port).__name__}")
    if not 0 <= port <= 65535:
        raise ValueError(f"quivanedll: port must be from 0 to 65535, not {port}")
    text = _text(name, "name", False)
    kind = _text(regtype, "type", True)
    where = _text(domain, "domain", False)
    # The native rewrites a "." domain in place, so it gets a buffer of its own.
    return text, kind, None if where is None else ctypes.create_string_buffer(where), int(port)


def _call(register, args) -> bool:
    with _lock:
        return bool(register(*args))


def register_service(*, type: str, port: int, name: Optional[str] = None,
                     domain: Optional[str] = None) -> bool:
    """Files one registration and answers whether the responder accepted it.

    type: the service type, such as "_http._tcp". port: 0 to 65535. name: the instance name,
    or None for the machine's host name. domain: None, "" or "." for the default domain.
    Blocks the calling thread until the responder answers (25 s at most when it hangs).
    """
    args = _arguments(name, type, domain, port)
    return _call(_load(), args)


def _dedicated_executor() -> ThreadPoolExecutor:
    # Not the loop's default executor: getaddrinfo runs there, and a frozen responder holds a
    # call for 25 s.
    global _executor
    with _executor_lock:
        if _executor is None:
            _executor = ThreadPoolExecutor(max_workers=1, thread_name_prefix="quivanedll")
        return _executor


async def register_service_async(*, type: str, port: int, name: Optional[str] = None,
                                 domain: Optional[str] = None) -> bool:
    """As register_service, without blocking the event loop: the arguments are checked here,
    the call runs on a thread of this package's own, one call after another."""
    args = _arguments(name, type, domain, port)
    register = _load()
    loop = asyncio.get_running_loop()
    return await loop.run_in_executor(_dedicated_executor(), _call, register, args)


def _before_fork() -> None:
    # No call is in flight while the process forks: the native's own lock must not be copied
    # held into the child, where nothing would release it.
    _executor_lock.acquire()
    _lock.acquire()


def _after_fork_in_parent() -> None:
    _lock.release()
    _executor_lock.release()


def _after_fork_in_child() -> None:
    # The executor's thread was not copied; the child makes its own at its first async call.
    global _lock, _executor_lock, _executor
    _lock = threading.Lock()
    _executor_lock = threading.Lock()
    _executor = None


if hasattr(os, "register_at_fork"):
    os.register_at_fork(before=_before_fork, after_in_parent=_after_fork_in_parent,
                        after_in_child=_after_fork_in_child)
