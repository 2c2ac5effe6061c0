# SPDX-License-Identifier: MIT
"""The live tests' Python host: registers NAME TYPE PORT through the installed package twice,
with the call and with the async call (NAME and "NAME async"), prints the answers and keeps
the process, and so the registrations, alive until stdin closes."""
import asyncio
import json
import sys

import quivanedll

name, regtype, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
ok = quivanedll.register_service(name=name, type=regtype, port=port, domain=".")
ok_async = asyncio.run(quivanedll.register_service_async(name=f"{name} async", type=regtype, port=port))
print(json.dumps({"ok": ok, "ok_async": ok_async}), flush=True)
sys.stdin.read()
