#!/usr/bin/env python3
"""The batch command on a soundtrack: 150 containers of 8 MiB in a tree of
10 folders, converted into another folder (loop at half, loop count 2: each
WAV 12 MiB), against the references measured in the same run:

  - a shell loop that runs kelvor once per file into the same mirrored tree;
  - cp -r of the same output bytes (a tree of the WAVs, copied).

    bench/batch_bench.py [--build build] [--runs 2] [--work /dev/shm/kelvor-batch-bench]

Commands alternate within each round, the output folder is removed before
each timed run, and the table shows each command's best time and its ratio
to the copy. Everything happens in a tmpfs folder, so that the figures are
the programs' and not the disk's write-back.
"""
import argparse
import os
import shutil
import subprocess
import time

MIB = 1 << 20
FILES, FOLDERS = 150, 10


def timed(cmd, cwd):
    start = time.perf_counter()
    subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=2)
    parser.add_argument("--work", default="/dev/shm/kelvor-batch-bench")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    batch, kelvor, zqgen = (os.path.join(build, p) for p in ("kelvor-batch", "kelvor", "zqgen"))
    work = args.work
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    try:
        first = os.path.join(work, "first.zq")
        subprocess.run([zqgen, first, str(8 * MIB), str(4 * MIB)], check=True, stdout=subprocess.DEVNULL)
        for i in range(FILES):
            folder = os.path.join(work, "Game", "bgm%02d" % (i % FOLDERS))
            os.makedirs(folder, exist_ok=True)
            shutil.copyfile(first, os.path.join(folder, "track%03d.zq" % i))
        os.remove(first)
        subprocess.run([batch, "Game", "--out", "wavs"], cwd=work, check=True, stdout=subprocess.DEVNULL)
        written = sum(os.path.getsize(os.path.join(r, f)) for r, _, fs in os.walk(os.path.join(work, "wavs")) for f in fs)
        loop = ('for f in Game/*/*.zq; do d="out/${f%/*}"; mkdir -p "$d"; '
                '"$0" "$f" "out/${f%.zq}.wav" >/dev/null || exit 1; done')
        commands = {
            "kelvor-batch -j1": [batch, "Game", "--out", "out", "-j1"],
            "kelvor-batch -j2": [batch, "Game", "--out", "out", "-j2"],
            "shell loop of kelvor": ["sh", "-c", loop, kelvor],
            "cp -r of the WAVs": ["cp", "-r", "wavs", "out"],
        }
        best = {name: float("inf") for name in commands}
        for _ in range(args.runs):
            for name, cmd in commands.items():
                shutil.rmtree(os.path.join(work, "out"), ignore_errors=True)
                best[name] = min(best[name], timed(cmd, work))
        copy = best["cp -r of the WAVs"]
        print("%d containers of 8 MiB, %.0f MB written, %d cores, best of %d runs" %
              (FILES, written / 1e6, os.cpu_count(), args.runs))
        print("| command | seconds | MB/s | ratio to cp -r |")
        print("|---|---|---|---|")
        for name, seconds in best.items():
            print("| %s | %.2f | %.0f | %.2f |" % (name, seconds, written / 1e6 / seconds, seconds / copy))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
