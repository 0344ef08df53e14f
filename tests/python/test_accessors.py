"""Direct reads: accessors, value conversion, snapshots and the bit helpers."""

import math

import pytest

from conftest import SIGNAL_NAMES, VALUES


def test_names_scopes_and_times(trace, empty_trace):
    assert trace.signal_names() == SIGNAL_NAMES
    assert trace.scopes() == ["top", "top.sub", "topx"]
    assert trace.max_index() == 3
    assert [trace.timestamp(i) for i in range(5)] == [0, 10, 20, 30, 0]
    assert trace.timestamp(2**64 - 1) == 0
    # The lists are fresh copies.
    trace.signal_names().clear()
    assert trace.signal_names() == SIGNAL_NAMES
    assert (empty_trace.max_index(), empty_trace.timestamp(0), empty_trace.signal_names()) == (0, 0, [])


@pytest.mark.parametrize("name", SIGNAL_NAMES)
def test_values_convert_by_variant(trace, name):
    got = [trace.signal_value(name, i) for i in range(4)]
    assert got == VALUES[name]
    assert [type(v) for v in got] == [type(v) for v in VALUES[name]]
    assert trace.signal_value(name, 4) is None
    assert trace.signal_values_range(name, 0, 6) == VALUES[name] + [None, None]


def test_unknown_names(trace):
    assert trace.signal_value("top.nope", 0) is None
    assert trace.signal_value_raw("top.nope", 0) == 0
    assert trace.signal_id("top.nope") is None
    assert trace.signal_width("top.nope") == 0  # a VCD trace
    assert trace.signal_values_range("top.nope", 0, 3) == [None, None, None]
    assert trace.signal_values_range("Top.clk", 0, 1) == [None]  # names are exact


@pytest.mark.parametrize(
    "name, index, raw",
    [
        ("top.data", 1, 15),
        ("top.temp", 0, 2),  # real 2.5 cut toward zero
        ("top.temp", 2, 0),  # negative real
        ("top.bus", 0, 0),  # X and Z bits
        ("top.bus", 2, 10),
        ("top.sub.b", 2, 0),  # x scalar
        ("topx.d", 3, 0),  # z scalar
        ("top.clk", 99, 0),
    ],
)
def test_signal_value_raw(trace, name, index, raw):
    assert trace.signal_value_raw(name, index) == raw


def test_widths_and_ids(trace):
    assert [trace.signal_width(n) for n in ["top.clk", "top.data", "top.temp", "top.bus"]] == [1, 8, 64, 4]
    ids = {name: trace.signal_id(name) for name in SIGNAL_NAMES}
    assert all(isinstance(i, int) for i in ids.values())
    assert ids["top.sub.clk_alias"] == ids["top.clk"]
    assert len(set(ids.values())) == len(SIGNAL_NAMES) - 1


@pytest.mark.parametrize("start, end", [(5, 5), (7, 3), (2**64 - 1, 0), (3, 3)])
def test_empty_ranges(trace, start, end):
    assert trace.signal_values_range("top.clk", start, end) == []
    assert trace.signal_values_range("nope", start, end) == []


def test_range_past_the_end_and_inside(trace):
    assert trace.signal_values_range("top.data", 1, 3) == [15, 15]
    assert trace.signal_values_range("top.data", 2**64 - 3, 2**64 - 1) == [None, None]


@pytest.mark.parametrize("name", ["top.clk", "nope"])
@pytest.mark.parametrize("start, end", [(0, 2**64 - 1), (0, 2**40), (2**63, 2**64 - 1)])
def test_impossible_ranges_raise_memory_error(trace, name, start, end):
    with pytest.raises(MemoryError):
        trace.signal_values_range(name, start, end)


def test_snapshot(trace):
    snap = trace.snapshot(2)
    assert list(snap) == SIGNAL_NAMES
    assert snap == {name: VALUES[name][2] for name in SIGNAL_NAMES}
    assert trace.snapshot(4) == dict.fromkeys(SIGNAL_NAMES)
    assert trace.snapshot(2**64 - 1) == dict.fromkeys(SIGNAL_NAMES)


def test_snapshot_dicts_are_independent(trace):
    first = trace.snapshot(2)
    first.clear()
    first["extra"] = 1
    second = trace.snapshot(2)
    assert second is not first
    assert list(second) == SIGNAL_NAMES
    assert second == {name: VALUES[name][2] for name in SIGNAL_NAMES}


def test_snapshot_scope(trace):
    top = trace.snapshot_scope(1, "top")
    assert list(top) == ["clk", "data", "temp", "bus", "sub.b", "sub.clk_alias"]
    assert top["data"] == 15 and top["sub.b"] == 1 and top["temp"] == 2.5
    assert trace.snapshot_scope(1, "top.sub") == {"b": 1, "clk_alias": 1}
    assert trace.snapshot_scope(0, "") == {"dot": 0}
    assert trace.snapshot_scope(0, "to") == {}
    assert trace.snapshot_scope(9, "topx") == {"d": None}


@pytest.mark.parametrize(
    "val, high, low, result",
    [
        (0xF0, 7, 4, 15),
        (0xFF, 3, 5, 0),
        (2**64 - 1, 3, 5, 0),
        (0xDEADBEEF, 63, 0, 0xDEADBEEF),
        (0b100000, 5, 5, 1),
        (0b011111, 5, 5, 0),
        (6, 65, 64, 2),  # the shift is taken modulo 64
        (2**64 - 1, 2**64 - 1, 0, 2**64 - 1),  # the bit count overflows: whole value
        (0xF0, 2**64 - 1, 4, 0xF),
        (2**63, 63, 63, 1),
        (2**64 - 1, 62, 0, 2**63 - 1),
    ],
)
def test_bit_slice_val(trace, val, high, low, result):
    assert trace.bit_slice_val(val, high, low) == result


@pytest.mark.parametrize(
    "val, width, result",
    [
        (0x80, 8, -128),
        (0x7F, 8, 127),
        (0x180, 8, -128),
        (0x100, 8, 256),
        (2**64 - 1, 64, -1),
        (5, 0, 5),
        (2**63, 0, -(2**63)),
        (2**63, 100, -(2**63)),
        (1, 1, -1),
        (2**62, 63, -(2**62)),
    ],
)
def test_sign_extend_val(trace, val, width, result):
    assert trace.sign_extend_val(val, width) == result


def test_real_values_keep_their_bits():
    import trelm

    t = trelm.PyTrace.from_vcd_string("$var real 64 ! r $end\n#0\nrnan !\n#1\nr-inf !\n#2\nr1e308 !\n")
    values = t.signal_values_range("r", 0, 3)
    assert math.isnan(values[0]) and values[1] == -math.inf and values[2] == 1e308
