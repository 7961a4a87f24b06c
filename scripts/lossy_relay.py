#!/usr/bin/env python3
"""A UDP relay that loses, reorders and duplicates datagrams, for soak runs on loopback.

usage: lossy_relay.py LISTEN_PORT FORWARD_PORT [--loss 0.05] [--reorder 0.05] [--duplicate 0.02]

Every datagram that arrives at 127.0.0.1:LISTEN_PORT is forwarded to 127.0.0.1:FORWARD_PORT,
except that a share is dropped, a share is held back and sent after the next one to three
datagrams, and a share is sent twice. Prints its counts when it gets SIGTERM or SIGINT.
"""
import argparse
import random
import signal
import socket
import sys


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("listen_port", type=int)
    parser.add_argument("forward_port", type=int)
    parser.add_argument("--loss", type=float, default=0.05)
    parser.add_argument("--reorder", type=float, default=0.05)
    parser.add_argument("--duplicate", type=float, default=0.02)
    parser.add_argument("--seed", type=int, default=5)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    inbound = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    inbound.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
    inbound.bind(("127.0.0.1", args.listen_port))
    outbound = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    target = ("127.0.0.1", args.forward_port)
    counts = {"received": 0, "dropped": 0, "reordered": 0, "duplicated": 0, "sent": 0}
    held = []  # [datagrams still to pass, datagram]

    def report(*_):
        print("relay: " + ", ".join(f"{k} {v}" for k, v in counts.items()), flush=True)
        sys.exit(0)

    signal.signal(signal.SIGTERM, report)
    signal.signal(signal.SIGINT, report)
    print(f"relay: listening on {args.listen_port}", flush=True)

    def send(datagram):
        outbound.sendto(datagram, target)
        counts["sent"] += 1

    while True:
        datagram = inbound.recv(65536)
        counts["received"] += 1
        for entry in held:
            entry[0] -= 1
        for entry in [e for e in held if e[0] <= 0]:
            held.remove(entry)
            send(entry[1])
        draw = rng.random()
        if draw < args.loss:
            counts["dropped"] += 1
        elif draw < args.loss + args.reorder:
            counts["reordered"] += 1
            held.append([rng.randint(1, 3), datagram])
        else:
            send(datagram)
            if rng.random() < args.duplicate:
                counts["duplicated"] += 1
                send(datagram)


if __name__ == "__main__":
    main()
