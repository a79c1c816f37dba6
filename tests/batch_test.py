#!/usr/bin/env python3
"""End to end: kelvor-batch over folders in a temporary tree, next to kelvor.

    batch_test.py --batch build/kelvor-batch --kelvor build/kelvor [--runner wine]

Each output is held to kelvor's own bytes for the same file; the tree, the
lines and the exit status to what a script relies on.
"""
import argparse
import csv
import io
import json
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zq  # noqa: E402

ARGS = None

# Names a soundtrack's files have: Unicode, spaces, shell and cmd characters,
# a leading "-".
AWKWARD = ["Game/bgm/town.zq", "Game/bgm/Überfahrt – Nacht.zq", "Game/se/100% & !.zq", "Game/-minus.zq",
           "Game/bgm/deep/é è.ZQ"]


def track(seed, frames=300, channels=2, loop_frame=120):
    data = bytes((seed * 31 + i * 7) & 0xFF for i in range(frames * channels * 2))
    return zq.container(data, loop_units=loop_frame * channels * 2 // 4, channels=channels)


class Batch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kelvor-batch-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def tree(self, top=""):
        """Every file under `top` with its bytes, by "/"-separated path."""
        found = {}
        for root, _, files in os.walk(self.path(top)):
            for name in files:
                full = os.path.join(root, name)
                with open(full, "rb") as f:
                    found[os.path.relpath(full, self.path(top)).replace(os.sep, "/")] = f.read()
        return found

    def command(self, program, args):
        return shlex.split(ARGS.runner) + [program] + list(args)

    def env(self):
        return dict(os.environ, LC_ALL="C.UTF-8") if ARGS.runner else None

    def batch(self, *args):
        p = subprocess.run(self.command(ARGS.batch, args), cwd=self.dir, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=300, env=self.env())
        self.assertEqual(p.stderr, b"", "nothing goes to standard error")
        out = p.stdout.replace(b"\r\n", b"\n").decode("utf-8")
        return p.returncode, out.replace("\\", "/") if "wine" in ARGS.runner else out  # Windows shows paths with "\\"

    def kelvor(self, *args):
        p = subprocess.run(self.command(ARGS.kelvor, args), cwd=self.dir, stdout=subprocess.PIPE,
                           stdin=subprocess.DEVNULL, timeout=300, env=self.env())
        return p.returncode, p.stdout.replace(b"\r\n", b"\n").decode("utf-8")

    def soundtrack(self, names=AWKWARD):
        for i, name in enumerate(names):
            self.write(name, track(i, loop_frame=40 * i))
        self.write("Game/notes.txt", b"not a container")

    def test_a_tree_mirrored_into_another_folder_with_kelvors_bytes(self):
        self.soundtrack()
        self.write("Game/se/cut.zq", track(9)[:60])
        rc, out = self.batch("Game", "--out", "out", "-l3")
        self.assertEqual(rc, 1, out)
        got = self.tree("out")
        for name in AWKWARD:
            wav = "out/" + name[:-3] + ".wav"
            self.assertEqual(self.kelvor(name, "expected.wav", "-l3")[0], 0)
            self.assertEqual(got.pop(wav[4:]), self.read("expected.wav"), wav)
        self.assertEqual(got, {}, "nothing else is written: no WAV of the cut file, no scratch file")
        self.assertIn("\nkelvor-batch: 1 other file in the folders, not .zq, left alone.\n"
                      "kelvor-batch: these files failed:\n"
                      "  Game/se/cut.zq: error-22 : read error(analyze)\n"
                      "kelvor-batch: 5 converted, 1 failed.\n", out)
        self.assertNotIn("notes.txt", out)

    def test_every_kind_as_the_kinds_table_names_it(self):
        self.write("m.zq", track(1, loop_frame=100))
        for kind, options, files in [("unrolled", ["-l2", "-x"], ["m.wav"]), ("kept", [], ["m.wav"]),
                                     ("apart", [], ["m - intro.wav", "m - loop.wav"]),
                                     ("marked", ["--loop-end", "godot", "-l4"], ["m.wav"])]:
            rc, out = self.batch("--kind", kind, *options, "m.zq", "--out", kind)
            self.assertEqual(rc, 0, out)
            self.assertEqual(sorted(self.tree(kind)), files, kind)
        self.assertEqual(self.tree("unrolled")["m.wav"][:4], b"RIFF")
        self.assertEqual(len(self.tree("unrolled")["m.wav"]), 40 + 1200 + 800)  # -x: the short header
        self.assertIn(b"smpl", self.tree("marked")["m.wav"])

    def test_refusals_are_usage_errors_before_anything_is_written(self):
        self.write("m.zq", track(1))
        for args, line in [
            (["--kind", "kept", "-l3", "m.zq"], "a loop count (-l) other than 1 is not for the loop points kept kind (--kind kept)"),
            (["--kind", "apart", "-x", "m.zq"], "the short format block (-x) is not for the intro and loop apart kind (--kind apart)"),
            (["--loop-end", "godot", "m.zq"], "a loop end (--loop-end) is not for the loop unrolled kind (--kind unrolled)"),
            (["--kind", "loud", "m.zq"], 'there is no kind "loud": the kinds are unrolled, kept, apart, marked'),
            (["-l0", "m.zq"], 'the loop count must be a whole number from 1 to 2147483647, not "0"'),
            (["-j", "m.zq"], 'the number of files at once must be from 1 to 256, not "m.zq"'),
            (["--loop-list", "loops.txt", "m.zq"], 'the loop list "loops.txt" must end in .csv or .json'),
            (["--wobble", "m.zq"], "there is no option --wobble: see --help"),
            ([], "name the .zq files, or the folders that hold them, to convert: see --help"),
        ]:
            rc, out = self.batch(*args)
            self.assertEqual((rc, out), (2, "kelvor-batch: " + line + ".\n"), args)
        self.assertEqual(sorted(os.listdir(self.dir)), ["m.zq"])

    def test_a_file_already_there_is_kept_unless_replace_is_given(self):
        self.write("a.zq", track(1))
        self.write("a.wav", b"the user's own")
        self.write("a (2).wav", b"and another")
        rc, out = self.batch("a.zq")
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("a.wav"), b"the user's own")
        self.assertIn("kelvor-batch: a.wav is there already, and was kept: this one is a (3).wav.\n", out)
        self.kelvor("a.zq", "expected.wav")
        self.assertEqual(self.read("a (3).wav"), self.read("expected.wav"))
        rc, out = self.batch("a.zq", "--replace")
        self.assertEqual((rc, self.read("a.wav")), (0, self.read("expected.wav")))
        self.assertNotIn("is there already", out)
        # Intro and loop apart: the pair numbered alike.
        self.write("b.zq", track(2, loop_frame=50))
        self.write("b - loop.wav", b"kept")
        rc, out = self.batch("--kind", "apart", "b.zq")
        self.assertTrue(os.path.exists(self.path("b - intro (2).wav")) and os.path.exists(self.path("b - loop (2).wav")))
        self.assertFalse(os.path.exists(self.path("b - intro.wav")))

    def test_two_sources_of_one_name_both_land(self):
        self.write("x/t.zq", track(1))
        self.write("x/t.ZQ", track(2))
        rc, out = self.batch("x")
        self.assertEqual(rc, 0, out)
        self.assertEqual(sorted(self.tree("x")), ["t (2).wav", "t.ZQ", "t.wav", "t.zq"])

    def test_never_over_a_source_or_another_container(self):
        self.write("s/a.zq", track(1))
        self.write("s/a.wav", track(2))  # a container under a WAV's name
        before = self.read("s/a.wav")
        rc, out = self.batch("s", "--replace")
        self.assertEqual(rc, 1)
        self.assertIn("  s/a.zq: error-14 : .wav file is a .zq file.\n", out)
        self.assertEqual(self.read("s/a.wav"), before)

    def test_the_same_tree_and_lines_whatever_the_files_at_once(self):
        self.soundtrack([f"T/{i // 10}/t{i:02}.zq" for i in range(24)])
        self.write("T/bad.zq", b"fZQ junk")
        runs = []
        for jobs in ("1", "8"):
            rc, out = self.batch("T", "--out", "o" + jobs, "-j", jobs, "--loop-list", "o%s/loops.json" % jobs)
            runs.append((rc, out.replace("o" + jobs, "O"), self.tree("o" + jobs)))
        self.assertEqual(runs[0][0], 1)
        self.assertEqual(runs[0], runs[1])
        # Quiet: the failed file's lines and the closing lines alone.
        rc, out = self.batch("T", "--out", "q", "-q")
        failed = [line for line in out.splitlines() if line.startswith("  T/")]
        self.assertEqual(out.count("setting : loop"), len(failed), out)
        blocks = [b for b in runs[0][1].lstrip("\n").split("\n\n") if "error-" in b]
        self.assertEqual(out.replace("q/T", "O/T").lstrip("\n").split("\n\n"), blocks, "the failed files' blocks, as they were")

    def test_the_loop_list_csv_and_json(self):
        self.soundtrack(["a.zq", "=sum(1).zq"])
        self.assertEqual(self.batch("a.zq", "=sum(1).zq", "--out", "o", "--kind", "kept", "--loop-list", "o/loops.csv")[0], 0)
        self.assertEqual(self.batch("a.zq", "=sum(1).zq", "--out", "p", "--kind", "kept", "--loop-list", "p/loops.json")[0], 0)
        text = self.read("o/loops.csv").decode("utf-8")
        self.assertTrue(text.startswith("\ufeffpath,output,"))
        rows = list(csv.DictReader(io.StringIO(text[1:], newline="")))
        # A name a spreadsheet would compute is written as a formula that shows it.
        self.assertEqual([(r["path"], r["wav"]) for r in rows], [("a.zq", "a.wav"), ('="=sum(1).zq"', '="=sum(1).wav"')])
        listed = json.loads(self.read("p/loops.json"))
        self.assertEqual(listed["format"], "kelvor loop list 5")
        for line in listed["files"]:
            wav = self.tree("p")[line["wavs"][0]["name"]]
            self.assertEqual(line["wavs"][0]["frames"], line["sound_frames"])
            self.assertEqual(len(wav) > 44, True)
            self.assertEqual(line["loop_end_for"], "riff")
        # A list already there is kept beside.
        rc, out = self.batch("a.zq", "--out", "p", "--kind", "kept", "--loop-list", "p/loops.json")
        self.assertIn("kelvor-batch: p/loops.json is there already, and was kept: the loop list is p/loops (2).json.\n", out)

    def test_names_given_by_hand_after_double_dash(self):
        self.write("-lone.zq", track(3))
        rc, out = self.batch("--", "-lone.zq")
        self.assertEqual(rc, 0, out)
        self.kelvor("./-lone.zq", "expected.wav")
        self.assertEqual(self.read("-lone.wav"), self.read("expected.wav"))

    def test_an_interrupt_leaves_no_part_of_a_wav(self):
        if ARGS.runner:
            self.skipTest("a signal reaches the program itself only when it runs directly")
        for i in range(4):
            self.write(f"big/b{i}.zq", track(i, frames=20000, loop_frame=10))
        p = subprocess.Popen([ARGS.batch, "big", "--out", "o", "-l", "3000", "-j", "2"], cwd=self.dir,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        deadline = time.time() + 60
        while time.time() < deadline and not any(n.endswith(".part") for _, _, names in os.walk(self.path("o"))
                                                 for n in names):
            time.sleep(0.01)
        p.send_signal(signal.SIGINT)
        out, err = p.communicate(timeout=60)
        self.assertEqual((p.returncode, err), (130, b""))
        text = out.decode()
        self.assertRegex(text, r"kelvor-batch: stopped: \d converted, 0 failed, [1-4] not converted; no WAV was left "
                               r"half written.\n")
        left = self.tree("o")
        self.assertFalse([n for n in left if n.endswith(".part")], "no scratch file is left")
        expected = subprocess.run([ARGS.kelvor, "big/b0.zq", "e.wav", "-l3000"], cwd=self.dir, stdout=subprocess.PIPE)
        for name, data in left.items():  # what is there is whole, and said to be done
            self.assertEqual(len(data), len(self.read("e.wav")), name)
            self.assertIn("  big/" + name[4:-4] + ".zq\n", text)

    def test_a_full_disk_fails_the_file_and_leaves_none_of_it(self):
        if ARGS.runner:
            self.skipTest("a file size limit is the native build's")
        self.write("d/small.zq", track(1))
        self.write("d/large.zq", track(2, frames=20000, loop_frame=10))
        # Writes past 100 KiB fail as on a full disk (ulimit -f counts 512-byte blocks in sh).
        p = subprocess.run(["sh", "-c", "trap '' XFSZ; ulimit -f 200; exec \"$@\"", "sh", ARGS.batch, "d", "--out", "o"],
                           cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        out = p.stdout.decode()
        self.assertEqual((p.returncode, p.stderr), (1, b""), out)
        self.assertRegex(out, r"  d/large.zq: error-5[23] : write error\((transfar|convert)\)\n")
        self.assertEqual(sorted(self.tree("o")), ["d/small.wav"], "the large WAV is gone, scratch name and all")

    def test_past_4_gib_a_wav_is_rf64_and_readers_take_it_whole(self):
        if ARGS.runner or not shutil.which("ffprobe") or not shutil.which("sndfile-info"):
            self.skipTest("the native build, with ffprobe and sndfile-info")
        if shutil.disk_usage(self.dir).free < 10 << 30:
            self.skipTest("needs 10 GiB free")
        # 64 MiB of sound, sparse but for a pattern at each end, heard 65 times: 4.06 GiB of data.
        data_bytes = 64 << 20
        head, tail = bytes(range(256)) * 4, bytes(range(255, -1, -1)) * 4
        body = zq.trk(units=data_bytes // 4) + head
        with open(self.path("big.zq"), "wb") as f:
            f.write(zq.header(8 + 36 + data_bytes + 24) + body)
            f.seek(8 + 36 + data_bytes - len(tail))
            f.write(tail + zq.slp(start_units=0))
        self.assertEqual(self.kelvor("big.zq", "-l65")[0], (-33) & 0xFF)  # kelvor keeps its refusal
        rc, out = self.batch("big.zq", "-l", "65")
        self.assertEqual(rc, 0, out)
        self.assertIn("warning : the WAV passes 4 GiB: written as RF64.\n", out)
        frames = 65 * data_bytes // 4
        with open(self.path("big.wav"), "rb") as f:
            header = f.read(80)
            f.seek(-len(tail), os.SEEK_END)
            last = f.read()
        self.assertEqual(header[:16], b"RF64\xff\xff\xff\xffWAVEds64")
        self.assertEqual(os.path.getsize(self.path("big.wav")), 80 + 65 * data_bytes)
        self.assertEqual(last, tail)
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=duration_ts,channels,sample_rate",
                                "-of", "default=nw=1", "big.wav"], cwd=self.dir, stdout=subprocess.PIPE, check=True)
        self.assertEqual(probe.stdout.decode().split(), ["sample_rate=44100", "channels=2", "duration_ts=%d" % frames])
        decoded = subprocess.run(["ffmpeg", "-v", "error", "-sseof", "-0.1", "-i", "big.wav", "-f", "s16le", "-"],
                                 cwd=self.dir, stdout=subprocess.PIPE, check=True).stdout
        self.assertEqual(decoded[-len(tail):], tail, "ffmpeg's last samples")
        info = subprocess.run(["sndfile-info", "big.wav"], cwd=self.dir, stdout=subprocess.PIPE, check=True).stdout.decode()
        self.assertIn("Frames      : %d\n" % frames, info)
        if ARGS.sndfile_tail:  # libsndfile's own samples at the end, past 4 GiB
            read = subprocess.run([ARGS.sndfile_tail, "big.wav", str(len(tail) // 4)], cwd=self.dir,
                                  stdout=subprocess.PIPE, check=True).stdout.decode().split("\n")
            self.assertEqual(int(read[0]), frames)
            self.assertEqual([int(v) for v in read[1].split()],
                             [int.from_bytes(tail[i:i + 2], "little", signed=True) for i in range(0, len(tail), 2)])

    def test_help_lists_every_option_and_the_exit_status(self):
        rc, out = self.batch("--help")
        self.assertEqual(rc, 0)
        for option in ("--out DIR", "--kind KIND", "--loop-count N", "--loop-end END", "--short-format", "--replace",
                       "--loop-list FILE", "--jobs N", "--quiet", "--buffer N", "--version"):
            self.assertIn(option, out)
        self.assertIn("Exit status: 0 when every file was converted", out)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--kelvor", required=True)
    parser.add_argument("--runner", default="", help="command that runs the programs, e.g. wine")
    parser.add_argument("--sndfile-tail", default="", help="tests/readers/sndfile_tail, to read RF64 samples back")
    ARGS, rest = parser.parse_known_args()
    ARGS.batch = os.path.abspath(ARGS.batch)
    ARGS.kelvor = os.path.abspath(ARGS.kelvor)
    ARGS.sndfile_tail = os.path.abspath(ARGS.sndfile_tail) if ARGS.sndfile_tail else ""
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
