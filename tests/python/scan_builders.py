"""Byte-by-byte builders of FSDB, WLF, SHM and VPD files for the scanner tests.

No real files of these formats are at hand, so each builder assembles exactly
the structures the scanners look for: magics, header words, section tables,
zlib streams, name areas, value pages, design records, transition records and
FSDB value blocks.
"""

import struct
import zlib

from fst_writer import leb as leb128

FSDB_LEGACY_MAGIC = bytes.fromhex("FDE099C1")
FSDB_MODERN_MAGIC = bytes.fromhex("1C3ED948")
SHM_MAGIC = bytes.fromhex("A195 11BF")
VPD_MAGIC = struct.pack("<I", 0x12345678)
WLF_PAGE = 8192


def le32(value):
    return struct.pack("<I", value)


def be16(value):
    return struct.pack(">H", value)


def be32(value):
    return struct.pack(">I", value)


def cstrings(*texts):
    """Each text followed by a zero byte."""
    return b"".join((t.encode() if isinstance(t, str) else t) + b"\0" for t in texts)


# ---- FSDB -------------------------------------------------------------------

HEADER_MARK = bytes.fromhex("384300040008")
VALUE_REGION_MARK = bytes.fromhex("440063000308")
END_MARK = bytes.fromhex("C1210000")


def fsdb_legacy(names, before=b""):
    """Legacy layout: the magic, `before` somewhere in the first 272 bytes,
    then the names as zero-terminated texts."""
    head = bytearray(272)
    head[4:8] = FSDB_LEGACY_MAGIC
    head[16 : 16 + len(before)] = before
    return bytes(head) + cstrings(*names)


def value_block(header=(), region=b"", values=None, fallback_header=False):
    """An (uncompressed) FSDB value block: LEB128 header numbers, the header
    mark, the dictionary region, and, when `values` is given, the value-region
    mark and the value region. With `fallback_header` the header mark is left
    out and six filler bytes stand in its place (the C1 21 00 00 mark must
    then occur in the block)."""
    head = b"".join(leb128(v) for v in header)
    mark = b"\x11" * 6 if fallback_header else HEADER_MARK
    block = head + mark + region
    if values is not None:
        block += VALUE_REGION_MARK + values
    return block


def fsdb_modern(streams=(), table=None, width_table=None, tail=b"", word40=0, pad_to=0):
    """Modern layout. `streams`: raw byte strings, each stored as a zlib stream
    after a 512-byte header. `table`: indices into `streams` that the section
    table lists (None: no section table), or (offset, size) pairs given
    directly. `width_table`: raw width-table bytes, stored compressed at H.
    `tail` is appended last (after padding to `pad_to` bytes)."""
    body = bytearray(512)
    body[4:8] = FSDB_MODERN_MAGIC
    body[40:44] = le32(word40)
    offsets = []
    for raw in streams:
        offsets.append((len(body), None))
        packed = zlib.compress(raw)
        offsets[-1] = (len(body), len(packed))
        body += packed + b"\0" * 3
    if width_table is not None:
        packed = zlib.compress(width_table)
        body[272:276] = le32(len(body))
        body += le32(len(packed)) + packed + b"\0" * 3
    if table is not None:
        entries = [offsets[i] if isinstance(i, int) else i for i in table]
        body[264:268] = le32(len(body))
        body += bytes(22) + struct.pack("<H", len(entries))
        for offset, size in entries:
            body += le32(offset) + b"\0\0\0\0" + le32(size)
    if len(body) < pad_to:
        body += bytes(pad_to - len(body))
    return bytes(body) + tail


def name_stream(*names):
    """A name section: zero-terminated names (3 to 10 of them at least 3
    bytes long make a plain section, 11 or more a rich one)."""
    return cstrings(*names)


# ---- WLF --------------------------------------------------------------------


def wlf_file(names=(), expected=0, area_end=None, lpstrings=(b"a", b"b", b"c"), pages=()):
    """Page 0: the name-area end at 2, the expected signal count at 24, three
    length-prefixed strings from 40, then the names. `pages`: further 8192-byte
    pages (padded with zeros)."""
    page = bytearray(WLF_PAGE)
    at = 40
    for s in lpstrings:
        page[at] = len(s)
        page[at + 1 : at + 1 + len(s)] = s
        at += 1 + len(s)
    area = cstrings(*names)
    page[at : at + len(area)] = area
    end = at + len(area) if area_end is None else area_end
    page[2:4] = be16(min(end, 0xFFFF))
    page[24:26] = be16(expected)
    out = bytes(page)
    for p in pages:
        out += p + bytes(WLF_PAGE - len(p))
    return out


def wlf_value_page(records, length=None, filler=True):
    """A value page: FF FF, the record-area length, records from offset 16.
    `filler` puts 16 non-zero bytes at the end of the page so that it counts
    as a value page whatever the records hold."""
    page = bytearray(WLF_PAGE)
    page[0:2] = b"\xff\xff"
    page[2:4] = be16(len(records) if length is None else length)
    page[16 : 16 + len(records)] = records
    if filler:
        page[WLF_PAGE - 16 :] = b"\x01" * 16
    return bytes(page)


# ---- SHM --------------------------------------------------------------------

TAGS = {
    "SCOPE_DEF": 0x00070501,
    "SCOPE_INST": 0x00070601,
    "SIGNAL": 0x00090700,
    "SOURCE_FILE": 0x000F0400,
    "META_V1": 0x00010102,
}


def shm_record(tag, payload=b"", end=None, link=0):
    """(tag, payload, end, link): a design record is its tag, end and link
    words (big-endian) followed by the payload. `end` None means "the record's
    own end", filled in by shm_design."""
    return (tag, payload, end, link)


def shm_design(records=(), magic=SHM_MAGIC, size=None):
    """A design file: magic, header up to 128 bytes, then the records."""
    out = bytearray(128)
    out[0:4] = magic
    for tag, payload, end, link in records:
        start = len(out)
        code = TAGS[tag] if isinstance(tag, str) else tag
        length = 12 + len(payload)
        out += be32(code) + be32(start + length if end is None else end) + be32(link) + payload
    out += bytes(16)  # trailing zero words end the walk
    if size is not None:
        out = out[:size] + bytes(max(0, size - len(out)))
    return bytes(out)


def shm_value_header(t, cnt, a, b, c):
    header = bytearray(64)
    header[0:4] = b"\x00\x1b\x22\x00"
    header[28:32] = be32(t)
    header[40:44] = be32(cnt)
    header[48:52] = be32(a)
    header[52:56] = be32(b)
    header[56:60] = be32(c)
    return bytes(header)


def shm_transitions(records, unit_word=0):
    """A transition file. `records`: (t, cnt, data, tail) tuples; each becomes
    a 64-byte header followed by its data and tail bytes, with b, c and a
    pointing at them."""
    out = bytearray(32)
    out[0:4] = SHM_MAGIC
    out[8:12] = be32(unit_word)
    for t, cnt, data, tail in records:
        header_at = len(out)
        b = header_at + 64
        c = b + len(data)
        a = c + len(tail)
        out += shm_value_header(t, cnt, a, b, c) + data + tail
    return bytes(out)


# ---- VPD --------------------------------------------------------------------


def vpd_file(sections=(), offsets=None, size=None, magic=VPD_MAGIC):
    """Magic, twenty section offsets at 48, sections from 144 on. `offsets`
    overrides the offsets written (default: where the sections landed)."""
    out = bytearray(144)
    out[0:4] = magic
    landed = []
    for s in sections:
        landed.append(len(out))
        out += s
    words = landed if offsets is None else offsets
    for i, w in enumerate(words[:20]):
        out[48 + 4 * i : 52 + 4 * i] = le32(w)
    if size is not None:
        out = out[:size] + bytes(max(0, size - len(out)))
    return bytes(out)


# ---- Loading and summarising --------------------------------------------------


def write(tmp_path, data, name="dump.bin"):
    path = tmp_path / name
    path.write_bytes(data)
    return str(path)


def times(trace):
    return [trace.timestamp(i) for i in range(trace.max_index() + 1)]


def values(trace, name):
    return trace.signal_values_range(name, 0, trace.max_index() + 1)


def table(trace):
    """Every signal's values over every index, by name."""
    return {name: values(trace, name) for name in trace.signal_names()}
