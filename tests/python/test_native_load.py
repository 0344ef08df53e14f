"""Loading through trelm._native: every format, the description, the signal
filter, progress, and the errors."""

import gzip
import os

import pytest

import scan_builders as scan
from trelm import _native
from native_helpers import exact_series, words

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DATA = os.path.join(ROOT, "tests", "data")
FST = os.path.join(DATA, "fst", "mixed_lz4.fst")
VCD = os.path.join(ROOT, "examples", "cpu.vcd")


def by_time(path, fmt):
    """{name: [value at each time of the dump]} and the times."""
    trace, info = _native.load(path, fmt)
    times = words(_native.times(trace))
    return times, {s[0]: exact_series(trace, s) for s in info["signals"]}, info


def scanned_files(tmp_path):
    """One small file per scanner, with the names it finds."""
    wlf = scan.wlf_file(names=["top.a", "top.b"], expected=2)
    vpd = scan.vpd_file(sections=[scan.cstrings("top.a", "top.b")])
    fsdb = scan.fsdb_legacy(["top.a", "top.b"])
    return [
        (scan.write(tmp_path, wlf, "d.wlf"), "wlf"),
        (scan.write(tmp_path, vpd, "d.vpd"), "vpd"),
        (scan.write(tmp_path, fsdb, "d.fsdb"), "fsdb"),
    ]


def test_description_matches_the_trace(tmp_path):
    for path, fmt in [(VCD, "vcd"), (FST, "fst")] + scanned_files(tmp_path):
        trace, info = _native.load(str(path), fmt)
        assert set(info) == {"timescale", "signals"}
        names = [s[0] for s in info["signals"]]
        assert names == [n for n in trace.signal_names() if trace.signal_id(n) is not None], fmt
        for name, sid, width, kind, var_type in info["signals"]:
            assert (sid, width) == (trace.signal_id(name), trace.signal_width(name))
            assert kind in ("bits", "real", "string") and isinstance(var_type, str)


@pytest.mark.parametrize(
    "fst, vcd",
    [("fst/mixed_%s.fst" % pack, "fst/mixed.vcd") for pack in ("lz4", "zlib", "fastlz", "gzip")]
    + [("fst/counter_lz4.fst", "fst/counter.vcd"), ("fst/verilated.fst", "fst/verilated.vcd"),
       ("vhdl/nine.fst", "vhdl/nine.vcd")],
)
def test_an_fst_reads_like_the_vcd_it_holds(fst, vcd):
    fst_times, fst_values, fst_info = by_time(os.path.join(DATA, fst), "fst")
    vcd_times, vcd_values, vcd_info = by_time(os.path.join(DATA, vcd), "vcd")
    assert fst_info["timescale"] == vcd_info["timescale"]
    assert fst_times == vcd_times
    for name, values in vcd_values.items():
        # GHDL's FST has no scope; its one-bit digits are lower case.
        fst_name = name if name in fst_values else name.split(".", 1)[1]
        expected = [v.lower() if "vhdl" in vcd and isinstance(v, str) and len(v) == 1 else v for v in values]
        assert fst_values[fst_name] == expected, name


def test_vhdl_values_read_as_written():
    _, vcd, _ = by_time(os.path.join(DATA, "vhdl", "nine.vcd"), "vcd")
    assert vcd["nine.bit1"][:9] == ["U", "X", 0, 1, "Z", "W", "L", "H", "-"]
    assert vcd["nine.vec"][:3] == ["UX01", "X01Z", "01ZW"]
    assert vcd["nine.wide"][9] == 2**79 + 15
    assert vcd["nine.wide"][10] == "1" + "0" * 38 + "X" + "0" * 36 + "1111"
    _, fst, info = by_time(os.path.join(DATA, "vhdl", "nine.fst"), "fst")
    assert fst["state"][8:11] == ["s_idle", "s_run", "s_done"]
    assert [s[3:] for s in info["signals"] if s[0] == "state"] == [("string", "string")]


def test_gzip_reads_like_the_text(tmp_path):
    path = tmp_path / "cpu.vcd.gz"
    path.write_bytes(gzip.compress(open(VCD, "rb").read()))
    assert by_time(str(path), "vcd.gz") == by_time(VCD, "vcd")


@pytest.mark.parametrize(
    "damage, reason",
    [(lambda b: b[: len(b) // 2], "ends early"), (lambda b: b[:100] + bytes([b[100] ^ 0xFF]) + b[101:], "corrupt")],
)
def test_damaged_gzip_fails(tmp_path, damage, reason):
    path = tmp_path / "cpu.vcd.gz"
    path.write_bytes(damage(gzip.compress(open(VCD, "rb").read())))
    with pytest.raises(ValueError, match=f"Failed to read {path}: .*{reason}"):
        _native.load(str(path), "vcd.gz")


@pytest.mark.parametrize("path, fmt", [(FST, "fst"), (os.path.join(DATA, "fst", "mixed.vcd"), "vcd")])
@pytest.mark.parametrize(
    "patterns, kept",
    [
        (["top.clk"], ["top.clk"]),
        (["*.clk", "top.d?ta"], ["top.clk", "top.s0.clk", "top.s1.clk", "top.data"]),
        (["nothing*"], []),
    ],
)
def test_signal_filter_keeps_matching_names_and_their_values(path, fmt, patterns, kept):
    whole, whole_info = _native.load(path, fmt)
    trace, info = _native.load(path, fmt, signals=patterns)
    assert sorted(s[0] for s in info["signals"]) == sorted(kept)
    by_name = {s[0]: s for s in whole_info["signals"]}
    for signal in info["signals"]:
        assert exact_series(trace, signal) == exact_series(whole, by_name[signal[0]])
    assert all(any(n.startswith(s + ".") for n in kept) for s in trace.scopes())


@pytest.mark.parametrize("path, fmt", [(FST, "fst"), (VCD, "vcd"), (os.path.join(DATA, "vhdl", "nine.vcd"), "vcd")])
def test_progress_ends_at_the_file_size(path, fmt):
    calls = []
    _native.load(path, fmt, progress=lambda done, total: calls.append((done, total)))
    size = os.path.getsize(path)
    assert calls[-1] == (size, size) and all(d <= t == size for d, t in calls)


def test_progress_exception_stops_the_load():
    def stop(done, total):
        raise KeyboardInterrupt("stop")

    with pytest.raises(KeyboardInterrupt, match="stop"):
        _native.load(FST, "fst", progress=stop)


@pytest.mark.parametrize(
    "args, kwargs, error, text",
    [
        (("/no/such.vcd", "vcd"), {}, ValueError, "Failed to open /no/such.vcd"),
        ((VCD, "gif"), {}, ValueError, "unknown format 'gif'"),
        ((VCD,), {}, TypeError, "missing 1 required positional argument: 'format'"),
        ((VCD, "vcd"), {"signals": "top.clk"}, TypeError, "signals"),
        ((VCD, "vcd"), {"progress": 3}, TypeError, "not callable"),
    ],
)
def test_load_errors(args, kwargs, error, text):
    with pytest.raises(error, match=text):
        _native.load(*args, **kwargs)
