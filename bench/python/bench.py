# SPDX-License-Identifier: MIT
"""The package's calls on the recording stand-in, run by the Python of a virtual environment
that installed the wheel: medians over rounds of the call, and of the async call awaited one at
a time, in microseconds per call. Prints one JSON line."""
import asyncio
import json
import statistics
import sys
import time

import quivanedll

ROUNDS = 15
SYNC_CALLS = 20000
ASYNC_CALLS = 2000
OPTIONS = {"name": "n" * 63, "type": "_http._tcp", "port": 80, "domain": "."}


async def awaited(calls):
    started = time.perf_counter()
    for _ in range(calls):
        await quivanedll.register_service_async(**OPTIONS)
    return (time.perf_counter() - started) * 1e6 / calls


async def main():
    quivanedll.register_service(**OPTIONS)  # loads the native and binds the client library
    await quivanedll.register_service_async(**OPTIONS)  # starts the package's thread
    sync, async_ = [], []
    for _ in range(ROUNDS):
        started = time.perf_counter()
        for _ in range(SYNC_CALLS):
            quivanedll.register_service(**OPTIONS)
        sync.append((time.perf_counter() - started) * 1e6 / SYNC_CALLS)
        async_.append(await awaited(ASYNC_CALLS))
    print(json.dumps({"sync_us": statistics.median(sync), "async_us": statistics.median(async_),
                      "python": sys.version.split()[0]}))


asyncio.run(main())
