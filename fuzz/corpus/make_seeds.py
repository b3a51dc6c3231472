#!/usr/bin/env python3
"""Writes the fuzzers' first seeds from the repository's sound files.

Each harness reads something different: a whole WAVE or AIFF file, the
marker chunk alone, the two Sound Designer II resources, or a resource fork.
This cuts each real file (tests/data/samples/) and example (examples/) down
to what its harness reads, under the fuzzers' 64 KiB input limit: sound
data is shortened to a few hundred bytes, the chunks around it and their
sizes stay as their writer made them.  Run it from the repository's root
when those files change; the cases the fuzzers found worth keeping sit
beside these seeds and are not written here.
"""
import pathlib
import struct

ROOT = pathlib.Path(__file__).resolve().parents[2]
SAMPLES = ROOT / "tests/data/samples"
EXAMPLES = ROOT / "examples"
OUT = ROOT / "fuzz/corpus"
KEPT_SOUND = 256  # bytes of sound data a shortened file keeps


def chunks(data, big_endian):
    """(id, offset of header, size) of each chunk after the 12-byte header."""
    fmt = ">I" if big_endian else "<I"
    at = 12
    while at + 8 <= len(data):
        size = struct.unpack(fmt, data[at + 4:at + 8])[0]
        yield data[at:at + 4], at, size
        at += 8 + size + (size & 1)


def shorten(data, big_endian, sound_id):
    """The file with its sound chunk cut to KEPT_SOUND bytes, sizes mended."""
    fmt = ">I" if big_endian else "<I"
    out = bytearray(data[:12])
    for cid, at, size in chunks(data, big_endian):
        body = data[at + 8:at + 8 + size]
        if cid == sound_id and size > KEPT_SOUND:
            body = body[:KEPT_SOUND]
        out += cid + struct.pack(fmt, len(body)) + body
        if len(body) & 1:
            out += b"\0"
    out[4:8] = struct.pack(fmt, len(out) - 8)
    return bytes(out)


def marker_chunk(data):
    for cid, at, size in chunks(data, True):
        if cid == b"MARK":
            return data[at:at + 8 + size]
    return None


def resources(fork):
    """{(type, id): data} of a resource fork."""
    data_at, map_at = struct.unpack(">II", fork[:8])
    types_at = map_at + struct.unpack(">H", fork[map_at + 24:map_at + 26])[0]
    ntypes = (struct.unpack(">H", fork[types_at:types_at + 2])[0] + 1) & 0xFFFF
    found = {}
    for t in range(ntypes):
        entry = types_at + 2 + 8 * t
        rtype = fork[entry:entry + 4]
        count, refs = struct.unpack(">HH", fork[entry + 4:entry + 8])
        for r in range(count + 1):
            ref = types_at + refs + 12 * r
            rid = struct.unpack(">h", fork[ref:ref + 2])[0]
            offset = struct.unpack(">I", fork[ref + 4:ref + 8])[0] & 0xFFFFFF
            length = struct.unpack(">I", fork[data_at + offset:data_at + offset + 4])[0]
            found[(rtype, rid)] = fork[data_at + offset + 4:data_at + offset + 4 + length]
    return found


def write(harness, name, data):
    assert len(data) < 65536, (harness, name, len(data))
    folder = OUT / harness
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def main():
    waves = sorted(SAMPLES.glob("*.wav")) + [EXAMPLES / "markers.wav"]
    aiffs = sorted(SAMPLES.glob("*.aif")) + [EXAMPLES / "markers.aif"]
    for p in waves:
        write("fuzz_brindle_wave", "seed-" + p.name, shorten(p.read_bytes(), False, b"data"))
    for p in aiffs:
        whole = shorten(p.read_bytes(), True, b"SSND")
        write("fuzz_aiff_info", "seed-" + p.name, whole)
        mark = marker_chunk(whole)
        if mark:
            write("fuzz_brindle_aiff", "seed-" + p.stem + ".mark", mark)
    forks = sorted(SAMPLES.glob("*.rsrc")) + sorted(SAMPLES.glob("libarchive__*"))
    forks.append(EXAMPLES / "markers.sd2.rsrc")
    for p in forks:
        write("fuzz_resource_fork", "seed-" + p.name, p.read_bytes())
    # The Sound Designer II harness: a length byte, the rate text, the marker
    # list.
    sd2 = resources((EXAMPLES / "markers.sd2.rsrc").read_bytes())
    rate, marks = sd2[(b"STR ", 1001)], sd2[(b"sdML", 1000)]
    write("fuzz_brindle_sd2", "seed-markers.sd2", bytes([len(rate)]) + rate + marks)


if __name__ == "__main__":
    main()
