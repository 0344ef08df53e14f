"""The FSDB scanner, fed with files assembled byte by byte."""

import struct
import time
import zlib

import pytest

import trelm
from scan_builders import (
    END_MARK,
    cstrings,
    fsdb_legacy,
    fsdb_modern,
    name_stream,
    table,
    times,
    value_block,
    values,
    write,
)

load = trelm.PyTrace.from_fsdb

def modern_with_block(block, names=("top.a", "top.b", "top.c"), **kwargs):
    """Names in a plain section found by the stream scan, the block listed in
    the section table."""
    return fsdb_modern([name_stream(*names), block], table=[1], **kwargs)


# ---- Loader entry -------------------------------------------------------------


@pytest.mark.parametrize(
    "data, message",
    [
        (bytes(11), "FSDB file too small"),
        (b"\x1c\x3e\xd9" + bytes(8), "FSDB file too small"),
        (bytes(4) + b"\x00\x00\xbe\xef" + bytes(4), "Not an FSDB file (magic=0x0000BEEF)"),
        (bytes(4) + b"\xc1\x99\xe0\xfd" + bytes(4), "Not an FSDB file (magic=0xC199E0FD)"),
    ],
)
def test_refused_files(tmp_path, data, message):
    with pytest.raises(ValueError) as err:
        load(write(tmp_path, data))
    assert str(err.value) == message


def test_unreadable_path(tmp_path):
    path = str(tmp_path / "missing.fsdb")
    with pytest.raises(ValueError) as err:
        load(path)
    assert str(err.value) == f"Failed to read {path}: No such file or directory (os error 2)"


# ---- Legacy layout --------------------------------------------------------------


def test_legacy_names_only(tmp_path):
    trace = load(write(tmp_path, fsdb_legacy(["top.a", "top.b", "top.a"], before=cstrings("early.name"))))
    assert trace.signal_names() == ["top.a", "top.b"]
    assert trace.scopes() == ["top"]
    assert times(trace) == [0]
    assert trace.signal_width("top.a") == 1
    assert trace.signal_value("top.a", 0) is None
    assert trace.signal_id("early.name") is None  # text before offset 272 is never read


def test_legacy_without_names(tmp_path):
    trace = load(write(tmp_path, fsdb_legacy([])))
    assert trace.signal_names() == [] and times(trace) == [0]


# ---- Modern layout: names -------------------------------------------------------


def test_modern_nothing_recognisable(tmp_path):
    trace = load(write(tmp_path, fsdb_modern(pad_to=4000)))
    assert (trace.signal_names(), trace.scopes(), times(trace)) == ([], [], [0])


def test_rich_then_marked_then_plain(tmp_path):
    plain = name_stream("p.one", "p.two", "p.three")
    rich = name_stream(*[f"r.sig{i}" for i in range(11)])
    # "8C" and six texts: a marked section, also taken as a value block
    marked = b"8C\0" + name_stream("m.a1", "m.a2", "m.a3", "m.a4", "m.a5", "m.a6", "p.one")
    trace = load(write(tmp_path, fsdb_modern([plain, marked, rich])))
    names = trace.signal_names()
    assert names[:11] == [f"r.sig{i}" for i in range(11)]
    assert names[11:] == ["m.a1", "m.a2", "m.a3", "m.a4", "m.a5", "m.a6", "p.one", "p.two", "p.three"]
    assert trace.scopes() == ["m", "p", "r"]
    assert [trace.signal_id(n) for n in names] == list(range(len(names)))


@pytest.mark.parametrize(
    "stream, kept",
    [
        (name_stream("a.b", "c.d", "e.f"), True),  # three texts: plain
        (name_stream("a.b", "c.d"), False),  # two texts: dropped
        (name_stream("a.bc", "simv", "d.ef", "g.hi"), False),  # looks like a tool log
        (name_stream("a.bc", "x.log2", "d.ef"), False),
        # small little-endian words from offset 8: looks like values
        (name_stream("a.bc", "d.ef", "g.hi") + bytes(40), False),
        (name_stream("a.bc", "d.ef", "g.hi") + b"\x01\x00\x41" * 6, False),  # triples
        (name_stream("a.bc", "d.ef", "g.hi") + b"\x01\x00\x41" * 5, True),
        # short tail 21 00 00 without 8C and with three texts: plain
        (name_stream("a.bc", "d.ef", "g.hi") + b"\x21\x00\x00", True),
    ],
)
def test_stream_classification(tmp_path, stream, kept):
    trace = load(write(tmp_path, fsdb_modern([stream])))
    assert bool(trace.signal_names()) == kept


def test_identifier_rules_and_duplicates_across_sections(tmp_path):
    first = name_stream("top.u1.data[3]", "a:b$c", "1bad", "top.x-y", "top..z", "top.clk")
    second = name_stream("top.clk", "top.new", "tb.x.1y")
    trace = load(write(tmp_path, fsdb_modern([first, second])))
    assert trace.signal_names() == ["top.u1.data[3]", "a:b$c", "top.clk", "top.new"]
    assert trace.scopes() == ["top", "top.u1"]


def test_at_most_twenty_streams(tmp_path):
    streams = [name_stream(f"s{i}.aa", f"s{i}.bb", f"s{i}.cc") for i in range(22)]
    trace = load(write(tmp_path, fsdb_modern(streams)))
    assert len(trace.signal_names()) == 60
    assert trace.signal_id("s19.cc") is not None and trace.signal_id("s20.aa") is None


# ---- Tail fallback --------------------------------------------------------------


@pytest.mark.parametrize(
    "tail, names",
    [
        (b"\x02top.a\0top.b\0\x01", ["top.a", "top.b"]),
        (b"\x04\x02top.a\0top.b\0\x01", []),  # a 04 before the mark: passed over
        (b"\x02top.a\0bad-name\0ok$1\0\x01", ["top.a", "ok$1"]),
        (b"\x02top.a\x05top.b\0\x01", []),  # the run ends at a non-zero byte
        (b"\x021abc\0\x01", []),  # the mark needs a letter after it
        (b"\x02top.a\0top.b", []),  # the run reaches the end of the file
    ],
)
def test_tail_fallback(tmp_path, tail, names):
    trace = load(write(tmp_path, fsdb_modern(pad_to=5000, tail=tail)))
    assert trace.signal_names() == names


def test_tail_fallback_only_for_large_files(tmp_path):
    trace = load(write(tmp_path, fsdb_modern(pad_to=3000, tail=b"\x02top.a\0\x01")))
    assert trace.signal_names() == []


# ---- Width table ------------------------------------------------------------------


def test_width_table(tmp_path):
    names = [f"top.s{i}" for i in range(7)]
    widths = b"\x01\x00x" + b"\x02\x00\x00\x00" + b"\x01\x00C\x00\x00" + b"\x55" + b"\x01\x00j" + b"\x01\x00}"
    widths += b"\x01\x00q" + b"\x21" + b"\x01\x00x"
    trace = load(write(tmp_path, fsdb_modern([name_stream(*names)], table=[], width_table=widths)))
    assert [trace.signal_width(n) for n in names] == [16, 8, 2, 32, 1, 1, 1]


def test_width_table_length_past_end_is_ignored(tmp_path):
    data = bytearray(fsdb_modern([name_stream("a.bc", "d.ef", "g.hi")], table=[], width_table=b"\x01\x00x"))
    h = struct.unpack_from("<I", data, 272)[0]
    data[h : h + 4] = struct.pack("<I", 0xFFFFFFFF)  # H + 4 + n far past the end
    trace = load(write(tmp_path, bytes(data)))
    assert trace.signal_width("a.bc") == 1


# ---- Value blocks -------------------------------------------------------------------


def test_block_without_separators(tmp_path):
    block = value_block(region=bytes([3, 7, 2, 9]))
    trace = load(write(tmp_path, modern_with_block(block)))
    assert times(trace) == [0, 20, 60]
    assert table(trace) == {"top.a": [0, 7, 9], "top.b": [0, 0, 0], "top.c": [0, 0, 0]}


def test_separator_mode_and_clock_trailer(tmp_path):
    # pairs (1, 5) (2, 6): times 0 and 20; trailer 40 00 04 31: period 10 from 1
    block = value_block(region=bytes([1, 5, 2, 6, 8, 0x40, 0, 4, 0x31]))
    trace = load(write(tmp_path, modern_with_block(block)))
    assert times(trace) == [0, 10, 20, 30]
    assert values(trace, "top.a") == [1, 0, 1, 0]  # the clock replaces the pair values
    assert values(trace, "top.b") == [0, 0, 0, 0]


def test_value_region_and_offsets(tmp_path):
    region = bytes([3, 7, 0x85, 0, 0x41, 0])
    block = value_block(region=region, values=bytes([0x41, 0x42, 0, 0, 0]))
    names = [f"top.s{i}" for i in range(6)]
    trace = load(write(tmp_path, modern_with_block(block, names=names)))
    assert times(trace) == [0, 20, 21, 25]
    assert table(trace) == {
        "top.s0": [0, 0, 0, 0],
        "top.s1": [0x41] * 4,
        "top.s2": [0x42] * 4,
        "top.s3": [0, 7, 7, 7],
        "top.s4": [0, 0, 0, 7],
        "top.s5": [0, 0, 1, 1],  # a kind-1 offset keeps bit 0 of the value
    }


@pytest.mark.parametrize(
    "header, region, expected_times",
    [
        ((0, 0, 0, 2), bytes([3, 7, 2, 9, 1, 10]), [0, 20, 60]),  # limit V[3] - 1 = 1: two pairs
        ((0, 0, 0, 0), bytes([3, 7, 2, 9, 1, 10]), [0, 20, 60, 80]),  # V[3] = 0: no limit
        ((0, 0, 0), bytes([3, 7, 2, 9, 1, 10]), [0, 20, 60, 80]),
    ],
)
def test_pair_limit(tmp_path, header, region, expected_times):
    trace = load(write(tmp_path, modern_with_block(value_block(header=header, region=region))))
    assert times(trace) == expected_times


def test_first_value_and_step_from_header(tmp_path):
    # V[4] = 9 at time 5 x (V[5] + 1) = 15 for signal 1; the pairs go to signal 2
    block = value_block(header=(0, 0, 0, 0, 9, 2), region=bytes([1, 4]))
    trace = load(write(tmp_path, modern_with_block(block)))
    assert times(trace) == [0, 10, 15]
    assert table(trace) == {"top.a": [0, 0, 0], "top.b": [0, 0, 9], "top.c": [0, 4, 4]}


def test_fallback_header_end(tmp_path):
    # no header mark: the header ends after four numbers; C1 21 00 00 ends the region
    block = value_block(header=(1, 2, 3, 4), region=bytes([3, 7]) + END_MARK + bytes([2, 9]), fallback_header=True)
    trace = load(write(tmp_path, modern_with_block(block)))
    assert times(trace) == [0, 20]
    assert values(trace, "top.a") == [0, 7]


@pytest.mark.parametrize(
    "block",
    [
        bytes([3, 7, 2, 9, 1, 1, 1, 1, 1]),  # neither header pattern
        bytes([1, 2, 3, 4]) + END_MARK,  # header end leaves fewer than 6 bytes
    ],
)
def test_skipped_blocks_write_nothing(tmp_path, block):
    trace = load(write(tmp_path, modern_with_block(block)))
    assert times(trace) == [0]
    assert values(trace, "top.a") == [None]


def test_decoded_block_without_events_zeroes_every_signal(tmp_path):
    trace = load(write(tmp_path, modern_with_block(value_block(header=(0, 0), region=b""))))
    assert times(trace) == [0]
    assert table(trace) == {"top.a": [0], "top.b": [0], "top.c": [0]}


def test_earlier_values_keep_their_indices(tmp_path):
    # Block 1: signal a = 7 at time 20, 9 at time 60. Block 2 adds time 5 (V[4] = 9
    # for signal b): a's values stay at indices 1 and 2, now times 5 and 20.
    first = value_block(region=bytes([3, 7, 2, 9]))
    second = value_block(header=(0, 0, 0, 0, 9), region=b"")
    data = fsdb_modern([name_stream("top.a", "top.b", "top.c"), first, second], table=[1, 2])
    trace = load(write(tmp_path, data))
    assert times(trace) == [0, 5, 20, 60]
    assert table(trace) == {"top.a": [0, 7, 9, 9], "top.b": [0, 9, 0, 0], "top.c": [0, 0, 0, 0]}


def test_stream_blocks_follow_table_blocks(tmp_path):
    # Without a section table, a stream with the 38 43 mark and few texts is a value block.
    block = value_block(region=bytes([3, 7]))
    trace = load(write(tmp_path, fsdb_modern([name_stream("top.a", "top.b", "top.c"), block])))
    assert times(trace) == [0, 20]
    assert values(trace, "top.a") == [0, 7]


def test_section_entry_size_reaching_past_the_end(tmp_path):
    block = value_block(region=bytes([3, 7]))
    data = fsdb_modern([name_stream("top.a", "top.b", "top.c"), block], table=[1])
    # the size of the one entry is the last word of the file
    data = data[:-4] + struct.pack("<I", 0xFFFFFFFF)
    trace = load(write(tmp_path, data))
    assert values(trace, "top.a") == [0, 7]


# ---- Bounded work on hostile blocks ------------------------------------------------


def test_clock_with_period_zero_makes_one_event(tmp_path):
    block = value_block(region=bytes([3, 7, 8, 0x40, 0, 0, 0x30]))
    trace = load(write(tmp_path, modern_with_block(block)))
    assert times(trace) == [0, 20]
    assert values(trace, "top.a") == [0, 7]  # the clock's 0 at time 0, then the pair


def test_clock_with_huge_end_is_capped(tmp_path):
    # 4000 pairs of delta 63 reach time 10 x (63 x 4000 - 1); a period of 2 up to
    # there would be 1.26 million clock events; 2**18 are made
    region = bytes([0x3F, 1]) * 4000 + bytes([8, 0x40, 0, 1, 0x31])
    trace = load(write(tmp_path, modern_with_block(value_block(region=region))))
    stamps = times(trace)
    last_clock = 2 * (2**18 - 1)
    assert last_clock in stamps and last_clock + 2 not in stamps
    assert len([t for t in stamps if t % 2 == 0 and t <= last_clock]) == 2**18
    assert len(stamps) <= 2**18 + 4000


def test_large_adversarial_block_finishes(tmp_path):
    # Half pairs, half offset entries: pairs x offsets events, capped per block.
    region = bytes([1, 3]) * (1 << 20) + bytes([0x81, 0]) * (1 << 20)
    names = [f"top.s{i}" for i in range(300)]
    data = fsdb_modern([name_stream(*names), value_block(region=region)], table=[1])
    start = time.monotonic()
    trace = load(write(tmp_path, data))
    assert time.monotonic() - start < 30
    assert trace.max_index() > 0


def test_section_count_past_the_end_stops_at_the_last_whole_entry(tmp_path):
    data = bytearray(modern_with_block(value_block(region=bytes([3, 7]))))
    t = struct.unpack_from("<I", data, 264)[0]
    data[t + 22 : t + 24] = struct.pack("<H", 0xFFFF)  # 65535 entries claimed, one present
    trace = load(write(tmp_path, bytes(data)))
    assert values(trace, "top.a") == [0, 7]


@pytest.mark.parametrize("word40, decoded", [(84, True), (85, False)])
def test_section_table_needs_small_word_at_40(tmp_path, word40, decoded):
    # Without the table the block's stream is classified: a short stream ending
    # in 21 00 00, without 8C and with fewer than 3 texts, is dropped.
    block = value_block(fallback_header=True, header=(1, 2, 3, 4), region=bytes([3, 7]) + END_MARK)
    data = fsdb_modern([name_stream("top.a", "top.b", "top.c"), block], table=[1], word40=word40)
    trace = load(write(tmp_path, data))
    assert values(trace, "top.a") == ([0, 7] if decoded else [None])
