"""The FST reader's front-door mode on files built by fst_writer: exact
values, the signal filter that decodes only the kept signals' chunks, and a
time table that goes back."""

import pytest

import fst_writer as w
import test_fst_constructed as constructed
from trelm import _native
from native_helpers import exact_series


def load(tmp_path, data, **kwargs):
    path = tmp_path / "t.fst"
    path.write_bytes(data)
    trace, info = _native.load(str(path), "fst", **kwargs)
    return trace, info, {s[0]: exact_series(trace, s) for s in info["signals"]}


def test_exact_values_and_declarations(tmp_path):
    _, info, values = load(tmp_path, constructed.basic_file())
    assert values["top.clk"] == [0, 1, 0, 1, "z"]
    assert values["top.nib"] == ["x1z0", "x1z0", 5, 5, 5]
    assert values["top.data"][3:] == [15, "1x0z01zz"]
    # Texts of a variable-length signal, the empty one included.
    assert values["top.msg"] == [None, "abc", "abc", "", ""]
    kinds = {s[0]: s[3:] for s in info["signals"]}
    assert kinds["top.temp"] == ("real", "real") and kinds["top.msg"] == ("string", "string")
    assert info["timescale"] == (1, "ns")


def test_filter_decodes_only_the_kept_chunks(tmp_path):
    lengths = [3, 3]
    hierarchy = [w.var("broken", 3), w.var("good [2:0]", 3)]
    cut = w.vc_block(lengths, [0, 1], {1: [(0, "111")]}, raw_chunks={0: w.leb(0) + w.leb(1) + b"1x"}, pack=None)
    data = w.simple_file(lengths, hierarchy, [cut])
    with pytest.raises(ValueError, match="FST signals"):
        load(tmp_path, data)
    _, info, values = load(tmp_path, data, signals=["good"])
    assert [s[0] for s in info["signals"]] == ["good"] and values["good"] == [7, 7]


def test_time_table_that_goes_back(tmp_path):
    lengths = [1, 4]
    hierarchy = [w.var("a", 1), w.var("b", 4)]
    first = w.vc_block(lengths, [10, 20], {0: [(0, "1"), (1, "0")], 1: [(0, "UX01")]}, frame=["0", "0000"], start=0)
    second = w.vc_block(lengths, [5, 15], {0: [(0, "h")], 1: [(0, "0011")]}, frame=["0", "0000"])
    data = w.simple_file(lengths, hierarchy, [first, second])
    trace, _, values = load(tmp_path, data)
    literal = constructed.load(tmp_path, data)
    assert [trace.timestamp(i) for i in range(trace.max_index() + 1)] == [0, 10, 20, 5, 15]
    # Time 5 lands at index 0 of a table searched as if it ascended.
    assert values == {"a": ["h", 1, 1, 1, 1], "b": [3, "UX01", "UX01", "UX01", "UX01"]}
    for name, exact in values.items():
        assert all(v == e for v, e in zip(literal.signal_values_range(name, 0, 5), exact) if isinstance(v, int))
