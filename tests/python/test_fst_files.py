"""Real FST files (vcd2fst with each pack type and the gzip wrapper, and
Verilator's native FST) against the VCD each was made from: the same
signals, time stamps and Python values at every index."""

import pathlib
import re

import pytest

import trelm

DATA = pathlib.Path(__file__).resolve().parent.parent / "data" / "fst"

PAIRS = [(f"{design}.vcd", f"{design}_{kind}.fst") for design in ("mixed", "counter")
         for kind in ("lz4", "fastlz", "zlib", "gzip")] + [("verilated.vcd", "verilated.fst")]


def strip_range(name):
    """vcd2fst and Verilator keep a vector's bit range in the FST name."""
    return re.sub(r" \[[^\]]*\]$", "", name)


@pytest.mark.parametrize("vcd_name,fst_name", PAIRS)
def test_fst_matches_its_vcd(vcd_name, fst_name):
    vcd = trelm.PyTrace.from_vcd(str(DATA / vcd_name))
    fst = trelm.PyTrace.from_fst(str(DATA / fst_name))
    assert fst.max_index() == vcd.max_index() > 10
    count = vcd.max_index() + 1
    assert [fst.timestamp(i) for i in range(count)] == [vcd.timestamp(i) for i in range(count)]
    assert fst.scopes() == vcd.scopes()
    names = {strip_range(name): name for name in fst.signal_names()}
    assert sorted(names) == sorted(vcd.signal_names())
    for name, fst_name_in_file in names.items():
        expected = vcd.signal_values_range(name, 0, count)
        assert fst.signal_values_range(fst_name_in_file, 0, count) == expected, name
        if any(isinstance(v, float) for v in expected):
            assert fst.signal_width(fst_name_in_file) == 8
        else:
            assert fst.signal_width(fst_name_in_file) == vcd.signal_width(name), name
        assert (fst.signal_id(fst_name_in_file) is None) == (vcd.signal_id(name) is None)


def test_aliases_share_an_id():
    fst = trelm.PyTrace.from_fst(str(DATA / "mixed_lz4.fst"))
    assert fst.signal_id("top.clk") == fst.signal_id("top.s0.clk") == fst.signal_id("top.s1.clk")


def test_directory_opens_and_fails_to_read(tmp_path):
    with pytest.raises(ValueError) as info:
        trelm.PyTrace.from_fst(str(tmp_path))
    assert info.value.args == ("FST open: I/O operation failed",)


def test_missing_file():
    with pytest.raises(ValueError, match=r"^Failed to open /nonexistent\.fst: No such file or directory \(os error 2\)$"):
        trelm.PyTrace.from_fst("/nonexistent.fst")
