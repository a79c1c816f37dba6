#!/usr/bin/env python3
"""The same FLAC and Ogg Vorbis bytes on every platform: kelvor-batch of
another platform (under its runner: qemu-user, Wine) encodes a set of
layouts, in every kind and format, with listening lengths and a loop list,
exactly as a reference build does
natively. Both must be built with the codecs from the same sources
(packaging/codecs). --flac-only for Windows: MinGW's C library computes
the cosines and logarithms behind Vorbis's tables otherwise in their last
bits, and a few Ogg files then differ by a byte or two (doc/development.md).

    encoded_cross_test.py --batch build-aarch64/kelvor-batch --runner qemu-aarch64 \\
        --reference build-pinned/kelvor-batch --example build/example.zq
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from encoded_test import layout  # noqa: E402

# (name, channels, bits, slot bits): the widths and channel counts a
# platform could get wrong, byte order and sign among them.
LAYOUTS = [("mono8", 1, 8, None), ("stereo16", 2, 16, None), ("six24", 6, 24, None), ("stereo24in32", 2, 24, 32),
           ("mono32", 1, 32, None)]
RUNS = [("wav", []), ("flac", []), ("ogg", ["--quality", "5"]), ("ogg", ["--quality", "-1"])]
# The listening lengths among them: a fade's integer scaling of each width,
# and a loop list's loop.
KINDS = [("unrolled", ["-l", "3"]), ("kept", []), ("apart", []), ("marked", ["-l", "2"]),
         ("unrolled", ["--target", "0.2", "--fade-delay", "0.01", "--fade", "0.05"]),
         ("marked", ["-l", "2", "--fade", "0.03", "--loops", "loops.csv"]), ("apart", ["--loops", "loops.csv"])]
# Every layout's loop moved, one of them to end before its data.
LOOPS = "path,loop_start_frame,loop_end_frame_exclusive\n" + "".join(
    "in/%s.zq,%d,%d\n" % (name, 100 + n, 4000 + 200 * n) for n, name in enumerate(
        ["mono8", "stereo16", "six24", "stereo24in32", "mono32"]))


def encode(batch, runner, folder, out):
    """Every run into `out`/RUN; False with what it printed when one fails."""
    for n, (fmt, extra) in enumerate(RUNS):
        for k, (kind, options) in enumerate(KINDS):
            command = runner + [batch, "-q", "--out", os.path.join(out, "%d-%d-%s" % (n, k, kind)), "--format", fmt,
                                "--kind", kind] + options + extra + [folder]
            run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
            if run.returncode != 0:
                print(" ".join(command), "exited", run.returncode, run.stdout.decode("utf-8", "replace"))
                return False
    return True


def files(top):
    found = {}
    for root, _, names in os.walk(top):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, top)] = f.read()
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--runner", default="")
    parser.add_argument("--reference", required=True)
    parser.add_argument("--example", required=True)
    parser.add_argument("--flac-only", action="store_true")
    args = parser.parse_args()
    global RUNS
    if args.flac_only:
        RUNS = [run for run in RUNS if run[0] != "ogg"]
    runner = args.runner.split() if args.runner else []
    work = tempfile.mkdtemp(prefix="kelvor-cross-")
    try:
        src = os.path.join(work, "in")
        os.mkdir(src)
        shutil.copy(args.example, os.path.join(src, "example.zq"))
        for seed, (name, channels, bits, slot) in enumerate(LAYOUTS, 1):
            with open(os.path.join(src, name + ".zq"), "wb") as f:
                f.write(layout(channels, bits, slot, frames=5000, loop_frame=1800, seed=seed))
        with open(os.path.join(work, "loops.csv"), "w") as f:
            f.write(LOOPS)
        reference, batch = os.path.abspath(args.reference), os.path.abspath(args.batch)
        os.chdir(work)  # relative names, which every runner takes
        if not (encode(reference, [], "in", "reference") and encode(batch, runner, "in", "candidate")):
            return 1
        expected, made = files(os.path.join(work, "reference")), files(os.path.join(work, "candidate"))
        differ = sorted(name for name in expected if made.get(name) != expected[name])
        if set(expected) != set(made) or differ:
            print("not the reference's bytes:", differ or sorted(set(expected) ^ set(made)))
            return 1
        count = {ext: sum(name.endswith(ext) for name in expected) for ext in (".wav", ".flac", ".ogg")}
        print("%d WAV, %d FLAC and %d Ogg files, byte for byte the reference's" % (
            count[".wav"], count[".flac"], count[".ogg"]))
        return 0
    finally:
        os.chdir("/")
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
