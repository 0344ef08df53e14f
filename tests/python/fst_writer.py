"""A small FST writer for the tests: builds every block kind the reader
decodes, from the format's description, with simple codecs (LZ4 and FastLZ
blocks made of literal runs only). Each block function returns the block's
bytes, so tests can assemble, reorder or damage files as they need.
"""

import gzip
import struct
import zlib

E = 2.718281828459045

# ---- primitives -------------------------------------------------------------


def u64(value):
    return struct.pack(">Q", value & 0xFFFFFFFFFFFFFFFF)


def leb(value):
    """Unsigned LEB128."""
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        if value:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def sleb(value):
    """Signed LEB128."""
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        done = (value == 0 and not byte & 0x40) or (value == -1 and byte & 0x40)
        out.append(byte if done else byte | 0x80)
        if done:
            return bytes(out)


def cstr(text):
    return (text.encode() if isinstance(text, str) else text) + b"\0"


def lz4_literals(data):
    """One LZ4 block holding `data` as a single literal run."""
    n = len(data)
    out = bytearray([min(n, 15) << 4])
    if n >= 15:
        rest = n - 15
        while rest >= 255:
            out.append(255)
            rest -= 255
        out.append(rest)
    return bytes(out) + data


def fastlz_literals(data):
    """A level-1 FastLZ block of literal runs of at most 32 bytes."""
    out = bytearray()
    for i in range(0, len(data), 32):
        run = data[i:i + 32]
        out.append(len(run) - 1)
        out += run
    return bytes(out)


def real_bytes(value, big_endian=False):
    return struct.pack(">d" if big_endian else "<d", value)


# ---- blocks -----------------------------------------------------------------


def header_block(start=0, end=0, max_handle=0, vc_count=1, scope_count=0, var_count=0, timescale=-9,
                 version="trelm tests", date="today", file_type=0, big_endian_reals=False,
                 section_length=329, endian_test=None):
    body = u64(start) + u64(end)
    body += endian_test if endian_test is not None else real_bytes(E, big_endian_reals)
    body += u64(0) + u64(scope_count) + u64(var_count) + u64(max_handle) + u64(vc_count)
    body += struct.pack(">b", timescale)
    body += version.encode().ljust(128, b"\0")[:128] if isinstance(version, str) else version
    body += date.encode().ljust(119, b"\0")[:119]
    body += bytes([file_type]) + u64(0)
    return b"\x00" + u64(section_length) + body


def geometry_block(lengths, compress=True, count=None):
    """lengths: bits per handle; 0 for a real, 0xFFFFFFFF for variable length."""
    payload = b"".join(leb(n) for n in lengths)
    packed = zlib.compress(payload) if compress else payload
    if len(packed) >= len(payload):
        packed = payload
    count = len(lengths) if count is None else count
    return b"\x03" + u64(24 + len(packed)) + u64(len(payload)) + u64(count) + packed


def blackout_block(entries, extra=b""):
    """entries: (time, active) pairs in ascending time."""
    body = leb(len(entries))
    previous = 0
    for time, active in entries:
        body += bytes([1 if active else 0]) + leb(time - previous)
        previous = time
    body += extra
    return b"\x02" + u64(8 + len(body)) + body


def skip_block(payload=b"", length=None):
    return b"\xff" + u64(8 + len(payload) if length is None else length) + payload


# hierarchy entries

def scope(name, scope_type=0, component=""):
    return b"\xfe" + bytes([scope_type]) + cstr(name) + cstr(component)


def upscope():
    return b"\xff"


def var(name, length, var_type=16, direction=0, alias=0):
    return bytes([var_type, direction]) + cstr(name) + leb(length) + leb(alias)


def attr_misc(subtype, text="", value=0):
    return b"\xfc\x00" + bytes([subtype]) + cstr(text) + leb(value)


def attr_source(instance, path_id, line, separator=0):
    return b"\xfc\x00" + bytes([5 if instance else 4]) + leb(path_id) + bytes([separator]) + leb(line)


def attr_begin(attr_type, subtype):
    return b"\xfc" + bytes([attr_type, subtype])


def attr_end():
    return b"\xfd"


def hierarchy_block(entries, kind=6, uncompressed=None):
    """kind 4: gzip member, 6: LZ4, 7: LZ4 applied twice."""
    stream = b"".join(entries)
    size = len(stream) if uncompressed is None else uncompressed
    if kind == 4:
        member = gzip.compress(stream, mtime=0)
        body = u64(size) + member
    elif kind == 6:
        body = u64(size) + lz4_literals(stream)
    elif kind == 7:
        once = lz4_literals(stream)
        body = u64(size) + leb(len(once)) + lz4_literals(once)
    else:
        raise ValueError(kind)
    return bytes([kind]) + u64(8 + len(body)) + body


# value-change blocks

def encode_entry(width, delta, value, big_endian=False):
    """One change entry. width: bits, 0 for a real, None for variable length."""
    if width is None:
        data = value.encode() if isinstance(value, str) else value
        return leb(delta << 1) + leb(len(data)) + data
    if width == 0:
        return leb((delta << 1) | 1) + real_bytes(value, big_endian)
    if width == 1:
        if value in "01":
            return leb((delta << 2) | (int(value) << 1))
        return leb((delta << 4) | ("xzhuwl-?".index(value) << 1) | 1)
    assert len(value) == width
    if set(value) <= set("01"):
        bits = int(value, 2) << ((-width) % 8)
        return leb(delta << 1) + bits.to_bytes((width + 7) // 8, "big")
    return leb((delta << 1) | 1) + value.encode()


def pack_chunk(data, pack):
    """pack: '4' LZ4, 'F' FastLZ, 'Z' zlib, None stored as is."""
    if pack is None:
        return leb(0) + data
    if pack == "4":
        return leb(len(data)) + lz4_literals(data)
    if pack == "F":
        return leb(len(data)) + fastlz_literals(data)
    return leb(len(data)) + zlib.compress(data)


def position_table(locs, kind):
    """locs: per signal None, ('data', offset) or ('alias', index)."""
    out = bytearray()
    previous = None
    pending_empty = 0
    remembered = None

    def flush():
        nonlocal pending_empty
        if pending_empty:
            out.extend(leb(pending_empty * 2))
            pending_empty = 0

    for loc in locs:
        if loc is None:
            pending_empty += 1
            continue
        flush()
        if loc[0] == "data":
            delta = loc[1] - (previous or 0)
            previous = loc[1]
            out.extend(leb(delta * 2 + 1) if kind != 8 else sleb(delta * 2 + 1))
        elif kind != 8:
            out.extend(leb(0) + leb(loc[1] + 1))
        elif loc[1] == remembered:
            out.extend(sleb(1))
        else:
            remembered = loc[1]
            out.extend(sleb(-2 * (loc[1] + 1) + 1))
    flush()
    return bytes(out)


def vc_block(lengths, times, changes, frame=None, start=None, end=None, kind=8, pack="4", aliases=None,
             big_endian=False, compress_frame=True, compress_times=True, wave_count=None, frame_count=None,
             raw_chunks=None, frame_size=None):
    """lengths: the geometry; times: the block's time table; changes: {signal
    index: [(time index, value), ...]} in ascending time index; frame: a value
    per signal (None for variable length), or None for an all-x frame;
    aliases: {signal index: index whose chunk it shares}; raw_chunks: {signal
    index: whole chunk bytes} in place of encoded changes; frame_size: the
    frame's stated uncompressed length."""
    start = times[0] if start is None else start
    end = times[-1] if end is None else end
    frame_data = bytearray()
    for i, width in enumerate(lengths):
        value = frame[i] if frame else None
        if width == 0:
            frame_data += real_bytes(value if value is not None else 0.0, big_endian)
        elif width is not None and width != 0xFFFFFFFF:
            frame_data += (value if value is not None else "x" * width).encode()
    frame_data = bytes(frame_data)
    frame_packed = zlib.compress(frame_data) if compress_frame else frame_data
    if len(frame_packed) >= len(frame_data):
        frame_packed = frame_data
    body = u64(start) + u64(end) + u64(0)
    body += leb(len(frame_data) if frame_size is None else frame_size) + leb(len(frame_packed))
    body += leb(len(lengths) if frame_count is None else frame_count) + frame_packed
    body += leb(len(lengths) if wave_count is None else wave_count)
    pack_byte = {"4": b"4", "F": b"F", "Z": b"Z", None: b"4"}[pack]
    waves = bytearray(pack_byte)
    locs = [None] * len(lengths)
    raw_chunks = raw_chunks or {}
    for index in sorted(set(changes) | set(raw_chunks)):
        if index in raw_chunks:
            locs[index] = ("data", len(waves))
            waves += raw_chunks[index]
            continue
        width = lengths[index]
        width = None if width == 0xFFFFFFFF else width
        data = b""
        previous = 0
        for time_index, value in changes[index]:
            data += encode_entry(width, time_index - previous, value, big_endian)
            previous = time_index
        locs[index] = ("data", len(waves))
        waves += pack_chunk(data, pack)
    for index, target in (aliases or {}).items():
        locs[index] = ("alias", target)
    table = position_table(locs, kind)
    body += bytes(waves) + table + u64(len(table))
    deltas = b""
    previous = 0
    for t in times:
        deltas += leb(t - previous)
        previous = t
    packed = zlib.compress(deltas) if compress_times else deltas
    if len(packed) == len(deltas):
        packed = deltas
    body += packed + u64(len(deltas)) + u64(len(packed)) + u64(len(times))
    return bytes([kind]) + u64(8 + len(body)) + body


def wrap_gzip(fst_bytes, section_length=None, uncompressed=None):
    member = gzip.compress(fst_bytes, mtime=0)
    length = 16 + len(member) if section_length is None else section_length
    size = len(fst_bytes) if uncompressed is None else uncompressed
    return b"\xfe" + u64(length) + u64(size) + member


def simple_file(lengths, hierarchy, blocks, header=None, hierarchy_kind=6, extra=b""):
    """Header, value-change blocks, geometry and hierarchy in the order
    vcd2fst writes them."""
    header = header if header is not None else header_block(max_handle=len(lengths), vc_count=len(blocks))
    return header + b"".join(blocks) + geometry_block(lengths) + hierarchy_block(hierarchy, hierarchy_kind) + extra
