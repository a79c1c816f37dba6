"""The listening lengths and the loop list applied back, through kelvor-batch.

The faded sound is held against ffmpeg's own trim and fade of the plain
unrolled sound (16-bit, where ffmpeg's fade works in integers as ours does,
within 1 where its float product lands near an integer); a FLAC of it decodes
to the WAV's samples; a loop list edited as a spreadsheet would edit it is
applied, and each kind of line it must refuse is refused, by line number,
with nothing written for it.

usage: lengths_test.py KELVOR_BATCH
"""
import csv
import io
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zq  # noqa: E402

BATCH = None


def run(*args, cwd):
    return subprocess.run([BATCH, *args], cwd=cwd, capture_output=True, text=True)


def wav_data(path):
    """The data chunk of a WAV (RIFF or RF64 alike), and its channels."""
    blob = open(path, "rb").read()
    at, channels, data = 12, None, None
    while at + 8 <= len(blob):
        tag, size = blob[at:at + 4], struct.unpack("<I", blob[at + 4:at + 8])[0]
        if tag == b"fmt ":
            channels = struct.unpack("<H", blob[at + 10:at + 12])[0]
        if tag == b"data":
            data = blob[at + 8:at + 8 + size]
            break
        at += 8 + size + (size & 1)
    return data, channels


def ffmpeg_faded(here, wav, timing, total, start, fade):
    """ffmpeg's trim to `total` frames and triangular fade of `fade` frames from `start`, as 16-bit samples."""
    raw = wav + ".raw"
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", wav, "-af",
                    "atrim=end_sample=%d,%s,afade=t=out:ss=%d:ns=%d:curve=tri" % (total, timing, start, fade),
                    "-f", "s16le", "-c:a", "pcm_s16le", raw], cwd=here, check=True)
    with open(os.path.join(here, raw), "rb") as f:
        return samples16(f.read())


def samples16(data):
    return struct.unpack("<%dh" % (len(data) // 2), data)


class Case:
    """A random 16-bit track with a loop, and the lengths asked of it."""

    def __init__(self, rng, index):
        self.channels = rng.choice([1, 2])
        self.rate = rng.choice([8000, 22050, 44100])
        frames = rng.randrange(2000, 20000)
        frames -= frames % 2  # whole 4-byte units, mono too
        self.frames = frames
        data = bytes(rng.getrandbits(8) for _ in range(frames * 2 * self.channels))
        units = len(data) // 4
        self.loop_units = rng.randrange(0, units)  # loop anywhere, its first frame included
        self.loop_frame = self.loop_units * 4 // (2 * self.channels)
        self.container = zq.container(data, loop_units=self.loop_units, channels=self.channels,
                                      rate=self.rate)
        self.passes = rng.randrange(1, 4)
        self.target = rng.choice([None, None, rng.randrange(1, 3000) / 1000])
        self.fade = rng.randrange(1, 2000) / 1000
        self.delay = rng.choice([0, rng.randrange(0, 500) / 1000])
        self.name = "t%02d.zq" % index

    def options(self):
        opts = ["--fade", "%g" % self.fade, "--fade-delay", "%g" % self.delay]
        return opts + (["--target", "%g" % self.target] if self.target is not None else ["-l", str(self.passes)])

    def lengths(self):
        d, l, r = self.frames, self.loop_frame, self.rate
        body = int(round(self.target * 1e6)) * r // 10**6 if self.target is not None else d + (self.passes - 1) * (d - l)
        delay = int(round(self.delay * 1e6)) * r // 10**6
        fade = int(round(self.fade * 1e6)) * r // 10**6
        return body, delay, fade


class Lengths(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="kelvor-lengths-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def folder(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path, exist_ok=True)
        return path

    def test_the_fade_is_ffmpegs_trim_and_fade_of_the_unrolled_sound(self):
        if shutil.which("ffmpeg") is None:
            self.skipTest("install ffmpeg")
        rng = random.Random(39)
        here = self.folder("ffmpeg")
        compared = off_by_one = loose_over = loose_worst = 0
        for index in range(24):
            case = Case(rng, index)
            with open(os.path.join(here, case.name), "wb") as f:
                f.write(case.container)
            body, delay, fade = case.lengths()
            total = body + delay + fade
            shaped = run("-q", "-o", "faded", *case.options(), case.name, cwd=here)
            self.assertEqual(shaped.returncode, 0, shaped.stdout)
            # The plain unrolled sound, with passes enough to cover the output.
            loop = case.frames - case.loop_frame
            passes = 1 + max(0, -(-(total - case.frames) // loop))
            plain = run("-q", "-o", "plain", "-l", str(passes), case.name, cwd=here)
            self.assertEqual(plain.returncode, 0, plain.stdout)
            wav = os.path.join("plain", case.name[:-3] + ".wav")
            theirs = ffmpeg_faded(here, wav, "asettb=1/%d,asetpts=N" % case.rate, total, body + delay, fade)
            # asetpts=N/SR/TB alone computes some buffers' first sample in
            # floating point a sample early (15359.99... for 15360): counted,
            # not held to.
            loose = ffmpeg_faded(here, wav, "asetpts=N/SR/TB", total, body + delay, fade)
            data, channels = wav_data(os.path.join(here, "faded", case.name[:-3] + ".wav"))
            ours = samples16(data)
            self.assertEqual(channels, case.channels)
            self.assertEqual(len(ours), total * case.channels, case.name)
            self.assertEqual(len(theirs), len(ours), case.name)
            for k, (a, b) in enumerate(zip(ours, theirs)):
                self.assertLessEqual(abs(a - b), 1, "%s sample %d: %d, ffmpeg %d" % (case.name, k, a, b))
                off_by_one += a != b
            compared += len(ours)
            loose_worst = max([loose_worst] + [abs(a - b) for a, b in zip(ours, loose)])
            loose_over += sum(abs(a - b) > 1 for a, b in zip(ours, loose))
        print("ffmpeg: %d samples of 24 tracks compared, %d off by one, none by more; with asetpts=N/SR/TB alone "
              "%d differ by more than one, by %d at the most" % (compared, off_by_one, loose_over, loose_worst))

    def test_a_flac_of_the_faded_sound_decodes_to_the_wavs_samples(self):
        if shutil.which("flac") is None:
            self.skipTest("install flac")
        here = self.folder("flac")
        case = Case(random.Random(7), 0)
        with open(os.path.join(here, case.name), "wb") as f:
            f.write(case.container)
        made = run("-q", "-o", "f", "--format", "flac", *case.options(), case.name, cwd=here)
        if "can not hold" in made.stdout or "FLAC is not" in made.stdout or made.returncode != 0:
            self.skipTest("this build has no FLAC: " + made.stdout.strip().splitlines()[-1])
        self.assertEqual(run("-q", "-o", "w", *case.options(), case.name, cwd=here).returncode, 0)
        subprocess.run(["flac", "-s", "-d", "-f", "-o", "back.wav", os.path.join("f", "t00.flac")], cwd=here, check=True)
        self.assertEqual(wav_data(os.path.join(here, "back.wav"))[0], wav_data(os.path.join(here, "w", "t00.wav"))[0])

    def test_options_a_kind_does_not_take_are_refused(self):
        here = self.folder("options")
        for args, says in [(["--kind", "kept", "--fade", "1"], "a fade (--fade) is not for the"),
                           (["--kind", "apart", "--target", "3"], "a target length (--target) is not for the"),
                           (["--target", "3", "-l", "4"], "instead of a loop count"),
                           (["--to-end", "--fade", "2"], "instead of a fade"),
                           (["--fade", "1.2345678"], "six digits after the point at most"),
                           (["--fade", "-1"], "must be seconds"),
                           (["--fade", "3601"], "from 0 to 3600"),
                           (["--loops", "x.txt"], "must end in .csv or .json")]:
            done = run(*args, "a.zq", cwd=here)
            self.assertEqual(done.returncode, 2, args)
            self.assertIn(says, done.stdout, args)


class LoopList(unittest.TestCase):
    """A list written by --loop-list, edited, and applied back with --loops."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kelvor-loops-")
        rng = random.Random(5)
        self.frames = {}
        for name in ["a.zq", "b.zq", "sub/c.zq"]:
            os.makedirs(os.path.join(self.dir, os.path.dirname(name)), exist_ok=True)
            data = bytes(rng.getrandbits(8) for _ in range(4000))  # 1000 stereo 16-bit frames
            with open(os.path.join(self.dir, name), "wb") as f:
                f.write(zq.container(data, loop_units=100))
            self.frames[name] = 1000
        listed = run("-q", "-o", "first", "--loop-list", "loops.csv", "a.zq", "b.zq", "sub", cwd=self.dir)
        self.assertEqual(listed.returncode, 0, listed.stdout)
        text = open(os.path.join(self.dir, "loops.csv"), encoding="utf-8-sig").read()
        self.rows = list(csv.DictReader(io.StringIO(text)))

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, rows, name="edited.csv"):
        out = io.StringIO()
        writer = csv.DictWriter(out, fieldnames=list(self.rows[0].keys()), lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)
        with open(os.path.join(self.dir, name), "w", encoding="utf-8") as f:
            f.write(out.getvalue())

    def row(self, listed, **cells):
        row = dict(next(r for r in self.rows if r["path"] == listed))
        row.update({k: str(v) for k, v in cells.items()})
        return row

    def test_an_edited_loop_is_converted_and_named_in_the_new_list(self):
        self.write([self.row("a.zq", loop_start_frame=200, loop_end_frame_exclusive=700),
                    self.row("b.zq", loop_start_frame=10, loop_end_frame_exclusive="", loop_length_frames=90)])
        done = run("-o", "out", "--kind", "marked", "--to-end", "--loops", "edited.csv", "--loop-list", "new.json",
                   "a.zq", "b.zq", cwd=self.dir)
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertIn("kelvor-batch: the loop is frames 200 to 700, from edited.csv line 2 (the file's: 100 to 1000).",
                      done.stdout)
        listed = {f["path"]: f for f in json.load(open(os.path.join(self.dir, "new.json")))["files"]}
        a, b = listed["a.zq"], listed["b.zq"]
        self.assertEqual((a["loop_from"], a["loop_list_line"], a["play_to_end"]), ("list", 2, 1))
        self.assertEqual((a["loop"]["start_frame"], a["loop"]["end_frame_exclusive"]), (200, 700))
        self.assertEqual((b["loop"]["start_frame"], b["loop"]["end_frame_exclusive"]), (10, 100))
        # Two passes of [200, 700), then on to the end: 700 + 500 + 300 frames.
        self.assertEqual(a["wavs"][0]["frames"], 1500)
        data, _ = wav_data(os.path.join(self.dir, "out", "a.wav"))
        source = open(os.path.join(self.dir, "a.zq"), "rb").read()[44:44 + 4000]
        self.assertEqual(data, source[:2800] + source[800:2800] + source[2800:])
        blob = open(os.path.join(self.dir, "out", "a.wav"), "rb").read()
        smpl = blob[blob.index(b"smpl"):]
        self.assertEqual(struct.unpack("<2I", smpl[8 + 44:8 + 52]), (200, 699))  # the first pass, RIFF's last frame

    def test_each_kind_of_bad_line_is_refused_by_its_number(self):
        cases = [
            (self.row("a.zq", loop_end_frame_exclusive=1001), "the loop ends at frame 1001, past the data's 1000 frames"),
            (self.row("b.zq", rate=48000), "the list's rate is 48000 Hz, the file's 44100 Hz"),
            (self.row("sub/c.zq", sound_frames=999), "the list says 999 frames, the file has 1000"),
            (self.row("a.zq", path="gone.zq"), 'no file of this batch is at "gone.zq"'),
            (self.row("a.zq", loop_start_frame="ten"), 'loop_start_frame is not a whole number of frames: "ten"'),
            (self.row("a.zq", loop_start_frame=500, loop_end_frame_exclusive=500), "is not after its start"),
        ]
        for row, says in cases:
            self.write([row])
            out = os.path.join(self.dir, "out")
            shutil.rmtree(out, ignore_errors=True)
            done = run("-o", "out", "--loops", "edited.csv", "a.zq", "b.zq", "sub", cwd=self.dir)
            self.assertEqual(done.returncode, 1, says)
            self.assertIn("edited.csv line 2", done.stdout, says)
            self.assertIn(says, done.stdout)
            if row["path"] in self.frames:
                self.assertFalse(os.path.exists(os.path.join(out, row["path"][:-3] + ".wav")), says)
            others = [p for p in self.frames if p != row["path"]]
            for p in others:
                self.assertTrue(os.path.exists(os.path.join(out, p[:-3] + ".wav")), (says, p))

    def test_a_second_line_for_a_file_and_the_json_list(self):
        self.write([self.row("a.zq", loop_start_frame=1), self.row("a.zq", loop_start_frame=2)])
        done = run("-o", "out", "--loops", "edited.csv", "a.zq", cwd=self.dir)
        self.assertIn("line 3 refused: a second line for this file (the first is line 2)", done.stdout)
        self.assertEqual(done.returncode, 1)
        listed = run("-q", "-o", "j", "--loop-list", "l.json", "a.zq", cwd=self.dir)
        self.assertEqual(listed.returncode, 0)
        doc = json.load(open(os.path.join(self.dir, "l.json")))
        doc["files"][0]["loop"]["start_frame"] = 900
        doc["files"][0]["loop"]["end_frame_exclusive"] = None
        doc["files"][0]["loop"]["length_frames"] = 50
        with open(os.path.join(self.dir, "e.json"), "w") as f:
            json.dump(doc, f, indent=1)
        done = run("-o", "out2", "--loops", "e.json", "a.zq", cwd=self.dir)
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertIn("the loop is frames 900 to 950, from e.json line 5", done.stdout)


if __name__ == "__main__":
    BATCH = os.path.abspath(sys.argv.pop(1))
    unittest.main()
