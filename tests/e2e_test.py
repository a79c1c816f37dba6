#!/usr/bin/env python3
"""End-to-end tests: run the built kelvor in a temporary folder and check its
standard output, exit status and the files it leaves behind.

Every run checks that the source file is byte-identical afterwards.

    e2e_test.py --kelvor build/kelvor --example build/example.zq [--runner wine]
"""
import argparse
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zq  # noqa: E402

ARGS = None
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "VERSION"), "rb") as _v:
    BANNER = b"kelvor ver. %s\nby the kelvor developers(kelvor@example.org)\n" % _v.readline().strip()


def settings(loop, src, dst):
    """The settings lines; names are printed as their UTF-8 bytes."""
    return b"setting : loop %d\n    src[%s]\n    dst[%s]\n" % (loop, src.encode(), dst.encode())


def small_wav():
    """What the 76-byte container becomes with the default loop count."""
    src = zq.small()
    return zq.wav_header(12) + src[44:52] + src[48:52]


def posix_devices_only(case):
    """FIFOs, devices and ulimit: the Linux builds only, not under Wine or Node."""
    if ARGS.windows or ARGS.node or not os.path.exists("/dev/full"):
        case.skipTest("needs Linux devices and FIFOs")


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kelvor-e2e-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def fingerprint(self, name):
        """What shows a file unchanged: its size and modification time, and its
        bytes where it is small enough to read whole (not the sparse 2 GiB ones)."""
        st = os.stat(self.path(name))
        return (st.st_size, st.st_mtime_ns, self.read(name) if st.st_size < (64 << 20) else None)

    def exists(self, name):
        return os.path.lexists(self.path(name))

    def run_kelvor(self, *args, source=None, shell_prefix=None, env=None, stderr_note=None):
        """Runs kelvor in the folder; `source` names a file that must not change."""
        before = self.fingerprint(source) if source and self.exists(source) else None
        cmd = shlex.split(ARGS.runner) + [ARGS.kelvor] + list(args)
        if shell_prefix:
            cmd = ["sh", "-c", shell_prefix + ' && exec "$@"', "sh"] + cmd
        # Wine turns the arguments and file names into UTF-16 by the locale's charset.
        locale = {"LC_ALL": "C.UTF-8"} if ARGS.windows else {}
        p = subprocess.run(cmd, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           stdin=subprocess.DEVNULL, timeout=120,
                           env=dict(os.environ, **locale, **(env or {})))
        if stderr_note and p.stderr:  # the sanitizer's own report of a refused allocation
            self.assertRegex(p.stderr, stderr_note)
        else:
            self.assertEqual(p.stderr, b"", "nothing may go to standard error")
        if before is not None:
            self.assertEqual(self.fingerprint(source), before, "the source was modified")
        out = p.stdout
        if ARGS.windows:  # the console's text mode ends lines with CR LF
            self.assertNotIn(b"\n", out.replace(b"\r\n", b""))
            out = out.replace(b"\r\n", b"\n")
        return p.returncode, out

    def convert(self, container, *options, expect_rc=0, dst="out.wav", keep=False):
        """Converts `container` (as in.zq) to `dst` and returns (output bytes, stdout);
        a `dst` already there is removed first unless `keep`."""
        self.write("in.zq", container)
        if self.exists(dst) and not keep:
            os.remove(self.path(dst))
        rc, out = self.run_kelvor("in.zq", dst, *options, source="in.zq")
        self.assertEqual(rc, expect_rc & 0xFF, out)
        return (self.read(dst) if self.exists(dst) else None), out


class CommandLine(Case):
    def test_no_arguments_prints_the_usage(self):
        rc, out = self.run_kelvor()
        self.assertEqual(rc, 255)
        self.assertEqual(out, BANNER + (
            b"\nusage : kelvor.exe [zq name] {wav name} {options}\n"
            b"        [zq name]  : .zq file\n"
            b"        {wav name} : output wav file name(option)\n"
            b"        {options}  : -ln ... loop count(n = 1...). default is 2.\n"))
        self.assertEqual(os.listdir(self.dir), [])

    def test_options_alone_have_no_source(self):
        rc, out = self.run_kelvor("-l3")
        self.assertEqual((rc, out), (254, BANNER + b"error-2 : no .zq filename.\n"))

    def test_missing_source(self):
        rc, out = self.run_kelvor("none.zq")
        self.assertEqual(rc, 245)
        self.assertEqual(out, BANNER + settings(2, "none.zq", "none.wav")
                         + b"error-11 : can not open .zq file.\n")
        self.assertFalse(self.exists("none.wav"))

    def test_warnings_then_the_settings(self):
        self.write("a.zq", zq.small())
        rc, out = self.run_kelvor("-L3", "-l0", "a.zq", "-b0", "-l4", "-", "b.wav", "c", source="a.zq")
        self.assertEqual(rc, 0)
        self.assertEqual(out, BANNER
                         + b"warning : 'L' is invalid option.\n"
                         + b"warning : value of option 'l' is out of range.\n"
                         + b"warning : value of option 'b' is out of range.\n"
                         + b"warning : '\0' is invalid option.\n"
                         + settings(4, "a.zq", "b.wav"))
        self.assertFalse(self.exists("c"))

    def test_wrapping_loop_count(self):
        self.write("a.zq", zq.small())
        rc, out = self.run_kelvor("a.zq", "-l4294967298", source="a.zq")  # 2^32 + 2
        self.assertEqual(rc, 0)
        self.assertIn(b"setting : loop 2\n", out)
        rc, out = self.run_kelvor("a.zq", "-l2147483648", source="a.zq")  # 2^31
        self.assertIn(b"warning : value of option 'l' is out of range.\n", out)


class Conversion(Case):
    DATA = bytes(range(44, 52))

    def test_small_container_default_loop(self):
        out, text = self.convert(zq.small())
        self.assertEqual(len(out), 56)
        src = zq.small()
        self.assertEqual(out, zq.wav_header(12) + src[44:52] + src[48:52])
        self.assertEqual(text, BANNER + settings(2, "in.zq", "out.wav"))

    def test_loop_counts_and_buffer_sizes_give_the_same_bytes(self):
        for count in (1, 3, 4):
            expected = zq.unrolled(self.DATA, 4, count)
            for buf in ("-b1", "-b3", "-b100000"):
                out, _ = self.convert(zq.small(), "-l%d" % count, buf)
                self.assertEqual(out, zq.wav_header(len(expected)) + expected, (count, buf))

    def test_loop_start_at_either_end(self):
        data = bytes(range(100, 140))
        out, _ = self.convert(zq.container(data, loop_units=0), "-l4")
        self.assertEqual(out, zq.wav_header(160) + data * 4)
        out, _ = self.convert(zq.container(data, loop_units=10), "-l4")
        self.assertEqual(out, zq.wav_header(40) + data)

    def test_mono_8_bit(self):
        data = bytes(range(0, 256, 3))[:80]
        out, _ = self.convert(zq.container(data, loop_units=5, channels=1, bits=8, rate=8000))
        expected = zq.unrolled(data, 20, 2)
        self.assertEqual(out, zq.wav_header(len(expected), channels=1, rate=8000, bits=8) + expected)

    def test_short_format_block(self):
        out, _ = self.convert(zq.small(), "-xanything")
        self.assertEqual(len(out), 52)
        self.assertEqual(out, zq.wav_header(12, short=True) + self.DATA + self.DATA[4:])

    def test_no_loop_info_plays_the_data_once(self):
        # Whatever loop count is asked: one whose repetitions would pass 32
        # bits is checked as the count heard, 1, and converts.
        for container in (zq.container(self.DATA), zq.container(self.DATA, 1, loop_mark=0)):
            for count in (2, 2147483647):
                out, text = self.convert(container, "-l%d" % count)
                self.assertEqual(out, zq.wav_header(8) + self.DATA, count)
                self.assertEqual(text, BANNER + settings(count, "in.zq", "out.wav")
                                 + b"warning : no loop info, reset loopcount to 1.\n")
            out, text = self.convert(container, "-l1")
            self.assertEqual(out, zq.wav_header(8) + self.DATA)
            self.assertNotIn(b"warning", text)

    def test_no_track_leaves_an_empty_destination(self):
        for container in (zq.header(8), zq.header(8 + 44) + zq.trk(mark=0) + self.DATA):
            out, text = self.convert(container)
            self.assertEqual(out, b"")
            self.assertEqual(text, BANNER + settings(2, "in.zq", "out.wav"))

    def test_short_sample_data_fails_after_the_whole_pieces(self):
        # 12 data bytes announced, 10 present; the walk ends at the total.
        container = zq.header(8 + 36 + 10) + zq.trk(units=3) + bytes(range(10))
        out, text = self.convert(container, "-b4", "-l1", expect_rc=-51)
        self.assertEqual(out, zq.wav_header(12) + bytes(range(8)))
        self.assertTrue(text.endswith(b"error-51 : read error(transfar)\n"))

    def test_data_start_past_the_end(self):
        container = zq.header(52) + zq.trk(data_offset=5000) + self.DATA
        out, text = self.convert(container, "-l1", expect_rc=-51)
        self.assertEqual(out, zq.wav_header(8))

    def test_analysis_errors(self):
        cases = [(b"fZQ", -22, b"error-22 : read error(analyze)\n"),
                 (b"fzq " + zq.small()[4:], -23, b"error-23 : invalid .zq file(analyze)\n"),
                 (zq.header(100) + b"LIST" + bytes(8), -24, b"error-24 : invalid cunk(analyze)\n")]
        for container, code, message in cases:
            out, text = self.convert(container, expect_rc=code)
            self.assertIsNone(out)
            self.assertEqual(text, BANNER + settings(2, "in.zq", "out.wav") + message)

    def test_refused_headers_leave_the_destination_untouched(self):
        # A refusal comes before the destination is opened: no file is made,
        # one that was there keeps every byte, one that cannot be made is not
        # what the run reports.
        beyond = (zq.container(self.DATA, loop_units=3), ("-l2",), -32,
                  b"error-32 : loop start is beyond the data(wavheader)\n")
        too_large = (zq.container(bytes(4096), loop_units=0), ("-l1048577",), -33,
                     b"error-33 : wav file too large(wavheader)\n")
        for container, options, code, message in (beyond, too_large):
            out, text = self.convert(container, *options, expect_rc=code)
            self.assertEqual(text, BANNER + settings(int(options[0][2:]), "in.zq", "out.wav") + message)
            self.assertIsNone(out)
            self.write("keep.wav", b"precious old take\n")
            out, text = self.convert(container, *options, expect_rc=code, dst="keep.wav", keep=True)
            self.assertEqual(out, b"precious old take\n")
            self.assertTrue(text.endswith(message))
        out, text = self.convert(beyond[0], expect_rc=-32, dst="no-such-folder/out.wav")
        self.assertTrue(text.endswith(beyond[3]), text)
        out, _ = self.convert(beyond[0], "-l1")  # never repeated: fine
        self.assertEqual(out, zq.wav_header(8) + self.DATA)

class Limits(Case):
    """Values at, one before and one past each limit. Sparse files stand in
    for containers of 2 GiB."""

    LIMIT = 2 ** 31

    def sparse(self, name, head, size, tail_at=None, tail=b""):
        with open(self.path(name), "wb") as f:
            f.write(head)
            if tail_at is not None:
                f.seek(tail_at)
                f.write(tail)
        os.truncate(self.path(name), size)

    def test_data_start_at_the_position_limit(self):
        last = self.LIMIT - 1  # the data start itself: 2^31 - 1 is the last allowed
        head = zq.header(76) + zq.trk(data_offset=last - 8) + bytes(8) + zq.slp(1, 1)
        self.sparse("edge.zq", head, self.LIMIT + 64, last, b"ABCDEFGH")
        rc, out = self.run_kelvor("edge.zq", "a.wav", "-l1", source="edge.zq")
        self.assertEqual(rc, 0, out)
        self.assertEqual(self.read("a.wav"), zq.wav_header(8) + b"ABCDEFGH")
        # Repeating needs the loop start at 2^31 + 3: the relative seek fails.
        rc, out = self.run_kelvor("edge.zq", "b.wav", source="edge.zq")
        self.assertEqual(rc, (-43) & 0xFF, out)
        self.assertTrue(out.endswith(b"error-43 : seek error(skip_loophead)\n"))
        self.assertEqual(self.read("b.wav"), zq.wav_header(12) + b"ABCDEFGH")
        head = zq.header(52) + zq.trk(data_offset=self.LIMIT - 8) + bytes(8)
        self.sparse("over.zq", head, self.LIMIT + 64)
        rc, out = self.run_kelvor("over.zq", "c.wav", "-l1", source="over.zq")
        self.assertEqual(rc, (-42) & 0xFF, out)
        self.assertTrue(out.endswith(b"error-42 : seek error(go_datahead)\n"))

    def test_reader_skip_at_the_position_limit(self):
        # Chunks are whole 4-byte units, so 2^31 - 4 is the last target the
        # skip can have; a cSLP chunk is read from there. Mark 0: nothing is copied.
        units = (self.LIMIT - 4 - 44) // 4
        head = zq.header(self.LIMIT + 20) + zq.trk(mark=0, units=units)
        self.sparse("edge.zq", head, self.LIMIT + 20, self.LIMIT - 4, zq.slp(1, 0))
        rc, out = self.run_kelvor("edge.zq", "a.wav", source="edge.zq")
        self.assertEqual((rc, self.read("a.wav")), (0, b""), out)
        head = zq.header(self.LIMIT + 24) + zq.trk(mark=0, units=units + 1)
        self.sparse("over.zq", head, self.LIMIT + 24, self.LIMIT, zq.slp(1, 0))
        rc, out = self.run_kelvor("over.zq", "b.wav", source="over.zq")
        self.assertEqual(rc, (-22) & 0xFF, out)
        self.assertFalse(self.exists("b.wav"))

    def test_empty_loop_section_still_makes_its_seeks(self):
        # The loop start equals the data length and lies at 2^31 from the file's
        # start: however many repetitions, the first one's seek fails after the
        # header and the data.
        head = zq.header(76) + zq.trk(data_offset=self.LIMIT - 16) + bytes(8) + zq.slp(1, 2)
        self.sparse("edge.zq", head, self.LIMIT + 64, self.LIMIT - 8, b"ABCDEFGH")
        for count in ("-l2", "-l2147483647"):
            rc, out = self.run_kelvor("edge.zq", "a.wav", count, source="edge.zq")
            self.assertEqual(rc, (-43) & 0xFF, out)
            self.assertTrue(out.endswith(b"error-43 : seek error(skip_loophead)\n"), out)
            self.assertEqual(self.read("a.wav"), zq.wav_header(8) + b"ABCDEFGH")

    def test_loop_start_at_and_past_the_data_with_two_loops(self):
        data = bytes(range(16))
        out, _ = self.convert(zq.container(data, loop_units=4), "-l2")
        self.assertEqual(out, zq.wav_header(16) + data)
        out, text = self.convert(zq.container(data, loop_units=5), "-l2", expect_rc=-32)
        self.assertIsNone(out)

    def test_largest_loop_count_with_an_empty_loop_section(self):
        data = bytes(range(16))
        out, text = self.convert(zq.container(data, loop_units=4), "-l2147483647")
        self.assertIn(b"setting : loop 2147483647\n", text)
        self.assertEqual(out, zq.wav_header(16) + data)

    def test_header_one_byte_past_32_bits(self):
        # 4 data bytes x 1,073,741,815 = 2^32 - 36: with the 36 the RIFF length adds, 2^32.
        out, text = self.convert(zq.container(bytes(4), loop_units=0), "-l1073741815",
                                 expect_rc=-33)
        self.assertTrue(text.endswith(b"error-33 : wav file too large(wavheader)\n"))
        self.assertIsNone(out)

    def test_total_length_of_8_and_9(self):
        out, _ = self.convert(zq.header(8))
        self.assertEqual(out, b"")
        out, text = self.convert(zq.header(9), expect_rc=-22)
        self.assertIsNone(out)


class Safety(Case):
    def assert_refused(self, *args, source="a.zq"):
        rc, out = self.run_kelvor(*args, source=source)
        self.assertEqual(rc, (-13) & 0xFF, out)
        self.assertTrue(out.endswith(b"error-13 : .wav file is the .zq file.\n"))

    def test_destination_that_is_the_source_is_refused(self):
        self.write("a.zq", zq.small())
        os.symlink("a.zq", self.path("link.wav"))
        os.link(self.path("a.zq"), self.path("hard.wav"))
        for dst in ("a.zq", "./a.zq", "link.wav", "hard.wav", self.path("a.zq")):
            self.assert_refused("a.zq", dst)
        # A derived name that leads to the source.
        os.symlink("a.zq", self.path("a.wav"))
        self.assert_refused("a.zq")
        self.assertEqual(self.read("hard.wav"), zq.small())

    def test_derived_names_never_name_the_source(self):
        for src, dst in (("voice", "voice.wav"), ("take.WAV", "take.WAV.wav"),
                         ("x.wav", "x.wav.wav"), ("dir.d/take.1.zq", "dir.d/take.1.wav")):
            os.makedirs(os.path.dirname(self.path(src)), exist_ok=True)
            self.write(src, zq.small())
            rc, out = self.run_kelvor(src, source=src)
            self.assertEqual(rc, 0, out)
            self.assertIn(settings(2, src, dst), out)
            self.assertEqual(len(self.read(dst)), 56)

    def test_failing_source_keeps_an_existing_destination(self):
        self.write("keep.wav", b"precious")
        self.write("broken.zq", b"fZQ \x50\x00\x00\x00cTRK")
        for src, code in (("broken.zq", -22), ("missing.zq", -11)):
            rc, _ = self.run_kelvor(src, "keep.wav", source=src)
            self.assertEqual(rc, code & 0xFF)
            self.assertEqual(self.read("keep.wav"), b"precious")

    def test_long_names_are_used_whole(self):
        # A path of over 600 characters: no shortened name may ever be opened.
        folder = os.path.join(*(["d" * 200] * 3))
        os.makedirs(self.path(folder))
        src = os.path.join(folder, "n" * 240 + ".zq")
        self.write(src, zq.small())
        rc, out = self.run_kelvor(src, source=src)
        self.assertEqual(rc, 0, out)
        self.assertEqual(self.read(os.path.join(folder, "n" * 240 + ".wav"))[44:], zq.small()[44:52] + zq.small()[48:52])
        found = [os.path.relpath(os.path.join(top, f), self.dir)
                 for top, _, files in os.walk(self.dir) for f in files]
        self.assertEqual(sorted(found), sorted([src, os.path.join(folder, "n" * 240 + ".wav")]))

    def test_a_name_too_long_for_the_file_system_is_refused_not_shortened(self):
        # A component over 255 bytes: the system refuses it; a shortened one
        # would name another file.
        self.write("in.zq", zq.small())
        for dst in ("o" * 304, os.path.join("sub", "o" * 304 + ".wav")):
            rc, out = self.run_kelvor("in.zq", dst, source="in.zq")
            self.assertEqual(rc, -12 & 0xFF, out)
            self.assertTrue(out.endswith(b"error-12 : can not create .wav file.\n"), out)
            self.assertEqual(os.listdir(self.dir), ["in.zq"])


class OtherContainers(Case):
    """A destination that holds a container is another source: never emptied."""

    REFUSED = b"error-14 : .wav file is a .zq file.\n"

    def assert_kept(self, *args, dst, src="a.zq", code=-14, message=REFUSED):
        before = self.fingerprint(dst)
        present = sorted(os.listdir(self.dir))
        rc, out = self.run_kelvor(*args, source=src)
        self.assertEqual(rc, code & 0xFF, out)
        self.assertTrue(out.endswith(message), out)
        self.assertEqual(out.count(b"error-"), 1)
        self.assertEqual(self.fingerprint(dst), before, "the destination was changed")
        self.assertEqual(sorted(os.listdir(self.dir)), present, "a file was created")

    def test_every_name_that_leads_to_another_container_is_refused(self):
        other = zq.container(bytes(range(32)), loop_units=2)
        self.write("a.zq", zq.small())
        self.write("b.zq", other)
        self.write("c.wav", other)
        shutil.copy(self.path("a.zq"), self.path("copy.zq"))  # identical bytes, another file
        os.symlink("b.zq", self.path("link.wav"))
        rc, out = self.run_kelvor("a.zq", "b.zq", source="a.zq")  # what "kelvor *.zq" makes
        self.assertEqual(out, BANNER + settings(2, "a.zq", "b.zq") + self.REFUSED)
        for dst in ("b.zq", "c.wav", "copy.zq", "link.wav", "./b.zq"):
            self.assert_kept("a.zq", dst, dst=dst)
        self.assertEqual(self.read("b.zq"), other)

    def test_a_derived_name_holding_a_container_is_refused(self):
        self.write("a.zq", zq.small())
        self.write("a.wav", zq.small())
        self.assert_kept("a.zq", dst="a.wav")

    def test_a_container_without_a_track_is_refused_the_same_way(self):
        self.write("a.zq", zq.header(8))
        self.write("b.zq", zq.small())
        self.assert_kept("a.zq", "b.zq", dst="b.zq")

    def test_a_failing_source_reports_its_own_error_first(self):
        self.write("broken.zq", b"fZQ \x50\x00\x00\x00cTRK")
        self.write("b.zq", zq.small())
        self.assert_kept("broken.zq", "b.zq", dst="b.zq", src="broken.zq", code=-22,
                         message=b"error-22 : read error(analyze)\n")

    def test_anything_else_is_overwritten_as_before(self):
        self.write("a.zq", zq.small())
        earlier_wav = small_wav()
        cases = {"same-size.wav": b"RIFF" + bytes(72),  # as large as the source, another file
                 "short.wav": b"fZQ", "empty.wav": b"", "lower.wav": b"fzq " + zq.small()[4:],
                 "earlier.wav": earlier_wav + b"longer"}
        for name, data in cases.items():
            self.write(name, data)
            rc, out = self.run_kelvor("a.zq", name, source="a.zq")
            self.assertEqual((rc, self.read(name)), (0, small_wav()), name)

    def test_a_folder_is_not_read_and_cannot_be_created(self):
        self.write("a.zq", zq.small())
        os.mkdir(self.path("d.wav"))
        rc, out = self.run_kelvor("a.zq", "d.wav", source="a.zq")
        self.assertEqual(rc, (-12) & 0xFF, out)
        self.assertTrue(out.endswith(b"error-12 : can not create .wav file.\n"))

    def test_fifos_and_devices_are_written_without_being_read(self):
        posix_devices_only(self)
        self.write("a.zq", zq.small())
        rc, out = self.run_kelvor("a.zq", "/dev/null", source="a.zq")
        self.assertEqual(rc, 0, out)
        fifo = self.path("pipe.wav")
        os.mkfifo(fifo)
        got = []

        def read_all():
            with open(fifo, "rb") as f:
                got.append(f.read())
        reader = threading.Thread(target=read_all, daemon=True)
        reader.start()
        try:
            rc, out = self.run_kelvor("a.zq", "pipe.wav", source="a.zq")
        finally:
            if reader.is_alive():  # release the reader if the run never opened the FIFO
                try:
                    os.close(os.open(fifo, os.O_WRONLY | os.O_NONBLOCK))
                except OSError:
                    pass
            reader.join(10)
        self.assertEqual(rc, 0, out)
        self.assertEqual(got, [small_wav()])


UNICODE_STEMS = ["音楽", "музыка", "café", "🎵"]  # Japanese, Cyrillic, accented Latin, emoji


class UnicodeNames(Case):
    """Names outside every ANSI code page, printed as their UTF-8 bytes."""

    def test_as_source_and_as_derived_and_explicit_destination(self):
        for i, stem in enumerate(UNICODE_STEMS):
            src, other = stem + ".zq", UNICODE_STEMS[(i + 1) % len(UNICODE_STEMS)] + "-out.wav"
            self.write(src, zq.small())
            rc, out = self.run_kelvor(src, source=src)
            self.assertEqual((rc, out), (0, BANNER + settings(2, src, stem + ".wav")))
            self.assertEqual(self.read(stem + ".wav"), small_wav())
            rc, out = self.run_kelvor(src, other, "-l1", source=src)
            self.assertEqual((rc, out), (0, BANNER + settings(1, src, other)))
            self.assertEqual(self.read(other), zq.wav_header(8) + zq.small()[44:52])

    def test_in_folders_with_such_names(self):
        for stem in UNICODE_STEMS:
            os.mkdir(self.path(stem))
            src = stem + "/" + stem + ".zq"
            self.write(src, zq.small())
            rc, out = self.run_kelvor(src, source=src)
            self.assertEqual((rc, out), (0, BANNER + settings(2, src, stem + "/" + stem + ".wav")))
            self.assertEqual(self.read(stem + "/" + stem + ".wav"), small_wav())
            dst = UNICODE_STEMS[0] + "/" + stem + "-copy.wav"
            rc, out = self.run_kelvor(src, dst, source=src)
            self.assertEqual((rc, self.read(dst)), (0, small_wav()), out)

    def test_the_same_file_through_another_spelling(self):
        for stem in UNICODE_STEMS:
            self.write(stem + ".zq", zq.small())
            rc, out = self.run_kelvor(stem + ".zq", "./" + stem + ".zq", source=stem + ".zq")
            self.assertEqual(rc, (-13) & 0xFF, out)
            self.assertEqual(out, BANNER + settings(2, stem + ".zq", "./" + stem + ".zq")
                             + b"error-13 : .wav file is the .zq file.\n")

    def test_invalid_option_names_the_first_byte_of_its_character(self):
        self.write("a.zq", zq.small())
        rc, out = self.run_kelvor("-é", "a.zq", source="a.zq")
        self.assertEqual((rc, out), (0, BANNER + b"warning : '\xc3' is invalid option.\n"
                                     + settings(2, "a.zq", "a.wav")))


class WriteFailures(Case):
    """A device that refuses writes, and a copy buffer that cannot be had:
    the Linux builds and the Node build."""

    def setUp(self):
        if ARGS.windows or (ARGS.runner and not ARGS.node) or not os.path.exists("/dev/full"):
            self.skipTest("needs /dev/full, and ulimit for a native build")
        super().setUp()

    def test_full_device_is_never_a_success(self):
        self.write("a.zq", zq.small())
        rc, out = self.run_kelvor("a.zq", "/dev/full", source="a.zq")
        self.assertEqual(rc, (-31) & 0xFF)
        self.assertTrue(out.endswith(b"error-31 : write error(wavheader)\n"))

    def test_buffer_that_cannot_be_allocated(self):
        self.write("a.zq", zq.small())
        size = "-b2000000000"
        if ARGS.node:  # a WebAssembly heap never grows to 2 GiB: no limit needed, and no abort allowed
            limit, size = {}, "-b2147483647"
        elif ARGS.sanitized:  # the sanitizer's own allocator needs far more address space
            limit = dict(env={"ASAN_OPTIONS": "allocator_may_return_null=1:max_allocation_size_mb=1024"},
                         stderr_note=rb"^==\d+==WARNING: AddressSanitizer failed to allocate 0x[0-9a-f]+ bytes\n$")
        else:
            limit = dict(shell_prefix="ulimit -v 400000")
        rc, out = self.run_kelvor("a.zq", "a.wav", size, source="a.zq", **limit)
        self.assertEqual(rc, (-41) & 0xFF, out)
        self.assertTrue(out.endswith(b"error-41 : memory allocate faild(write_wav_body)\n"))
        self.assertEqual(self.read("a.wav"), zq.wav_header(12))


class LargeBuffer(Case):
    """A copy buffer far larger than the output costs only what is written:
    malloc's untouched pages are neither time nor memory."""

    PEAK = """import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)"""

    def setUp(self):
        # Resident memory is the process's own only in a native, uninstrumented build.
        if ARGS.runner or ARGS.sanitized or not sys.platform.startswith("linux"):
            self.skipTest("measures a native Linux process")
        super().setUp()

    def peak_kib(self, *args):
        """The peak resident memory of one kelvor run, in KiB, from a process
        of its own so that no earlier child counts."""
        p = subprocess.run([sys.executable, "-c", self.PEAK, ARGS.kelvor] + list(args), cwd=self.dir,
                           stdout=subprocess.PIPE, check=True, timeout=120)
        return int(p.stdout)

    def test_a_gigabyte_buffer_stays_untouched_beyond_the_output(self):
        shutil.copy(ARGS.example, self.path("example.zq"))
        data = self.read("example.zq")[44:44 + 264600]
        for count in (2, 3):
            peak = self.peak_kib("example.zq", "big.wav", "-b1000000000", "-l%d" % count)
            self.assertLess(peak, 64 * 1024, "peak resident memory %d KiB at -l%d" % (peak, count))
            expected = zq.unrolled(data, 88200, count)
            self.assertEqual(self.read("big.wav"), zq.wav_header(len(expected)) + expected)


class RealReader(Case):
    def test_example_decodes_as_the_loop_heard_twice(self):
        shutil.copy(ARGS.example, self.path("example.zq"))
        rc, out = self.run_kelvor("example.zq", source="example.zq")
        self.assertEqual(rc, 0, out)
        src = self.read("example.zq")
        data = src[44:44 + 264600]
        loop_start = 88200
        with wave.open(self.path("example.wav"), "rb") as w:
            self.assertEqual((w.getnchannels(), w.getframerate(), w.getsampwidth()), (2, 44100, 2))
            self.assertEqual(w.getnframes(), (264600 + 264600 - loop_start) // 4)
            self.assertEqual(w.readframes(w.getnframes()), zq.unrolled(data, loop_start, 2))
        if shutil.which("sox"):
            p = subprocess.run(["soxi", "-D", self.path("example.wav")], stdout=subprocess.PIPE,
                               check=True)
            self.assertAlmostEqual(float(p.stdout), 2.5, places=3)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--kelvor", required=True)
    parser.add_argument("--example", required=True)
    parser.add_argument("--runner", default="", help="command that runs the program, e.g. wine")
    parser.add_argument("--sanitized", action="store_true", help="the program is built with ASan")
    ARGS, rest = parser.parse_known_args()
    ARGS.kelvor = os.path.abspath(ARGS.kelvor)
    ARGS.windows = ARGS.kelvor.lower().endswith(".exe")
    ARGS.node = ARGS.kelvor.lower().endswith(".js")
    ARGS.example = os.path.abspath(ARGS.example)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=1)


if __name__ == "__main__":
    main()
