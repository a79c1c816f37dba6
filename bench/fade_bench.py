#!/usr/bin/env python3
"""The cost of a fade-out: a 10-minute track, 2 loops, with a 10 s fade and without.

    bench/fade_bench.py [--build build] [--runs 7] [--work /dev/shm/kelvor-fade] [--formats wav,flac]

Makes a 10-minute stereo 16-bit tone at 44.1 kHz whose loop starts a minute
in, and converts it with kelvor-batch at -l2 with --fade 10 and without (the
reference, in the same rounds; the two alternate and rotate each round),
for each format asked. The table shows medians, seconds, and the ratio. The
target: the fade within 1.2 x the time without it. The faded file is 10 s
longer (the fade follows the passes), which the ratio includes.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys

from bench import run_timed as timed  # bench/bench.py, beside this script

RATE, ALIGN = 44100, 4


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--work", default="/dev/shm/kelvor-fade")
    parser.add_argument("--formats", default="wav")
    args = parser.parse_args()
    batch = os.path.join(args.build, "kelvor-batch")
    zqgen = os.path.join(args.build, "zqgen")
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    try:
        zq = os.path.join(args.work, "track.zq")
        subprocess.run([zqgen, zq, str(600 * RATE * ALIGN), str(60 * RATE * ALIGN)], check=True)
        print("| format | without a fade (s) | with a 10 s fade (s) | ratio |")
        print("|---|---|---|---|")
        for fmt in args.formats.split(","):
            commands = {
                "plain": [batch, "-q", "--replace", "-f", fmt, "-l2", "-o", os.path.join(args.work, "plain"), zq],
                "faded": [batch, "-q", "--replace", "-f", fmt, "-l2", "--fade", "10", "-o",
                          os.path.join(args.work, "faded"), zq],
            }
            times = {name: [] for name in commands}
            order = list(commands)
            for round_ in range(args.runs):
                for name in order[round_ % 2:] + order[:round_ % 2]:
                    times[name].append(timed(commands[name]))
            plain, faded = statistics.median(times["plain"]), statistics.median(times["faded"])
            print("| %s | %.3f | %.3f | %.3f |" % (fmt, plain, faded, faded / plain))
    finally:
        shutil.rmtree(args.work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
