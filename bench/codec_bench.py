#!/usr/bin/env python3
"""The batch command's encoders against the reference tools on the same
machine, in the same run: a 64 MiB stereo 16-bit track (loop count 1, the
sound once) to FLAC against flac -5, and to Ogg Vorbis against oggenc -q5,
both from the WAV kelvor-batch writes of it.

    bench/codec_bench.py [--build build] [--runs 2] [--work /dev/shm/kelvor-codec-bench]

Commands alternate in each round; the table gives each one's best time and
its ratio to the reference tool.
"""
import argparse
import os
import shutil
import subprocess
import time

MIB = 1 << 20


def timed(cmd, cwd):
    start = time.perf_counter()
    subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=2)
    parser.add_argument("--work", default="/dev/shm/kelvor-codec-bench")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    batch, zqgen = os.path.join(build, "kelvor-batch"), os.path.join(build, "zqgen")
    work = args.work
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    try:
        subprocess.run([zqgen, os.path.join(work, "track.zq"), str(64 * MIB), str(16 * MIB)], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([batch, "track.zq", "-l1"], cwd=work, check=True, stdout=subprocess.DEVNULL)
        pairs = {
            "FLAC": ([batch, "track.zq", "-l1", "-f", "flac", "--replace"],
                     ["flac", "-5", "-f", "-s", "-o", "ref.flac", "track.wav"], "flac -5"),
            "Ogg Vorbis": ([batch, "track.zq", "-l1", "-f", "ogg", "--replace"],
                           ["oggenc", "-Q", "-q5", "-o", "ref.ogg", "track.wav"], "oggenc -q5"),
        }
        best = {}
        for _ in range(args.runs):
            for name, (ours, theirs, _) in pairs.items():
                for who, cmd in (("kelvor-batch", ours), ("reference", theirs)):
                    best[(name, who)] = min(best.get((name, who), float("inf")), timed(cmd, work))
        print("64 MiB stereo 16-bit at 44.1 kHz, %d cores, best of %d runs" % (os.cpu_count(), args.runs))
        print("| format | kelvor-batch s | reference | reference s | ratio |")
        print("|---|---|---|---|---|")
        for name, (_, _, label) in pairs.items():
            ours, ref = best[(name, "kelvor-batch")], best[(name, "reference")]
            print("| %s | %.2f | %s | %.2f | %.2f |" % (name, ours, label, ref, ours / ref))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
