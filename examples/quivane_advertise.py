#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A Python host: loads the module by name with ctypes and advertises one service.

usage: quivane_advertise.py NAME TYPE DOMAIN PORT [SECONDS]
"""
import ctypes
import sys
import time


def main(argv):
    if len(argv) not in (5, 6):
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    name, regtype, domain, port = argv[1], argv[2], argv[3], int(argv[4])
    seconds = float(argv[5]) if len(argv) == 6 else 0.0

    module = ctypes.CDLL("libQuivaneDll.so")
    register = module.RegisterService
    # The result is a one-byte bool: with ctypes' default int, stray upper bytes of the
    # return register could turn a false into true.
    register.restype = ctypes.c_bool
    register.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32]

    # The domain must be writable: "." comes back as "".
    domain_buffer = ctypes.create_string_buffer(domain.encode("utf-8"))
    accepted = register(name.encode("utf-8"), regtype.encode("utf-8"), domain_buffer, port)
    print(f"RegisterService = {accepted}; domain buffer after the call: "
          f"{domain_buffer.value.decode('utf-8')!r}", flush=True)
    if not accepted:
        return 5
    time.sleep(seconds)  # the registration lasts as long as this process
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
