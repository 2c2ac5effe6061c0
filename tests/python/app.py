# SPDX-License-Identifier: MIT
"""Run by the virtual environment's Python, which installed the wheel, against the recording
stand-in; prints one JSON object.

  app.py cases FILE    the calls and refusals in FILE ({"calls": [kwargs], "refusals": [kwargs]},
                       {"bytes": HEX} standing for bytes), each sync and async: the answers,
                       and each refusal's error class and message
  app.py held          four async calls, each held by the stand-in, beside an asyncio ticker and
                       a getaddrinfo on the loop's default executor of four threads
  app.py threads       calls from eight threads and an event loop at once
  app.py fork          a fork while a call is held on the package's thread; the child calls
  app.py errors        the first call where the platform has no native, and the signature's
                       own refusals
"""
import asyncio
import json
import os
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import quivanedll


def decoded(value):
    if isinstance(value, dict) and "bytes" in value:
        return bytes.fromhex(value["bytes"])
    return value


def outcome(call):
    try:
        call()
        return ["none", ""]
    except Exception as error:  # noqa: BLE001 - the class is what is reported
        return [type(error).__name__, str(error)]


def cases(path):
    with open(path, encoding="utf-8") as file:
        table = json.load(file)
    answers, refused = [], []
    for kwargs in table["calls"]:
        answers.append([quivanedll.register_service(**kwargs),
                        asyncio.run(quivanedll.register_service_async(**kwargs))])
    for raw in table["refusals"]:
        kwargs = {key: decoded(value) for key, value in raw.items()}
        refused.append(outcome(lambda: quivanedll.register_service(**kwargs)) +
                       outcome(lambda: asyncio.run(quivanedll.register_service_async(**kwargs))))
    return {"answers": answers, "refused": refused}


async def held_calls():
    loop = asyncio.get_running_loop()
    # A default executor of four threads: four calls waiting there would leave it none.
    loop.set_default_executor(ThreadPoolExecutor(max_workers=4))
    gaps = []

    async def ticker(stop):
        last = time.monotonic()
        while not stop.is_set():
            await asyncio.sleep(0.01)
            now = time.monotonic()
            gaps.append(now - last)
            last = now

    stop = asyncio.Event()
    ticking = asyncio.ensure_future(ticker(stop))
    started = time.monotonic()
    calls = [asyncio.ensure_future(quivanedll.register_service_async(
        name=f"Held {i}", type="_qvpy._tcp", port=80)) for i in range(4)]
    await asyncio.sleep(0.05)
    lookup_started = time.monotonic()
    await loop.getaddrinfo("localhost", 80)
    lookup_ms = (time.monotonic() - lookup_started) * 1000
    answers = await asyncio.gather(*calls)
    total_ms = (time.monotonic() - started) * 1000
    stop.set()
    await ticking
    return {"answers": answers, "getaddrinfo_ms": lookup_ms, "total_ms": total_ms,
            "max_tick_gap_ms": max(gaps) * 1000, "ticks": len(gaps)}


def threads():
    results = []

    def worker(i):
        for j in range(5):
            results.append(quivanedll.register_service(name=f"Thread {i} {j}", type="_qvpy._tcp", port=80))

    async def from_loop():
        return await asyncio.gather(*(quivanedll.register_service_async(
            name=f"Loop {i}", type="_qvpy._tcp", port=80) for i in range(10)))

    pool = [threading.Thread(target=worker, args=(i,)) for i in range(8)]
    for thread in pool:
        thread.start()
    results.extend(asyncio.run(from_loop()))
    for thread in pool:
        thread.join()
    return {"answers": results, "threads_named": sorted({t.name.split("_")[0] for t in threading.enumerate()})}


def fork():
    async def parent():
        call = asyncio.ensure_future(quivanedll.register_service_async(
            name="Before Fork", type="_qvpy._tcp", port=80))
        await asyncio.sleep(0.1)  # the call is now held inside the native
        before = time.monotonic()
        pid = os.fork()
        if pid == 0:
            ok = quivanedll.register_service(name="Child Sync", type="_qvpy._tcp", port=80)
            ok_async = asyncio.run(quivanedll.register_service_async(
                name="Child Async", type="_qvpy._tcp", port=80))
            os._exit(0 if ok and ok_async else 3)
        fork_ms = (time.monotonic() - before) * 1000
        held_done = call.done()
        deadline = time.monotonic() + 20
        status = None
        while time.monotonic() < deadline:
            done, raw = os.waitpid(pid, os.WNOHANG)
            if done:
                status = os.WEXITSTATUS(raw) if os.WIFEXITED(raw) else -1
                break
            await asyncio.sleep(0.02)
        if status is None:
            os.kill(pid, 9)
            os.waitpid(pid, 0)
        after = await quivanedll.register_service_async(name="Parent After", type="_qvpy._tcp", port=80)
        return {"held": await call, "held_done_when_fork_returned": held_done, "fork_ms": fork_ms,
                "child_status": status, "parent_after": after}

    return asyncio.run(parent())


def errors():
    checks = {
        "positional": outcome(lambda: quivanedll.register_service("svc", "_qvpy._tcp", 80)),
        "type missing": outcome(lambda: quivanedll.register_service(name="svc", port=80)),
        "unknown keyword": outcome(lambda: quivanedll.register_service(type="_qvpy._tcp", port=80, host="x")),
    }
    real = sys.platform
    sys.platform = "freebsd14"  # as the package sees a platform it carries no native for
    try:
        checks["unsupported"] = outcome(lambda: quivanedll.register_service(type="_qvpy._tcp", port=80))
        checks["unsupported async"] = outcome(
            lambda: asyncio.run(quivanedll.register_service_async(type="_qvpy._tcp", port=80)))
    finally:
        sys.platform = real
    checks["is OSError"] = issubclass(quivanedll.UnsupportedPlatformError, OSError)
    checks["then"] = quivanedll.register_service(type="_qvpy._tcp", port=80)
    return checks


def main():
    command = sys.argv[1]
    if command == "cases":
        result = cases(sys.argv[2])
    elif command == "held":
        result = asyncio.run(held_calls())
    else:
        result = {"threads": threads, "fork": fork, "errors": errors}[command]()
    print(json.dumps(result))


if __name__ == "__main__":
    main()
