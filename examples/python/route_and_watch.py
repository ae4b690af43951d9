#!/usr/bin/env python3
"""route_and_watch: switch a crosspoint and watch the router's revertives.

    python3 route_and_watch.py 1 3 7           # router 1, destination 3 to source 7
    python3 route_and_watch.py 1 3 7 --watch 5 # then print every revertive for 5 s

Connects to the local hub, registers the router's destinations, routes,
waits for the revertive that confirms the switch, and prints the source's and
destination's names (database 0 and 1; "-" where the hub names none).
Exit status 0 when the revertive came within two seconds.
"""
import argparse
import sys

import zorv


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("device", type=int)
    parser.add_argument("dest", type=int)
    parser.add_argument("source", type=int)
    parser.add_argument("--transport", default="zel", choices=["zel", "wm"])
    parser.add_argument("--watch", type=float, default=0.0, help="seconds to print revertives afterwards")
    args = parser.parse_args()

    with zorv.Client(transport=args.transport) as client:
        profile = client.profile(args.device)
        if profile is None:
            print(f"the hub knows no device {args.device}", file=sys.stderr)
            return 1
        client.register(args.device, 1, max(profile.dests, 1))
        client.route(args.device, args.dest, args.source, now=True)
        confirmed = any(isinstance(ev, zorv.RouterRevertive) and (ev.device, ev.dest) == (args.device, args.dest)
                        and ev.source == args.source for ev in client.events(timeout=2.0))
        source_name = client.name(args.device, args.source, db=0) or "-"
        dest_name = client.name(args.device, args.dest, db=1) or "-"
        print(f"{profile.name or 'router'}: {dest_name} ({args.dest}) <- {source_name} ({args.source})"
              f" {'confirmed' if confirmed else 'NOT confirmed'}")
        if args.watch > 0:
            client.on_router_revertive(lambda ev: print(f"revertive: {ev.dest} <- {ev.source}", flush=True))
            for _ in client.events(timeout=args.watch):
                pass
        return 0 if confirmed else 1


if __name__ == "__main__":
    sys.exit(main())
