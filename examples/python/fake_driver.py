#!/usr/bin/env python3
"""fake_driver: a driver, written in Python, for an infodriver under test.

    python3 fake_driver.py 2                 # answer writes to infodriver 2 until Ctrl-C
    python3 fake_driver.py 2 --writes 1      # answer one write, then leave

Attaches to the infodriver (infodriver-host runs it), takes over as the
transmitting driver and answers every write that clients ask for by setting
the slot to the text in capitals with "fake: " before it. Prints "attached"
once it is ready, and one line per write.
"""
import argparse
import signal
import sys
import threading

import zorv


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("device", type=int)
    parser.add_argument("--transport", default="zel", choices=["zel", "wm"])
    parser.add_argument("--writes", type=int, default=0, help="leave after this many writes (0: never)")
    args = parser.parse_args()

    done = threading.Event()
    answered = 0

    def answer(write: zorv.SlotWrite) -> str:
        nonlocal answered
        text = "fake: " + write.text.upper()
        print(f"slot {write.index}: {write.text!r} -> {text!r}", flush=True)
        answered += 1
        if answered == args.writes:
            done.set()
        return text

    signal.signal(signal.SIGINT, lambda *_: done.set())
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    with zorv.Infodriver(args.device, transport=args.transport, answer=answer) as driver:
        driver.on_redundancy_change(lambda ev: print(f"now {ev.state.name}", flush=True))
        driver.set_state(zorv.RedundancyState.TX, force=True)
        print("attached", flush=True)
        while not done.wait(0.2) and driver.connected:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
