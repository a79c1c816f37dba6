#!/usr/bin/env python3
"""Cost per output byte against the loop section's length.

    bench/loop_length.py [--build build] [--runs 9] [--work /dev/shm/kelvor-loops] [--mib 40]

Makes, in one run, outputs of the same size (40 MiB by default) from loop
sections of 4 bytes, 8,196 bytes (just past the default copy buffer), 64 KiB
and 4 MiB, each a container whose data is the loop section twice (the loop
starts halfway), converted with the loop count that fills the output. The
reference is the 4 MiB section, measured in the same rounds; cat copying an
output of the same size gives the I/O floor. Commands alternate and rotate
each round; the table shows medians. The target: the 4-byte section within
2 x the time of the 4 MiB one.

A second table takes a copy buffer far larger than the output: the bundled
example (a loop of 176,400 bytes) and a 4 MiB loop section, each at -l2 with
-b268435456 (256 MiB) against the default buffer, in the same rounds: time,
peak resident memory and whether the outputs are the same bytes. The target:
the large buffer within 1.5 x the default's time and 16 MiB of its memory.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys

from bench import peak_rss_kib, run_timed as timed, same_bytes  # bench/bench.py, beside this script

MIB = 1 << 20


def case(args, loop_bytes, total):
    """A container of the loop section twice, and the loop count that makes
    `total` output data bytes from it (rounded down to whole sections)."""
    zq = os.path.join(args.work, "loop%d.zq" % loop_bytes)
    subprocess.run([args.zqgen, zq, str(2 * loop_bytes), str(loop_bytes)], check=True)
    count = total // loop_bytes - 1  # data once (two sections), then count - 1 sections
    return zq, count


def expected_size(path, loop_bytes, count):
    return os.path.getsize(path) == 44 + 2 * loop_bytes + (count - 1) * loop_bytes


LARGE = 256 * MIB


def large_buffer(args, kelvor):
    """Each source at -l2 with the default buffer and with -b of 256 MiB:
    medians of alternating rounds, peak memory, and the two outputs compared."""
    os.makedirs(args.work, exist_ok=True)
    checks = []
    try:
        example = os.path.join(args.work, "example.zq")
        subprocess.run([args.zqgen, example], check=True)
        section, _ = case(args, 4 * MIB, 0)
        rows = []
        for label, zq in (("example", example), ("4 MiB loop section", section)):
            outs = {b: os.path.join(args.work, "b%d.wav" % b) for b in (8192, LARGE)}
            cmds = {b: [kelvor, zq, outs[b], "-l2", "-b%d" % b] for b in outs}
            peaks = {b: peak_rss_kib(cmds[b]) for b in cmds}
            same = same_bytes(outs[8192], outs[LARGE])
            times = {b: [] for b in cmds}
            for round_no in range(args.runs):
                for b in (sorted(cmds) if round_no % 2 == 0 else sorted(cmds, reverse=True)):
                    os.remove(outs[b])
                    times[b].append(timed(cmds[b]))
            rows.append((label, {b: statistics.median(t) for b, t in times.items()}, peaks, same))
    finally:
        shutil.rmtree(args.work, ignore_errors=True)
    print("| source, -l2 | default buffer: median s | peak MiB | -b of 256 MiB: median s | peak MiB "
          "| time ratio | same output |")
    print("|---|---|---|---|---|---|---|")
    for label, med, peaks, same in rows:
        ratio = med[LARGE] / med[8192]
        print("| %s | %.4f | %.1f | %.4f | %.1f | %.2f | %s |" % (label, med[8192], peaks[8192] / 1024, med[LARGE],
                                                                 peaks[LARGE] / 1024, ratio, "yes" if same else "NO"))
        checks.append(("%s: -b of 256 MiB gives the default's bytes" % label, same))
        checks.append(("%s: -b of 256 MiB within 1.5 x the default's time: %.2f" % (label, ratio), ratio <= 1.5))
        extra = (peaks[LARGE] - peaks[8192]) / 1024
        checks.append(("%s: -b of 256 MiB within 16 MiB of the default's memory: %+.1f MiB" % (label, extra),
                       extra <= 16))
    return checks


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--work", default="/dev/shm/kelvor-loops")
    parser.add_argument("--mib", type=int, default=40, help="MiB of output data")
    args = parser.parse_args()
    kelvor = os.path.abspath(os.path.join(args.build, "kelvor"))
    args.zqgen = os.path.abspath(os.path.join(args.build, "zqgen"))
    os.makedirs(args.work, exist_ok=True)
    total = args.mib * MIB
    out = os.path.join(args.work, "out.wav")
    checks = []
    try:
        cmds = []
        for loop_bytes in (4, 8196, 64 * 1024, 4 * MIB):
            zq, count = case(args, loop_bytes, total)
            name = "loop of %d bytes, -l%d" % (loop_bytes, count)
            cmds.append((name, loop_bytes, [kelvor, zq, out, "-l%d" % count], None))
            subprocess.run(cmds[-1][2], stdout=subprocess.DEVNULL, check=True)
            checks.append(("%s: output of the announced size" % name, expected_size(out, loop_bytes, count)))
        floor = os.path.join(args.work, "floor.wav")
        shutil.copyfile(out, floor)
        cmds.append(("cat of the same size (I/O floor)", None, ["cat", floor], out))
        times = {name: [] for name, *_ in cmds}
        for round_no in range(args.runs):
            shift = round_no % len(cmds)
            for name, _, cmd, stdout_path in cmds[shift:] + cmds[:shift]:
                if os.path.exists(out):
                    os.remove(out)
                times[name].append(timed(cmd, stdout_path))
    finally:
        shutil.rmtree(args.work, ignore_errors=True)

    med = {name: statistics.median(t) for name, t in times.items()}
    reference = med[cmds[3][0]]
    print("| case | median s | fastest s | output MB/s | vs 4 MiB loop |")
    print("|---|---|---|---|---|")
    for name, *_ in cmds:
        print("| %s | %.4f | %.4f | %.0f | %.2f |" % (name, med[name], min(times[name]),
                                                     total / med[name] / 1e6, med[name] / reference))
    ratio = med[cmds[0][0]] / reference
    checks.append(("4-byte loop within 2 x the time of the 4 MiB loop: %.2f" % ratio, ratio <= 2.0))
    print()
    checks += large_buffer(args, kelvor)
    for what, ok in checks:
        print("%s  %s" % ("PASS" if ok else "FAIL", what))
    return 0 if all(ok for _, ok in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
