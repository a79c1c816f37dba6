#!/usr/bin/env python3
"""The container generator used for the example and the benchmarks: its
usage writes nothing, and what it writes is a container of the asked size.

    zqgen_test.py ZQGEN
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

ZQGEN = None


class Zqgen(unittest.TestCase):
    def run_in(self, folder, *args):
        return subprocess.run([ZQGEN] + list(args), cwd=folder, stdout=subprocess.PIPE, timeout=60)

    def test_help_and_options_print_the_usage_and_write_nothing(self):
        with tempfile.TemporaryDirectory() as folder:
            for args, code in ((["--help"], 0), (["-h"], 0), (["-x"], 2), (["--out", "8", "4"], 2), ([], 2),
                               (["a.zq", "8"], 2)):
                p = self.run_in(folder, *args)
                self.assertEqual(p.returncode, code, args)
                self.assertTrue(p.stdout.startswith(b"usage: zqgen OUT [DATA_BYTES LOOP_BYTES]\n"), args)
                self.assertEqual(os.listdir(folder), [], args)

    def test_sizes_round_down_to_whole_frames(self):
        with tempfile.TemporaryDirectory() as folder:
            self.assertEqual(self.run_in(folder, "t.zq", "1003", "401").returncode, 0)
            with open(os.path.join(folder, "t.zq"), "rb") as f:
                data = f.read()
            self.assertEqual(data[:8], b"fZQ " + struct.pack("<I", 8 + 36 + 1000 + 24))
            self.assertEqual(len(data), 8 + 36 + 1000 + 24)
            self.assertEqual(struct.unpack_from("<I", data, 8 + 16)[0], 250)  # length in 4-byte units
            self.assertEqual(data[8 + 36 + 1000:8 + 36 + 1000 + 4], b"cSLP")
            self.assertEqual(struct.unpack_from("<I", data, 8 + 36 + 1000 + 12)[0], 100)  # loop start units


if __name__ == "__main__":
    ZQGEN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
