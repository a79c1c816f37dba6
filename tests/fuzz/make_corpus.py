#!/usr/bin/env python3
"""Writes the fuzz seed corpus: 4 settings bytes (loop count - 1, buffer size in
two bytes, -x in bit 0 and the output kind in bits 1-2: 0 the loop unrolled, 1
its points kept, 2 the intro and the loop apart), then a small valid or edge
container."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import zq  # noqa: E402


def settings(loops=2, buffer=8192, short=False, kind=0):
    b = (buffer - 1) % 4096
    return bytes([(loops - 1) % 8, b & 0xFF, b >> 8, (1 if short else 0) | kind << 1])


DATA = bytes(range(44, 52))
SEEDS = {
    "small": settings() + zq.small(),
    "small-b1-l4": settings(4, 1) + zq.small(),
    "small-x": settings(3, 3, True) + zq.small(),
    "no-loop": settings() + zq.container(DATA),
    "loop-mark-0": settings() + zq.container(DATA, 1, loop_mark=0),
    "loop-first": settings(3) + zq.header(76) + zq.slp(1, 1) + zq.trk() + DATA,
    "two-tracks": settings() + zq.header(96) + zq.trk() + DATA + zq.trk(channels=1) + DATA + zq.slp(),
    "no-track": settings() + zq.header(8 + 44) + zq.trk(mark=0) + DATA,
    "header-only": settings() + zq.header(8),
    "bad-magic": settings() + b"fzq " + zq.small()[4:],
    "unknown-chunk": settings() + zq.header(100) + b"LIST" + bytes(8),
    "short-data": settings(1, 4) + zq.header(54) + zq.trk(units=3) + bytes(10),
    "loop-beyond": settings() + zq.container(DATA, 3),
    "loop-at-end": settings(8) + zq.container(DATA, 2),
    "mono8": settings(2, 7) + zq.container(bytes(range(40)), 5, channels=1, bits=8, rate=8000),
    "data-offset-40": settings() + zq.header(80) + zq.trk(data_offset=40) + DATA + zq.slp(),
    "kept-small": settings(kind=1) + zq.small(),
    "apart-small": settings(buffer=3, kind=2) + zq.small(),
    "apart-mono8": settings(kind=2) + zq.container(bytes(range(40)), 5, channels=1, bits=8, rate=8000),
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    os.makedirs(out, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
