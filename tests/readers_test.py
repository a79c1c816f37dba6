"""The page's WAVs in readers nobody here wrote.

Each case is a container of one layout (8/16/24/32-bit, 24-bit samples in
32-bit slots, mono, stereo and 6 channels, loops at the first frame, one
frame long, starting inside a frame or inside the partial frame at the end,
odd data). The native build writes every kind of it (tests/readers/
kinds_writer.cc); then libsndfile (tests/readers/sndfile_probe.cc), ffprobe,
sox, Python's wave and Godot 3's importer read each WAV, and each must read
the frames, the samples and the loop the source holds, without a warning:

  kept, intro, loop  the data's whole frames (the partial frame left out),
                     under a header whose bits per sample is the slot's
  marked             the command line's unrolled data, with the smpl chunk
                     of the loop's first pass
  unrolled           the command line's WAV: read right by all but where its
                     header gives 24 bits in 32-bit slots, which the page's
                     row then says ffmpeg, sox, wave and Godot misread

The loop end: libsndfile gives SFC_GET_INSTRUMENT's end one past the smpl
chunk's, so a loop kept for RIFF's readers ends there at the frame after the
loop's last; Godot takes the smpl end as it is and plays up to the frame
before it, so a loop kept for Godot has its end one past the last frame.

  readers_test.py --writer build/tests/kinds_writer --probe build/tests/sndfile_probe \\
      --ffprobe ffprobe --sox sox --godot godot3-server --example build/example.zq \\
      [--sndfile-info sndfile-info] [--table]
"""
import argparse
import json
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

ARGS = None

KINDS = {"unrolled": 0, "kept": 1, "apart": 2, "marked": 3}
LOOP_ENDS = {"riff": 0, "godot": 1}


def container(data, loop_start, channels, frame_bits, sample_bits, rate):
    """A container of `data` (a multiple of 4 bytes) with a loop from byte `loop_start` (a multiple of 4) or none."""
    trk = (b"cTRK" + struct.pack("<5I", 1, 0, 36, len(data) // 4, rate)
           + struct.pack("<6H", 0, channels, frame_bits, 0, sample_bits, 0)) + data
    slp = b"" if loop_start is None else b"cSLP" + struct.pack("<5I", 1, 0, loop_start // 4, 0, 0)
    return b"fZQ " + struct.pack("<I", 8 + len(trk) + len(slp)) + trk + slp


class Case:
    def __init__(self, name, channels, frame_bits, sample_bits, rate, frames, extra, loop_start):
        self.name, self.channels, self.frame_bits, self.sample_bits = name, channels, frame_bits, sample_bits
        # The container holds the rate's low 16 bits alone: a 96 kHz field is read as 30,464 Hz.
        self.rate, self.loop_start = rate & 0xFFFF, loop_start
        self.align = channels * frame_bits // 8
        size = frames * self.align + extra
        rng = random.Random(name)
        self.data = bytes(rng.randrange(256) for _ in range(size))
        self.bytes = container(self.data, loop_start, channels, frame_bits, sample_bits, rate)
        self.frames = len(self.data) // self.align
        self.whole = self.data[:self.frames * self.align]
        within = loop_start is not None and loop_start < len(self.data)
        self.start = loop_start // self.align if within else None
        if self.start is not None and self.start >= self.frames:
            self.start = None  # inside the partial frame that kept WAVs leave out

    def slot_bits(self):
        return self.align // self.channels * 8

    def unrolled(self, count):
        if self.loop_start is None or self.loop_start >= len(self.data):
            return self.data
        return self.data + self.data[self.loop_start:] * (count - 1)


def cases(example):
    found = [
        Case("8-bit mono, 8 kHz", 1, 8, 8, 8000, 400, 0, 200),
        Case("16-bit stereo, loop at frame 0", 2, 16, 16, 44100, 100, 0, 0),
        Case("16-bit stereo, one-frame loop", 2, 16, 16, 44100, 100, 0, 396),
        Case("24-bit stereo, loop start inside a frame, partial frame at the end", 2, 24, 24, 48000, 100, 4, 100),
        Case("24-bit stereo, loop start inside the partial frame", 2, 24, 24, 48000, 100, 4, 600),
        Case("24-bit mono, odd intro and loop, a 96 kHz field", 1, 24, 24, 96000, 100, 0, 4),
        Case("32-bit stereo, 64 kHz", 2, 32, 32, 64000, 100, 0, 400),
        Case("24-bit samples in 32-bit slots", 2, 32, 24, 48000, 100, 0, 400),
        Case("6 channels, 16-bit", 6, 16, 16, 48000, 100, 0, 600),
        Case("16-bit stereo, no loop", 2, 16, 16, 22050, 50, 0, None),
    ]
    with open(example, "rb") as f:
        raw = f.read()
    ex = Case("the example", 2, 16, 16, 44100, 0, 0, None)
    ex.bytes, ex.data = raw, raw[44:44 + struct.unpack_from("<I", raw, 24)[0] * 4]  # cTRK field 4: units of 4 bytes
    ex.loop_start = struct.unpack_from("<I", raw, 44 + len(ex.data) + 12)[0] * 4
    ex.frames, ex.whole, ex.start = len(ex.data) // 4, ex.data, ex.loop_start // 4
    return [ex] + found


def int_samples(data, bits, channels):
    """The samples of `data` as libsndfile's sf_readf_int gives them: scaled to 32 bits."""
    width = bits // 8
    out = []
    for at in range(0, len(data) - len(data) % (width * channels), width):
        chunk = data[at:at + width]
        if bits == 8:
            out.append((chunk[0] - 128) << 24)
        else:
            value = int.from_bytes(chunk, "little", signed=True)
            out.append(value << (32 - bits))
    return out


def fnv(samples):
    h = 1469598103934665603
    for s in samples:
        v = s & 0xFFFFFFFF
        for b in range(4):
            h ^= (v >> (8 * b)) & 0xFF
            h = (h * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


class Wav:
    """One WAV made, and what every reader should find in it."""

    def __init__(self, case, kind, end, role, path, data, bits, loop):
        self.case, self.kind, self.end, self.role, self.path = case, kind, end, role, path
        self.data, self.bits, self.loop = data, bits, loop  # loop: (start, exclusive end) or None

    @property
    def frames(self):
        return len(self.data) // self.case.align

    def label(self):
        return f"{self.case.name}: {self.kind}" + (f" ({self.end})" if self.kind in ("kept", "marked") else "") + \
            (f", {self.role}" if self.kind == "apart" else "")


def make(case, folder):
    """Every kind of `case`, written natively into `folder`."""
    made = []
    src = os.path.join(folder, "in.zq")
    with open(src, "wb") as f:
        f.write(case.bytes)
    kept_loop = None if case.start is None else (case.start, case.frames)
    whole = case.whole
    for kind, end in [("unrolled", "riff"), ("kept", "riff"), ("kept", "godot"), ("apart", "riff"),
                      ("marked", "riff"), ("marked", "godot")]:
        sub = os.path.join(folder, f"{kind}-{end}")
        os.mkdir(sub)
        count = "-l2" if kind in ("unrolled", "marked") else "-l1"
        run = subprocess.run([ARGS.writer, str(KINDS[kind]), str(LOOP_ENDS[end]), src, os.path.join(sub, "a.wav"), count],
                             capture_output=True)
        if run.returncode != 0:
            raise AssertionError(f"{case.name}, {kind}: {run.stdout.decode()}")
        at = lambda name: os.path.join(sub, name)
        if kind == "unrolled":
            made.append(Wav(case, kind, end, "unrolled", at("a.wav"), case.unrolled(2), case.sample_bits, None))
        elif kind == "marked":
            made.append(Wav(case, kind, end, "unrolled", at("a.wav"), case.unrolled(2), case.sample_bits, kept_loop))
        elif kind == "kept":
            made.append(Wav(case, kind, end, "whole", at("a.wav"), whole, case.slot_bits(), kept_loop))
        elif kept_loop is None:
            made.append(Wav(case, kind, end, "whole", at("a.wav"), whole, case.slot_bits(), None))
        else:
            cut = case.start * case.align
            if cut > 0:
                made.append(Wav(case, kind, end, "intro", at("a - intro.wav"), whole[:cut], case.slot_bits(), None))
            made.append(Wav(case, kind, end, "loop", at("a - loop.wav"), whole[cut:], case.slot_bits(), None))
    return made


def misread(wav):
    """The command line's header with 24 bits in 32-bit slots, which the row says is misread."""
    return wav.kind in ("unrolled", "marked") and wav.case.sample_bits != wav.case.slot_bits()


def godot_import(wavs, folder):
    """Godot 3's import of each WAV: {path: line of facts, or the importer's error}."""
    project = os.path.join(folder, "godot")
    os.mkdir(project)
    with open(os.path.join(project, "project.godot"), "w") as f:
        f.write('config_version=4\n[application]\nconfig/name="readers"\n')
    with open(os.path.join(project, "probe.gd"), "w") as f:
        f.write("extends SceneTree\nfunc _init():\n"
                "\tfor name in OS.get_cmdline_args():\n"
                "\t\tif name.ends_with('.wav'):\n"
                "\t\t\tvar s = load('res://' + name)\n"
                "\t\t\tif s == null:\n\t\t\t\tprint('GODOT %s none' % name)\n"
                "\t\t\telse:\n"
                "\t\t\t\tprint('GODOT %s %d %d %d %d %s %d' % [name, s.loop_mode, s.loop_begin, s.loop_end, s.mix_rate,"
                " s.stereo, s.data.size()])\n"
                "\tquit()\n")
    names = {}
    for i, wav in enumerate(wavs):
        name = f"w{i}.wav"
        shutil.copy(wav.path, os.path.join(project, name))
        names[name] = wav
    env = dict(os.environ, HOME=folder)
    imported = subprocess.run([ARGS.godot, "--path", project, "-e", "--quit"], capture_output=True, env=env, timeout=300)
    errors = imported.stdout.decode(errors="replace") + imported.stderr.decode(errors="replace")
    probe = subprocess.run([ARGS.godot, "--path", project, "-s", "probe.gd", *names], capture_output=True, env=env,
                           timeout=300)
    found = {}
    for line in probe.stdout.decode(errors="replace").splitlines():
        if line.startswith("GODOT "):
            parts = line.split()
            found[names[parts[1]].path] = None if parts[2] == "none" else tuple(parts[2:])
    refused = {names[n].path for n in names if f"res://{n}" in errors and "not stereo or mono" in errors}
    return found, refused


def header_warnings(wav):
    """What sndfile-info's header parser finds wrong with a WAV. It says that a data chunk of odd length
    "should be an even number of bytes" even with the pad byte after it that RIFF asks for, as its
    length field, which RIFF has leave the pad out, is odd: that line is left out where the pad is there."""
    info = subprocess.run([ARGS.sndfile_info, wav.path], capture_output=True).stdout.decode()
    with open(wav.path, "rb") as f:
        raw = f.read()
    length = struct.unpack_from("<I", raw, 40)[0]
    padded = length % 2 == 1 and len(raw) > 44 + length and raw[44 + length] == 0 and \
        struct.unpack_from("<I", raw, 4)[0] == len(raw) - 8
    return [line for line in info.splitlines() if re.search(r"(?i)should|warning|error", line)
            and not (padded and "'data' chunk should be an even number of bytes" in line)]


class Readers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="kelvor-readers-")
        cls.wavs = []
        for i, case in enumerate(cases(ARGS.example)):
            sub = os.path.join(cls.folder, f"case{i}")
            os.mkdir(sub)
            cls.wavs += make(case, sub)
        probe = subprocess.run([ARGS.probe, *[w.path for w in cls.wavs]], capture_output=True, check=True)
        cls.sndfile = {json.loads(line)["file"]: json.loads(line) for line in probe.stdout.decode().splitlines()}
        cls.godot, cls.godot_refused = godot_import([w for w in cls.wavs if w.end == "godot" or w.kind == "apart"
                                                     or w.case.name == "the example"], cls.folder)
        cls.table = {}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)
        if ARGS.table:
            print("\n| WAV | frames | libsndfile | ffprobe | sox | wave | Godot |\n|---|---|---|---|---|---|---|")
            for wav in cls.wavs:
                row = cls.table.get(wav.path, {})
                print(f"| {wav.label()} | {wav.frames} | " + " | ".join(row.get(r, "-") for r in
                      ("sndfile", "ffprobe", "sox", "wave", "godot")) + " |")

    def note(self, wav, reader, text):
        self.table.setdefault(wav.path, {})[reader] = text

    def test_libsndfile_reads_the_frames_the_samples_and_the_loop(self):
        for wav in self.wavs:
            with self.subTest(wav.label()):
                got = self.sndfile[wav.path]
                if misread(wav):
                    self.assertNotEqual(got["frames"], wav.frames, "the row says readers misread it")
                    self.note(wav, "sndfile", f"misread: {got['frames']} frames")
                    continue
                self.assertEqual((got["frames"], got["channels"], got["rate"]),
                                 (wav.frames, wav.case.channels, wav.case.rate))
                samples = int_samples(wav.data[:wav.frames * wav.case.align], wav.bits, wav.case.channels)
                self.assertEqual(got["hash"], fnv(samples), "the samples")
                # SFC_GET_INSTRUMENT's end is one past the smpl chunk's: a forward loop (801) to the frame
                # after its last for RIFF's readers, one further for Godot's.
                loop = None if wav.loop is None else [801, wav.loop[0], wav.loop[1] + (wav.end == "godot")]
                self.assertEqual(got["loop"], loop)
                self.note(wav, "sndfile", "ok" + (f", loop {got['loop'][1]}-{got['loop'][2]}" if got["loop"] else ""))
                if wav.kind in ("kept", "apart"):
                    self.assertEqual(header_warnings(wav), [])

    def test_ffprobe_and_sox_count_the_frames_without_a_warning(self):
        for wav in self.wavs:
            with self.subTest(wav.label()):
                probe = subprocess.run([ARGS.ffprobe, "-v", "warning", "-select_streams", "a:0", "-show_entries",
                                        "stream=duration_ts,channels,sample_rate", "-of", "json", wav.path],
                                       capture_output=True)
                stream = json.loads(probe.stdout)["streams"][0]
                sox = subprocess.run([ARGS.sox, "--i", "-s", wav.path], capture_output=True)
                if misread(wav):
                    self.assertNotEqual(stream["duration_ts"], wav.frames, "the row says ffmpeg misreads it")
                    self.note(wav, "ffprobe", f"misread: {stream['duration_ts']} frames")
                    self.note(wav, "sox", f"misread: {sox.stdout.decode().strip()} frames")
                    continue
                self.assertEqual(probe.stderr.decode(), "")
                self.assertEqual((stream["duration_ts"], stream["channels"], int(stream["sample_rate"])),
                                 (wav.frames, wav.case.channels, wav.case.rate))
                self.assertEqual((sox.stderr.decode(), int(sox.stdout)), ("", wav.frames))
                self.note(wav, "ffprobe", "ok")
                self.note(wav, "sox", "ok")

    def test_pythons_wave_counts_the_frames(self):
        for wav in self.wavs:
            with self.subTest(wav.label()):
                with wave.open(wav.path) as w:
                    if misread(wav):
                        self.assertNotEqual(w.getnframes(), wav.frames)
                        self.note(wav, "wave", f"misread: {w.getnframes()} frames")
                        continue
                    self.assertEqual((w.getnframes(), w.getnchannels(), w.getsampwidth()),
                                     (wav.frames, wav.case.channels, wav.bits // 8))
                    self.note(wav, "wave", "ok")

    def test_godot_imports_the_loop_it_plays_exactly(self):
        for wav in self.wavs:
            if wav.path not in self.godot and wav.path not in self.godot_refused:
                continue
            with self.subTest(wav.label()):
                if wav.case.channels > 2:
                    self.assertIn(wav.path, self.godot_refused, "the row says Godot imports mono and stereo only")
                    self.note(wav, "godot", "refused: not stereo or mono")
                    continue
                mode, begin, end, rate, stereo, size = self.godot[wav.path]
                width = 1 if wav.bits == 8 else 2  # Godot keeps 8-bit samples, makes the others 16-bit
                if misread(wav):
                    self.assertNotEqual(int(size), wav.frames * wav.case.channels * width, "the row says Godot misreads it")
                    self.note(wav, "godot", f"misread: {int(size) // (wav.case.channels * width)} frames")
                    continue
                self.assertEqual((int(rate), stereo, int(size)),
                                 (wav.case.rate, str(wav.case.channels == 2), wav.frames * wav.case.channels * width))
                if wav.loop is None:
                    self.assertEqual(mode, "0")
                else:
                    # Godot plays begin .. end - 1: the loop's frames exactly when its end is one past the last.
                    played = (int(begin), int(end))
                    expected = (wav.loop[0], wav.loop[1] - (wav.end != "godot"))
                    self.assertEqual((mode, played), ("1", expected))
                self.note(wav, "godot", f"loop {begin}-{end}" if mode == "1" else "no loop")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ("writer", "probe", "ffprobe", "sox", "godot", "example"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--sndfile-info", default="sndfile-info")
    parser.add_argument("--table", action="store_true", help="print the table of readers by WAV")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=1)


if __name__ == "__main__":
    main()
