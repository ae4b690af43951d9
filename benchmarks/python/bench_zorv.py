#!/usr/bin/env python3
"""Figures of the Python module zorv, with their C++ reference from the same run.

    PYTHONPATH=build/python python3 benchmarks/python/bench_zorv.py --bin build/bin

Starts orq-hub (a router of 1000 destinations) in a window session of its
own and times, through the module: one `route` call (now=True, nobody registered), and router
revertives from polls of the whole router delivered to a Python callback and
to the asyncio iterator aevents(). Then runs bench_python_reference, which
does the same with ZorvClient in C++ against the same hub, and prints both
and the overhead the module adds per call.
"""
import argparse
import asyncio
import json
import os
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

DESTINATIONS = 1000


def start_hub(bin_dir: Path, directory: Path) -> subprocess.Popen:
    (directory / "orq.ini").write_text("[Hub]\nHighestDevice=1\n")
    (directory / "dev_001.ini").write_text(f"[Device]\nType=router\nSources=16\nDestinations={DESTINATIONS}\n")
    hub = subprocess.Popen([str(bin_dir / "orq-hub"), "-q", "--client-timeout-ms", "900", "-c", str(directory)],
                           stdout=subprocess.PIPE)
    if b"ready" not in hub.stdout.readline():
        sys.exit("orq-hub did not start")
    return hub


def per_call_ns(fn, seconds: float = 1.0) -> float:
    count, start = 0, time.perf_counter()
    while time.perf_counter() - start < seconds:
        for _ in range(100):
            fn()
        count += 100
    return (time.perf_counter() - start) / count * 1e9


def callback_events_per_s(client, polls: int) -> float:
    seen, done = [0], threading.Event()

    def count(ev):
        seen[0] += 1
        if seen[0] == polls * DESTINATIONS:
            done.set()
    client.on_router_revertive(count)
    start = time.perf_counter()
    for _ in range(polls):
        client.router_poll(1, 1, DESTINATIONS, now=True)
    if not done.wait(60):
        sys.exit(f"only {seen[0]} revertives arrived")
    elapsed = time.perf_counter() - start
    client.remove_callback(count)
    list(client.events(timeout=0))  # what the iterator kept meanwhile
    return polls * DESTINATIONS / elapsed


def asyncio_events_per_s(client, polls: int) -> float:
    async def run() -> float:
        events = client.aevents(timeout=10)
        start = time.perf_counter()
        for _ in range(polls):
            client.router_poll(1, 1, DESTINATIONS, now=True)
        count = 0
        async for _ in events:
            count += 1
            if count == polls * DESTINATIONS:
                break
        elapsed = time.perf_counter() - start
        await events.aclose()
        return count / elapsed
    return asyncio.run(run())


def reference(bin_dir: Path) -> dict:
    out = subprocess.run([str(bin_dir / "bench_python_reference"), "--benchmark_format=json",
                          "--benchmark_min_time=1"], capture_output=True, text=True, timeout=300, check=True)
    return {b["name"]: b for b in json.loads(out.stdout)["benchmarks"]}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", type=Path, default=Path("build/bin"))
    parser.add_argument("--polls", type=int, default=50, help="polls of the whole router per event figure")
    args = parser.parse_args()
    os.environ["QX_SESSION"] = f"bench-zorv-py-{os.getpid()}"
    import zorv

    with tempfile.TemporaryDirectory(prefix="qx-bench-zorv-py-") as directory:
        hub = start_hub(args.bin, Path(directory))
        try:
            with zorv.Client() as client:
                sources = iter(range(10**9))
                route_ns = per_call_ns(lambda: client.route(1, 1, next(sources) % 16 + 1, now=True))
                client.register(1, 1, DESTINATIONS)
                callback_rate = callback_events_per_s(client, args.polls)
                asyncio_rate = asyncio_events_per_s(client, args.polls)
            cpp = reference(args.bin)
        finally:
            hub.terminate()
            hub.wait(10)
    cpp_route_ns = cpp["BM_Route"]["real_time"]
    hop_ns = cpp["BM_RouteThroughClientThread"]["real_time"]
    cpp_rate = cpp["BM_RevertivesToHandler"].get("items_per_second", float("nan"))  # nan: revertives were lost
    print(f"route call:            Python {route_ns / 1000:8.1f} us   C++ ZorvClient {cpp_route_ns / 1000:8.1f} us"
          f"   overhead {(route_ns - cpp_route_ns) / 1000:+.1f} us")
    print(f"  of which the hop to the client's thread (ClientThread::call in C++): {hop_ns / 1000:.1f} us")
    print(f"revertives/s:          Python callback {callback_rate:10.0f}   C++ event handler {cpp_rate:10.0f}")
    print(f"revertives/s:          asyncio aevents() {asyncio_rate:8.0f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
