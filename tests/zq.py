"""Builds ".zq" containers for the end-to-end tests: tags and little-endian fields."""
import struct


def trk(mark=1, data_offset=36, units=2, rate=44100, channels=2, frame_bits=16,
        sample_bits=16):
    """A cTRK tag and its eleven fields (the sample data follows separately)."""
    return (b"cTRK" + struct.pack("<5I", mark, 0, data_offset, units, rate)
            + struct.pack("<6H", 0, channels, frame_bits, 0, sample_bits, 0))


def slp(mark=1, start_units=1):
    """A cSLP tag and its five fields."""
    return b"cSLP" + struct.pack("<5I", mark, 0, start_units, 0, 0)


def header(total):
    return b"fZQ " + struct.pack("<I", total)


def container(data, loop_units=None, channels=2, bits=16, rate=44100, loop_mark=1):
    """A well-formed container: header, cTRK with `data`, then cSLP if a loop is given."""
    body = trk(units=len(data) // 4, rate=rate, channels=channels, frame_bits=bits,
               sample_bits=bits) + data
    if loop_units is not None:
        body += slp(mark=loop_mark, start_units=loop_units)
    return header(8 + len(body)) + body


def small():
    """The 76-byte container: 8 data bytes (values 44..51) at 44, loop start 1 unit."""
    return container(bytes(range(44, 52)), loop_units=1)


def wav_header(data_len, channels=2, rate=44100, bits=16, short=False):
    """The header the converter must write for an output of `data_len` data bytes."""
    align = channels * bits // 8
    if short:
        return (b"RIFF" + struct.pack("<I", data_len + 32) + b"WAVEfmt "
                + struct.pack("<IHHII", 12, 1, channels, rate, align * rate)
                + b"data" + struct.pack("<I", data_len))
    return (b"RIFF" + struct.pack("<I", data_len + 36) + b"WAVEfmt "
            + struct.pack("<IHHIIHH", 16, 1, channels, rate, align * rate, align, bits)
            + b"data" + struct.pack("<I", data_len))


def unrolled(data, loop_start, loop_count):
    return data + data[loop_start:] * (loop_count - 1)
