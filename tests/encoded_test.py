#!/usr/bin/env python3
"""FLAC and Ogg Vorbis from kelvor-batch, read by the reference tools:
flac -t and flac -d (the samples of the WAV of the same kind, for 8, 16,
24, 32-bit, 24 in 32-bit slots, mono, stereo and 6 channels), metaflac and
vorbiscomment (the comments and their order), ogginfo (no warning), oggdec
(the length in samples), and the way the RPG engine's script reads a tag.

    encoded_test.py --batch build/kelvor-batch
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zq  # noqa: E402

ARGS = None
KINDS = ["unrolled", "kept", "apart", "marked"]


def data_chunk(path):
    with open(path, "rb") as f:
        b = f.read()
    i = 12
    while i + 8 <= len(b):
        n = int.from_bytes(b[i + 4:i + 8], "little")
        if b[i:i + 4] == b"data":
            return b[i + 8:i + 8 + n], b
        i += 8 + n + (n & 1)
    raise AssertionError(path + " has no data chunk")


def layout(channels, bits, frame_bits=None, frames=300, loop_frame=120, seed=1):
    """A container of `frames` frames of pseudo-random samples."""
    frame_bits = frame_bits or bits
    align = channels * frame_bits // 8
    data = bytes((seed * 131 + i * 37 + (i >> 3)) & 0xFF for i in range(frames * align))
    data += bytes(-len(data) % 4)
    body = zq.trk(units=len(data) // 4, channels=channels, frame_bits=frame_bits, sample_bits=bits) + data
    body += zq.slp(start_units=loop_frame * align // 4)
    return zq.header(8 + len(body)) + body


def ogg_pages(data):
    """Each page's (segment table, body) in order."""
    pages, at = [], 0
    while at < len(data):
        assert data[at:at + 4] == b"OggS", "a page at %d" % at
        count = data[at + 26]
        table = data[at + 27:at + 27 + count]
        body_at = at + 27 + count
        pages.append((table, data[body_at:body_at + sum(table)]))
        at = body_at + sum(table)
    return pages


def rpg_read(file_bytes, tag):
    """The RPG engine's core script: the value after TAG= up to the next NUL
    byte, as parseInt reads it (the digits it begins with)."""
    at = file_bytes.find(tag.encode() + b"=")
    if at < 0:
        return None
    end = file_bytes.find(b"\0", at)
    digits = re.match(rb"\d+", file_bytes[at + len(tag) + 1:end])
    return int(digits.group(0)) if digits else None


class Encoded(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kelvor-encoded-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def batch(self, *args):
        p = subprocess.run([ARGS.batch, *args], cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        self.assertEqual(p.stderr, b"")
        return p.returncode, p.stdout.decode()

    def tool(self, *cmd):
        p = subprocess.run(cmd, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        self.assertEqual(p.returncode, 0, p.stderr.decode())
        return p.stdout.decode() + p.stderr.decode()

    def test_flac_decodes_to_the_samples_of_the_wav_of_the_same_kind(self):
        layouts = {"mono8": (1, 8, None), "stereo16": (2, 16, None), "mono24": (1, 24, None), "stereo32": (2, 32, None),
                   "24in32": (2, 24, 32), "six16": (6, 16, None)}
        for name, (channels, bits, frame_bits) in layouts.items():
            with open(self.path(name + ".zq"), "wb") as f:
                f.write(layout(channels, bits, frame_bits, seed=len(name)))
        checked = 0
        for kind in KINDS:
            for fmt in ("wav", "flac"):
                rc, out = self.batch(*[n + ".zq" for n in layouts], "--out", kind + fmt, "--kind", kind, "-f", fmt, "-l3"
                                     if kind in ("unrolled", "marked") else "-l1")
                self.assertEqual(rc, 0, out)
            for wav in sorted(os.listdir(self.path(kind + "wav"))):
                flac = wav[:-4] + ".flac"
                self.tool("flac", "-t", "-s", os.path.join(kind + "flac", flac))
                self.tool("flac", "-d", "-s", "-f", "-o", "decoded.wav", os.path.join(kind + "flac", flac))
                ours, whole = data_chunk(self.path(kind + "wav", wav))
                align = int.from_bytes(whole[32:34], "little")
                decoded, _ = data_chunk(self.path("decoded.wav"))
                self.assertEqual(decoded, ours[:len(ours) // align * align], f"{kind} {wav}")
                checked += 1
        self.assertEqual(checked, 4 * 6 + 6)  # apart: an intro and a loop of each

    def test_the_bytes_do_not_depend_on_the_pieces_the_sound_comes_in(self):
        # The page hands the encoder 64 KiB at a time, the batch command its
        # buffer (-b): the same file either way, in both formats.
        with open(self.path("t.zq"), "wb") as f:
            f.write(layout(2, 16, frames=40000, loop_frame=9000, seed=3))
        for fmt in ("flac", "ogg"):
            made = set()
            for buffer in ("7", "4096", "65536", "4194304"):
                rc, out = self.batch("t.zq", "--out", "b" + buffer, "-f", fmt, "-b", buffer)
                self.assertEqual(rc, 0, out)
                with open(self.path("b" + buffer, "t." + fmt), "rb") as f:
                    made.add(f.read())
            self.assertEqual(len(made), 1, fmt)

    def test_the_comments_in_order_and_where_engines_read_them(self):
        with open(self.path("town.zq"), "wb") as f:
            f.write(layout(2, 16, frames=66150, loop_frame=22050))
        for kind, loop in [("kept", ["LOOPSTART=22050", "LOOPLENGTH=44100"]), ("marked", ["LOOPSTART=22050", "LOOPLENGTH=44100"]),
                           ("unrolled", []), ("apart", [])]:
            for fmt in ("flac", "ogg"):
                self.assertEqual(self.batch("town.zq", "--out", kind + fmt, "--kind", kind, "-f", fmt)[0], 0)
            flac = os.path.join(kind + "flac", "town.flac" if kind != "apart" else "town - loop.flac")
            listed = self.tool("metaflac", "--list", "--block-type=VORBIS_COMMENT", flac)
            self.assertEqual(re.findall(r"comment\[\d+\]: (.*)", listed), ["TITLE=town"] + loop, kind)
            ogg = os.path.join(kind + "ogg", "town.ogg" if kind != "apart" else "town - loop.ogg")
            self.assertEqual(self.tool("vorbiscomment", "-l", ogg).splitlines(), ["TITLE=town"] + loop, kind)
            info = self.tool("ogginfo", ogg)
            self.assertNotIn("WARNING", info.upper().replace("WARNINGS: 0", ""), info)
            self.tool("oggdec", "-Q", "-R", "-o", "raw.pcm", ogg)
            frames = {"kept": 66150, "marked": 66150 + 44100, "unrolled": 66150 + 44100, "apart": 44100}[kind]
            self.assertEqual(os.path.getsize(self.path("raw.pcm")), frames * 4, f"{kind}: the decoded length")
            # The comment packet whole in the second page, as GZDoom wants it.
            with open(self.path(ogg), "rb") as f:
                pages = ogg_pages(f.read())
            (first_table, first), (table, body) = pages[0], pages[1]
            self.assertEqual((len(first_table), first[:7]), (1, b"\x01vorbis"), "the identification header alone")
            self.assertEqual(body[:7], b"\x03vorbis")
            self.assertTrue(any(lacing < 255 for lacing in table), "the comment packet ends in its page")
            for path in (flac, ogg):
                with open(self.path(path), "rb") as f:
                    got = f.read()
                self.assertEqual([rpg_read(got, "LOOPSTART"), rpg_read(got, "LOOPLENGTH")],
                                 [22050, 44100] if loop else [None, None], f"{kind} {path}: as the RPG engine reads it")
        # SDL_mixer finds the loop of kept and marked, to the sample, in both formats.
        probed = self.tool(ARGS.sdl_probe, *[os.path.join(k + f, "town." + f) for k in ("kept", "marked", "unrolled")
                                             for f in ("flac", "ogg")])
        loops = dict(re.findall(r"^(\S+): (.*)$", probed, re.M))
        for k in ("kept", "marked", "unrolled"):
            for f in ("flac", "ogg"):
                expected = "start 0.500000 end 1.500000 length 1.000000" if k != "unrolled" else \
                    "start -1.000000 end -1.000000 length -1.000000"
                self.assertEqual(loops[os.path.join(k + f, "town." + f)], expected, probed)

        # The loop list names the FLAC files, and no smpl chunk's loop end for them.
        self.assertEqual(self.batch("town.zq", "--out", "listed", "--kind", "kept", "-f", "flac", "--loop-list",
                                    "listed/loops.json")[0], 0)
        with open(self.path("listed", "loops.json"), encoding="utf-8") as f:
            [line] = json.load(f)["files"]
        self.assertEqual((line["wavs"][0]["name"], line["loop_end_for"], line["loop"]["smpl_end_frame"],
                          line["loop"]["length_frames"]), ("town.flac", None, None, 44100))

        # The reader itself: a comment of 52 bytes after LOOPSTART has a length
        # byte "4", which it appends.
        self.assertEqual(rpg_read(b"LOOPSTART=22050\x34\0\0\0" + b"x" * 52, "LOOPSTART"), 220504)

    def test_a_track_without_a_loop_gets_no_loop_comments_and_says_so(self):
        body = zq.trk(units=100) + bytes(400)
        with open(self.path("plain.zq"), "wb") as f:
            f.write(zq.header(8 + len(body)) + body)
        rc, out = self.batch("plain.zq", "--kind", "kept", "-f", "ogg", "-q")
        self.assertEqual(rc, 0)
        self.assertIn("kelvor-batch: no loop to keep: the Ogg Vorbis file has no LOOPSTART or LOOPLENGTH.\n", out)
        self.assertEqual(self.tool("vorbiscomment", "-l", "plain.ogg").splitlines(), ["TITLE=plain"])

    def test_a_layout_the_codec_cannot_hold_is_refused_before_anything_is_written(self):
        with open(self.path("nine.zq"), "wb") as f:
            f.write(layout(9, 16))
        rc, out = self.batch("nine.zq", "-f", "flac")
        self.assertEqual(rc, 1)
        self.assertIn("refused : FLAC holds at most 8 channels.\nerror-35 : format can not hold the track(encoder)\n", out)
        self.assertFalse(os.path.exists(self.path("nine.flac")))
        self.assertEqual(self.batch("nine.zq", "-f", "ogg")[0], 0)  # Vorbis takes 9 channels
        for args, line in [(["-f", "flac", "-x"], "the short format block (-x) is not for FLAC"),
                           (["-f", "ogg", "--kind", "kept", "--loop-end", "godot"],
                            "a loop end (--loop-end) is for a smpl chunk, not for Ogg Vorbis, whose loop is in its comments"),
                           (["--quality", "4"], "a quality (--quality) is for Ogg Vorbis only (--format ogg)"),
                           (["-f", "ogg", "--quality", "11"], 'the quality must be from -1 to 10, in tenths at most, not "11"'),
                           (["-f", "mp3"], 'there is no format "mp3": the formats are wav, flac, ogg')]:
            self.assertEqual(self.batch("nine.zq", *args), (2, "kelvor-batch: " + line + ".\n"))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--sdl-probe", required=True, help="tests/readers/sdl_loop_probe.cc, built")
    ARGS, rest = parser.parse_known_args()
    ARGS.batch = os.path.abspath(ARGS.batch)
    ARGS.sdl_probe = os.path.abspath(ARGS.sdl_probe)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
