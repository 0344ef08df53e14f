"""Loading through trelm._native: every format, the description, the signal
filter, progress, and the errors."""

import os

import pytest

import scan_builders as scan
from trelm import _native
from native_helpers import exact_series

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
FST = os.path.join(ROOT, "tests", "data", "fst", "mixed_lz4.fst")
VCD = os.path.join(ROOT, "examples", "cpu.vcd")


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
    "patterns, kept",
    [
        (["top.clk"], ["top.clk"]),
        (["*.clk", "top.f?ag"], ["top.clk", "top.s0.clk", "top.s1.clk", "top.flag"]),
        (["nothing*"], []),
    ],
)
def test_signal_filter_keeps_matching_names_and_their_values(patterns, kept):
    whole, whole_info = _native.load(FST, "fst")
    trace, info = _native.load(FST, "fst", signals=patterns)
    assert sorted(s[0] for s in info["signals"]) == sorted(kept)
    by_name = {s[0]: s for s in whole_info["signals"]}
    for signal in info["signals"]:
        assert exact_series(trace, signal) == exact_series(whole, by_name[signal[0]])
    assert all(any(n.startswith(s + ".") for n in kept) for s in trace.scopes())


def test_progress_ends_at_the_file_size():
    calls = []
    _native.load(FST, "fst", progress=lambda done, total: calls.append((done, total)))
    size = os.path.getsize(FST)
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
