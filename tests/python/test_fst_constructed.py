"""FST files built by tests/python/fst_writer.py: every block, hierarchy and
pack kind the reader decodes, and the refusals of broken files."""

import pytest

import fst_writer as w
import trelm

# Geometry of the basic design, by handle - 1.
LENGTHS = [1, 8, 0, 0xFFFFFFFF, 4]
HIERARCHY = [
    w.scope("top"),
    w.var("clk", 1),
    w.var("data", 8),
    w.var("temp", 64, var_type=3),
    w.var("msg", 0, var_type=21),
    w.var("nib", 4),
    w.scope("sub"),
    w.var("clk_alias", 1, alias=1),
    w.upscope(),
    w.upscope(),
]
TIMES = [5, 10, 20, 30]
FRAME = ["0", "00000101", 2.5, None, "x1z0"]
CHANGES = {
    0: [(0, "1"), (1, "0"), (2, "1"), (3, "z")],
    1: [(1, "00001111"), (3, "1x0z01zz")],
    2: [(2, -1.5)],
    3: [(0, "abc"), (2, "")],
    4: [(1, "0101")],
}
# Time stamps: the block starts at 0, before its first table time, so 0 leads.
EXPECTED = {
    "top.clk": [0, 1, 0, 1, None],
    "top.data": [5, 5, 15, 15, None],
    "top.temp": [2.5, 2.5, 2.5, -1.5, -1.5],
    # An explicitly written empty value is Unknown, which the carry then fills.
    "top.msg": [None, "abc", "abc", "abc", "abc"],
    "top.nib": [None, None, 5, 5, 5],
    "top.sub.clk_alias": [0, 1, 0, 1, None],
}


def load(tmp_path, data, name="t.fst"):
    path = tmp_path / name
    path.write_bytes(data)
    return trelm.PyTrace.from_fst(str(path))


def load_error(tmp_path, data):
    with pytest.raises(ValueError) as info:
        load(tmp_path, data)
    return str(info.value)


def basic_file(kind=8, pack="4", hierarchy_kind=6, big_endian=False, wrap=False, aliases=None):
    header = w.header_block(max_handle=len(LENGTHS), big_endian_reals=big_endian)
    block = w.vc_block(LENGTHS, TIMES, CHANGES, frame=FRAME, start=0, kind=kind, pack=pack, big_endian=big_endian,
                       aliases=aliases)
    data = w.simple_file(LENGTHS, HIERARCHY, [block], header=header, hierarchy_kind=hierarchy_kind)
    return w.wrap_gzip(data) if wrap else data


def values(trace, name):
    return trace.signal_values_range(name, 0, trace.max_index() + 1)


@pytest.mark.parametrize("kind", [1, 5, 8])
@pytest.mark.parametrize("pack", ["4", "F", "Z", None])
@pytest.mark.parametrize("hierarchy_kind", [4, 6, 7])
def test_block_pack_and_hierarchy_kinds(tmp_path, kind, pack, hierarchy_kind):
    trace = load(tmp_path, basic_file(kind, pack, hierarchy_kind))
    assert [trace.timestamp(i) for i in range(trace.max_index() + 1)] == [0, 5, 10, 20, 30]
    assert trace.signal_names() == list(EXPECTED)
    assert trace.scopes() == ["top", "top.sub"]
    for name, expected in EXPECTED.items():
        assert values(trace, name) == expected, name
    assert trace.signal_id("top.clk") == trace.signal_id("top.sub.clk_alias")
    assert trace.signal_width("top.data") == 8
    assert trace.signal_width("top.temp") == 64


@pytest.mark.parametrize("variant", ["wrapped", "big_endian_reals"])
def test_wrapper_and_real_byte_order(tmp_path, variant):
    data = basic_file(wrap=True) if variant == "wrapped" else basic_file(big_endian=True)
    trace = load(tmp_path, data)
    for name, expected in EXPECTED.items():
        assert values(trace, name) == expected, name


@pytest.mark.parametrize("kind", [1, 5, 8])
def test_position_table_aliases(tmp_path, kind):
    lengths = [4, 4, 4, 4]
    hierarchy = [w.scope("t")] + [w.var(n, 4) for n in "abcd"] + [w.upscope()]
    changes = {0: [(0, "0001"), (1, "0010")], 2: [(1, "1111")]}
    block = w.vc_block(lengths, [0, 1], changes, kind=kind, aliases={1: 0, 3: 0})
    trace = load(tmp_path, w.simple_file(lengths, hierarchy, [block]))
    assert values(trace, "t.a") == [1, 2]
    assert values(trace, "t.b") == [1, 2]
    assert values(trace, "t.c") == [None, 15]
    assert values(trace, "t.d") == [1, 2]


def test_blocks_follow_each_other(tmp_path):
    lengths = [1, 3]
    hierarchy = [w.var("a", 1), w.var("b", 3)]
    first = w.vc_block(lengths, [0, 10], {0: [(0, "1"), (1, "0")], 1: [(0, "101")]}, frame=["0", "000"])
    # The second block's frame is never delivered: its "111" must not show.
    second = w.vc_block(lengths, [20, 30], {0: [(1, "1")]}, frame=["0", "111"], start=15, kind=5, pack="F")
    trace = load(tmp_path, w.simple_file(lengths, hierarchy, [first, second]))
    assert [trace.timestamp(i) for i in range(4)] == [0, 10, 20, 30]
    assert values(trace, "a") == [1, 0, 0, 1]
    assert values(trace, "b") == [5, 5, 5, 5]


def repeated_times_file():
    """Three blocks whose times repeat where blocks meet (as vcd2fst writes
    them), inside a block, and across a whole block: a change lands at the
    last index of its time, and a later change there replaces it."""
    lengths = [1, 4, 0xFFFFFFFF, 0]
    hierarchy = [w.scope("t"), w.var("a", 1), w.var("b", 4), w.var("m", 0, var_type=21),
                 w.var("r", 64, var_type=3), w.upscope()]
    first = w.vc_block(lengths, [5, 10, 10, 20], {
        0: [(0, "1"), (1, "0"), (3, "1")],
        1: [(1, "0011"), (2, "0101")],
        2: [(0, "a"), (3, "hi")],
        3: [(0, 1.5)],
    }, frame=["0", "0000", None, 0.25], start=0)
    second = w.vc_block(lengths, [20, 30, 40, 40], {
        0: [(0, "0"), (2, "1")],
        1: [(3, "1x01")],
        2: [(0, ""), (1, "yo")],
        3: [(2, 2.5)],
    }, kind=5, pack="Z")
    third = w.vc_block(lengths, [40, 50], {0: [(0, "0"), (1, "1")], 3: [(1, -1.0)]}, pack="F")
    return w.simple_file(lengths, hierarchy, [first, second, third])


def test_times_repeated_across_blocks(tmp_path):
    trace = load(tmp_path, repeated_times_file())
    assert [trace.timestamp(i) for i in range(trace.max_index() + 1)] == [0, 5, 10, 10, 20, 20, 30, 40, 40, 40, 50]
    assert values(trace, "t.a") == [0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1]
    assert values(trace, "t.b") == [0, 0, 0, 5, 5, 5, 5, 5, 5, None, None]
    # The empty value at time 20 replaces "hi" and reads as the value before.
    assert values(trace, "t.m") == [None, "a", "a", "a", "a", "a", "yo", "yo", "yo", "yo", "yo"]
    assert values(trace, "t.r") == [0.25, 1.5, 1.5, 1.5, 1.5, 1.5, 1.5, 1.5, 1.5, 2.5, -1.0]


def test_blackouts_skip_blocks_and_attributes(tmp_path):
    lengths = [2]
    hierarchy = [
        w.attr_misc(0, "a comment"),
        w.attr_misc(3, "/src/top.v", 1),
        w.attr_source(False, 1, 12),
        w.attr_source(True, 1, 40),
        w.attr_misc(2, "std_logic", 0x0C04),
        w.attr_misc(7, "colors 2 RED GREEN 0 1", 1),
        w.attr_end(),
        w.scope("top", scope_type=252, component="comp"),
        w.attr_misc(7, "", 1),
        w.var("p", 26, var_type=18),
        w.upscope(),
        w.scope("top"),
        w.var("p", 2),
        w.upscope(),
    ]
    block = w.vc_block(lengths, [0, 7], {0: [(0, "10"), (1, "01")]})
    data = (w.header_block(max_handle=1) + w.blackout_block([(0, True), (5, False), (9, True)]) +
            w.skip_block(b"ignored") + block + w.geometry_block(lengths) + w.hierarchy_block(hierarchy, 4))
    trace = load(tmp_path, data + w.skip_block(length=0) + b"\x09 anything after an empty skip block")
    assert trace.signal_names() == ["top.p"]  # the repeated name is dropped
    assert trace.scopes() == ["top"]
    assert trace.signal_width("top.p") == 8  # a port's (26 - 2) / 3
    assert values(trace, "top.p") == [2, 1]


def test_names_outside_scopes_and_repeated_names(tmp_path):
    lengths = [1, 1, 1]
    hierarchy = [w.var("lone", 1), w.scope(""), w.var("x", 1), w.var("x", 1), w.upscope()]
    block = w.vc_block(lengths, [0], {0: [(0, "1")], 2: [(0, "0")]})
    trace = load(tmp_path, w.simple_file(lengths, hierarchy, [block]))
    assert trace.signal_names() == ["lone", ".x"]
    assert trace.signal_value(".x", 0) is None  # handle 3's changes went with its dropped name
    assert trace.signal_value("lone", 0) == 1


def test_header_times_and_empty_file(tmp_path):
    lengths = [1]
    data = w.header_block(max_handle=1, vc_count=0) + w.geometry_block(lengths) + w.hierarchy_block([w.var("a", 1)])
    trace = load(tmp_path, data)
    assert trace.max_index() == 0 and trace.timestamp(0) == 0
    assert trace.signal_value("a", 0) is None


# ---- refusals -----------------------------------------------------------------

HEADER = w.header_block(max_handle=1)
GEOMETRY = w.geometry_block([1])
HIER = w.hierarchy_block([w.var("a", 1)])
BLOCK = w.vc_block([1], [0, 1], {0: [(0, "1")]})


def file_with_hierarchy(entries, kind=6):
    return HEADER + BLOCK + GEOMETRY + w.hierarchy_block(entries, kind)


def file_with_block(block, lengths=(1,)):
    return w.header_block(max_handle=len(lengths)) + block + w.geometry_block(list(lengths)) + HIER


OPEN_ERRORS = [
    (w.wrap_gzip(HEADER, section_length=0), "The FST file is still being compressed into its final GZIP wrapper."),
    (HEADER + BLOCK + HIER, "The FST file is incomplete: geometry block is missing."),
    (HEADER + BLOCK + GEOMETRY, "The FST file is incomplete: hierarchy block is missing."),
    (BLOCK + HIER, "The FST file is incomplete: geometry block is missing."),
    (b"\x09", "Unexpected block type"),
    (HEADER + b"\x09" + w.u64(8), "Unexpected block type"),
    (w.header_block(file_type=3) + GEOMETRY + HIER, "Unexpected file type"),
    ((HEADER + GEOMETRY + HIER)[:len(HEADER + GEOMETRY) + 5], "I/O operation failed"),  # a cut section length
    (b"", "I/O operation failed"),
    (b"\xfe" + w.u64(100) + w.u64(10) + b"\x1f\x8c\x08\x00" + bytes(6),
     "failed to parse a gzip header: expected magic bytes (0x1f, 0x8b) got (31, 140)"),
    (b"\xfe" + w.u64(100) + w.u64(10) + b"\x1f\x8b\x07\x00" + bytes(6),
     "failed to parse a gzip header: expected deflate compression (8) got 7"),
    (b"\xfe" + w.u64(100) + w.u64(10) + b"\x1f\x8b\x08\x04" + bytes(6),
     "failed to parse a gzip header: TODO currently extra flags are not supported 4"),
    (w.wrap_gzip(HEADER + GEOMETRY + HIER)[:60], "failed to decompress gzip stream: unexpected end of input"),
    (b"\xfe" + w.u64(100) + w.u64(10) + b"\x1f\x8b\x08\x00" + bytes(6) + b"\xff\xff\xff",
     "failed to decompress gzip stream: data error"),
    (HEADER + b"\x03" + w.u64(24 + 4) + w.u64(9) + w.u64(1) + b"junk" + HIER, "failed to decompress with zlib"),
    # Refusals of data this reader does not accept.
    (w.header_block(section_length=300) + GEOMETRY + HIER, "malformed FST data: header section length 300"),
    (w.header_block(endian_test=bytes(8)) + GEOMETRY + HIER, "malformed FST data: header byte-order test"),
    (HEADER + GEOMETRY + HIER + w.wrap_gzip(b""), "malformed FST data: a compressed wrapper block"),
    (HEADER + GEOMETRY + HIER + HIER, "malformed FST data: a second hierarchy block"),
    (GEOMETRY + HIER, "malformed FST data: the header block is missing"),
    (HEADER + w.blackout_block([(1, True)], extra=b"\0") + GEOMETRY + HIER,
     "malformed FST data: blackout entries do not end"),
    (HEADER + w.vc_block([1], [], {}, start=0, end=0) + GEOMETRY + HIER, "malformed FST data: the first value-change block has an"),
    (HEADER + b"\x03" + w.u64(24 + 2) + w.u64(2) + w.u64(3) + b"\x01\x01" + HIER, "malformed FST data: geometry claims"),
]


@pytest.mark.parametrize("data,message", OPEN_ERRORS)
def test_open_errors(tmp_path, data, message):
    assert load_error(tmp_path, data).startswith("FST open: " + message)


# Hierarchy and skip blocks are passed over by their section length, also past
# the end of the file, which ends the scan; what such a block lacks is found by
# the step that reads it.
PASSED_OVER = [
    ((HEADER + GEOMETRY + HIER)[:-3], "FST hierarchy: I/O operation failed"),
    ((HEADER + GEOMETRY + HIER)[:len(HEADER + GEOMETRY) + 9], "FST hierarchy: I/O operation failed"),
    (HIER[:1] + w.u64(len(HIER + HEADER + BLOCK + GEOMETRY) + 100) + HIER[9:] + HEADER + BLOCK + GEOMETRY,
     "FST open: The FST file is incomplete: geometry block is missing."),
]


@pytest.mark.parametrize("data,message", PASSED_OVER)
def test_blocks_past_the_end_are_refused_where_they_are_read(tmp_path, data, message):
    assert load_error(tmp_path, data) == message


def test_skip_block_past_the_end_ends_the_scan(tmp_path):
    data = basic_file()
    plain, padded = load(tmp_path, data), load(tmp_path, data + b"\xff" + w.u64(100) + bytes(10), "padded.fst")
    assert padded.signal_names() == plain.signal_names()
    assert [padded.timestamp(i) for i in range(6)] == [plain.timestamp(i) for i in range(6)]
    for name in plain.signal_names():
        assert values(padded, name) == values(plain, name), name


HIERARCHY_ERRORS = [
    ([w.var("a", 1, direction=6)], "Unexpected variable direction"),
    ([w.scope("s", scope_type=23)], "Unexpected scope type"),
    ([w.attr_begin(4, 0)], "Unexpected attribute type"),
    ([w.attr_begin(0, 9)], "Unexpected misc attribute type"),
    ([w.attr_misc(2, "t", 6 << 10)], "Unexpected vhdl variable type"),
    ([w.attr_misc(2, "t", 17)], "Unexpected vhdl data type"),
    ([w.attr_misc(7, "colors", 1)], "failed to parse an enum table string: not enough spaces\ncolors"),
    ([w.attr_misc(7, "colors 2 RED GREEN 0", 1)],
     "failed to parse an enum table string: expected 4 parts got 3\ncolors 2 RED GREEN 0"),
    # The word count is computed in 64 bits: 2 * 2**31 does not wrap to 0.
    ([w.attr_misc(7, "big 2147483648 a b", 1)],
     "failed to parse an enum table string: expected 4294967296 parts got 2\nbig 2147483648 a b"),
    ([w.attr_misc(7, "colors two RED 0", 1)], "failed to parse an integer"),
    ([w.attr_misc(7, "colors 4294967296", 1)], "failed to parse an integer"),
    ([bytes([16, 0]) + b"a" * 65536 + b"\0"],
     "failed to read a null terminated string because it exceeds the expected size of 65536 bytes.\n" + "a" * 65536),
    ([bytes([16, 0]) + b"\xff\0" + w.leb(1) + w.leb(0)], "failed to decode string"),
    ([bytes([16, 0]) + b"a\0" + b"\x80" * 5], "failed to read leb128 integer, more than the expected 32 bits"),
    ([w.var("a", 1)[:-1]], "I/O operation failed"),
    ([bytes([30])], "malformed FST data: hierarchy entry tag 30"),
    ([w.attr_begin(1, 0)], "malformed FST data: array, enumeration and packed"),
    ([w.attr_misc(1, "HOME", 0)], "malformed FST data: environment variable"),
    ([w.attr_misc(6, "v", 0)], "malformed FST data: value list"),
    ([w.attr_misc(8, "v", 0)], "malformed FST data: unknown miscellaneous"),
    ([w.attr_source(False, 1, 2, separator=1)], "malformed FST data: source location"),
]


@pytest.mark.parametrize("entries,message", HIERARCHY_ERRORS)
def test_hierarchy_errors(tmp_path, entries, message):
    assert load_error(tmp_path, file_with_hierarchy(entries)).startswith("FST hierarchy: " + message)


def test_hierarchy_decompression_errors(tmp_path):
    entries = [w.var("a", 1)]
    good = w.hierarchy_block(entries, 4)
    bad_magic = good[:17] + b"\x1e" + good[18:]
    assert load_error(tmp_path, HEADER + BLOCK + GEOMETRY + bad_magic).startswith(
        "FST hierarchy: failed to parse a gzip header: expected magic bytes")
    bad_deflate = good[:27] + b"\xff\xff" + good[29:]
    assert load_error(tmp_path, HEADER + BLOCK + GEOMETRY + bad_deflate) == "FST hierarchy: failed to decompress with zlib"
    bad_lz4 = b"\x06" + w.u64(16 + 2) + w.u64(40) + b"\xf0\xff"
    assert load_error(tmp_path, HEADER + BLOCK + GEOMETRY + bad_lz4) == "FST hierarchy: failed to decompress with lz4"
    wrong_size = w.hierarchy_block(entries, 6, uncompressed=len(entries[0]) + 5)
    assert load_error(tmp_path, HEADER + BLOCK + GEOMETRY + wrong_size).startswith("FST hierarchy: malformed FST data")
    # More than the names of a file this size may take, whatever the codecs could make of it.
    for kind in (4, 6, 7):
        huge = w.hierarchy_block(entries, kind, uncompressed=1 << 40)
        assert "hierarchy of 1099511627776 bytes exceeds" in load_error(tmp_path, HEADER + BLOCK + GEOMETRY + huge)


def signal_error(tmp_path, block, lengths=(1,)):
    return load_error(tmp_path, file_with_block(block, lengths))


def test_signal_errors(tmp_path):
    # A chunk whose entry needs more bytes than the chunk holds: the next
    # chunk's bytes are not borrowed.
    cut = w.vc_block([3, 3], [0, 1], {1: [(0, "111")]}, raw_chunks={0: w.leb(0) + w.leb(1) + b"1x"}, pack=None)
    assert signal_error(tmp_path, cut, (3, 3)) == "FST signals: I/O operation failed"

    packed_real = w.vc_block([0], [0], {}, raw_chunks={0: w.leb(0) + b"\x00" + w.real_bytes(1.0)})
    assert signal_error(tmp_path, packed_real, (0,)).startswith("FST signals: malformed FST data: packed real")

    beyond = w.vc_block([1], [0, 1], {0: [(0, "1"), (5, "0")]})
    assert signal_error(tmp_path, beyond).startswith("FST signals: malformed FST data: a change lies beyond")

    alias_to_nothing = w.vc_block([1, 1], [0], {}, aliases={1: 0})
    assert signal_error(tmp_path, alias_to_nothing, (1, 1)).startswith("FST signals: malformed FST data: alias")

    frame_count = w.vc_block([1], [0], {0: [(0, "1")]}, frame_count=2)
    assert signal_error(tmp_path, frame_count).startswith("FST signals: malformed FST data: frame holds 2")

    too_many = w.vc_block([1], [0], {0: [(0, "1")]}, wave_count=5)
    assert signal_error(tmp_path, too_many).startswith("FST signals: malformed FST data: waves of 5")

    bad_lz4 = w.vc_block([1], [0], {}, raw_chunks={0: w.leb(1) + b"\xf0\x01"}, pack="4")
    assert signal_error(tmp_path, bad_lz4) == "FST signals: failed to decompress with lz4"

    bad_zlib = w.vc_block([1], [0], {}, raw_chunks={0: w.leb(1) + b"\xff" * 9}, pack="Z")
    assert signal_error(tmp_path, bad_zlib) == "FST signals: failed to decompress with zlib"


# ---- sizes are claims ----------------------------------------------------------

HUGE = 2 ** 62


def claims():
    """Small files that claim 2**62 bytes (or entries) somewhere."""
    yield b"\xfe" + w.u64(100) + w.u64(HUGE) + w.gzip.compress(b"x" * 50, mtime=0)
    yield HEADER + b"\x03" + w.u64(24 + 4) + w.u64(HUGE) + w.u64(1) + b"abcd" + HIER
    yield HEADER + b"\x03" + w.u64(24 + 1) + w.u64(1) + w.u64(HUGE) + b"\x01" + HIER
    yield HEADER + BLOCK + GEOMETRY + w.hierarchy_block([w.var("a", 1)], 6, uncompressed=HUGE)
    yield HEADER + BLOCK + GEOMETRY + w.hierarchy_block([w.var("a", 1)], 4, uncompressed=HUGE)
    yield HEADER + BLOCK + GEOMETRY + w.hierarchy_block([w.var("a", 1)], 7, uncompressed=HUGE)
    yield HEADER + b"\x02" + w.u64(8 + 5) + w.leb(2 ** 32 - 1) + GEOMETRY + HIER
    yield HEADER + w.skip_block(length=2 ** 64 - 1) + GEOMETRY + HIER
    yield HEADER + w.skip_block(length=5) + GEOMETRY + HIER
    block = bytearray(BLOCK)
    block[-24:-16] = w.u64(HUGE)  # the time table's uncompressed length
    yield HEADER + bytes(block) + GEOMETRY + HIER
    block = bytearray(BLOCK)
    block[-8:] = w.u64(HUGE)  # the time table's entry count
    yield HEADER + bytes(block) + GEOMETRY + HIER
    block = bytearray(BLOCK)
    block[-16:-8] = w.u64(2 ** 64 - 1)  # the compressed length: no underflow
    yield HEADER + bytes(block) + GEOMETRY + HIER
    block = bytearray(BLOCK)
    block[1:9] = w.u64(2 ** 64 - 1)  # the section length
    yield HEADER + bytes(block) + GEOMETRY + HIER


@pytest.mark.parametrize("data", list(claims()))
def test_claimed_sizes_are_refused_quickly(tmp_path, data):
    assert len(data) < 1200
    message = load_error(tmp_path, data)
    assert message.startswith("FST open: ") or message.startswith("FST hierarchy: ")


def test_claimed_sizes_inside_value_change_blocks(tmp_path):
    entry = w.encode_entry(1, 0, "1")
    for pack in ["4", "F", "Z"]:
        chunk = w.pack_chunk(entry, pack)
        block = w.vc_block([1], [0], {}, raw_chunks={0: w.leb(2 ** 32 - 1) + chunk[1:]}, pack=pack)
        message = signal_error(tmp_path, block)
        assert message.startswith("FST signals: malformed FST data: "), message
    # The frame's uncompressed length.
    block = w.vc_block([1], [5], {}, start=0, frame_size=HUGE)
    assert signal_error(tmp_path, block).startswith("FST signals: malformed FST data: ")
    # The position table's length.
    block = bytearray(w.vc_block([1], [0], {0: [(0, "1")]}, compress_times=False))
    table_length_at = len(block) - 1 - 24 - 8  # before the one-byte time table and its three fields
    assert block[table_length_at:table_length_at + 8] == w.u64(1)
    block[table_length_at:table_length_at + 8] = w.u64(2 ** 64 - 1)
    assert signal_error(tmp_path, bytes(block)).startswith("FST signals: malformed FST data: ")


def test_deeply_nested_names_are_capped(tmp_path):
    # 20,000 nested scopes of 200 letters: a few kilobytes of gzip that would
    # ask for tens of gigabytes of full scope paths.
    entries = [w.scope("a" * 200)] * 20000 + [w.var("v", 1)]
    data = HEADER + BLOCK + GEOMETRY + w.hierarchy_block(entries, 4)
    assert len(data) < 100_000
    message = load_error(tmp_path, data)
    assert message.startswith("FST hierarchy: malformed FST data: full names and scope paths exceed")
