"""trelm.open and the Waveform, Signal and Scope objects: formats found from
content and name, exact values against the dump's own text, numpy arrays
against per-index reads, and the errors of each kind."""

import gzip
import math
import os
import threading
from pathlib import Path

import numpy as np
import pytest

import trelm
import scan_builders as sb

DATA = Path(__file__).resolve().parents[1] / "data"
EXACT_VCD = DATA / "front" / "exact.vcd"
EXACT_FST = DATA / "front" / "exact.fst"
EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "cpu.vcd"

# Exact values of tests/data/front/exact.vcd by time, as the dump writes them.
EXACT = {
    "top.wide": {0: 1, 10: 2**128 - 1, 40: 2**128 - 1},
    "top.bus": {0: "UUUU", 10: "0H-L", 20: "1X0Z"},
    "top.mem[0]": {0: 5, 40: 5},
    "top.mem[1]": {0: 0, 10: 3},
    "top.data": {0: "xxxxxxx1", 10: "xxxxxxx1", 20: "0000001z"},
    "top.state": {0: "IDLE", 10: "RUN", 20: "_idle"},
    "top.temp": {0: 1.5, 40: 1.5},
    "top.u": {20: "h", 30: "h", 40: "-"},
}
# Scalars written as U and X: vcd2fst leaves them out of the FST file.
EXACT_VCD_ONLY = {"top.u": {0: "U", 10: "X"}}


@pytest.fixture(scope="module", params=["vcd", "vcd.gz", "fst"])
def exact(request):
    path = {"vcd": EXACT_VCD, "vcd.gz": EXACT_VCD.with_suffix(".vcd.gz"), "fst": EXACT_FST}[request.param]
    return request.param, trelm.open(path)


def test_exact_values_as_written(exact):
    kind, w = exact
    expected = {name: dict(values) for name, values in EXACT.items()}
    if kind != "fst":
        for name, values in EXACT_VCD_ONLY.items():
            expected[name].update(values)
    for name, values in expected.items():
        for time, value in values.items():
            assert w[name].at(time) == value, (name, time)
    assert w.timescale == (1, "ns")


def test_names_keep_index_suffix_and_drop_bit_ranges(exact):
    _, w = exact
    assert {"top.mem[0]", "top.mem[1]", "top.data", "top.wide"} <= set(w.signals)
    assert w["top.mem[0]"].id != w["top.mem[1]"].id
    assert w["top.u"].aliases == ("top.u_alias",)
    assert "top.mem[0]" in w.trace.signal_names()
    assert [s.name for s in w.glob("top.mem*")] == ["top.mem[0]", "top.mem[1]"]


def test_arrays_agree_with_per_index_reads(exact):
    _, w = exact
    for signal in w.signals.values():
        per_index = [signal[i] for i in range(w.index_count)]
        exact_values = signal.values(exact=True)
        assert list(exact_values) == per_index
        changes = signal.changes(exact=True)
        expected = [(i, v) for i, v in enumerate(per_index) if (v is not None or i > 0) and
                    (i == 0 or v != per_index[i - 1])]
        assert list(zip(changes.indices.tolist(), changes.values)) == expected
        assert changes.times.tolist() == [w.time_of(i) for i in changes.indices]


@pytest.mark.parametrize("name", ["top.cpu.pc", "top.cpu.state", "top.bus", "top.temperature", "top.cpu.zero"])
def test_typed_arrays(name):
    w = trelm.open(EXAMPLE)
    signal = w[name]
    per_index = [signal[i] for i in range(w.index_count)]
    values = signal.values()
    if signal.kind == "real":
        assert values.dtype == np.float64
        assert [None if math.isnan(v) else v for v in values] == per_index
        return
    assert values.dtype == np.uint64
    known = signal.known()
    assert known.tolist() == [isinstance(v, int) for v in per_index]
    assert [int(v) if k else None for v, k in zip(values, known)] == [v if isinstance(v, int) else None
                                                                        for v in per_index]
    changes = signal.changes()
    assert changes.values.dtype == np.uint64 and changes.known.dtype == np.bool_
    assert np.array_equal(values[changes.indices], changes.values)
    assert signal.values(3, 7).tolist() == values[3:7].tolist() == signal[3:7].tolist()
    for picked in (slice(None, None, -1), slice(7, 2, -2), slice(-3, None), slice(1, None, 3), slice(5, 2)):
        assert signal[picked].tolist() == values[picked].tolist(), picked


def test_snapshot_and_changes_at():
    w = trelm.open(EXACT_VCD)
    index = w.index_at(20)
    snapshot = w.snapshot(index)
    assert list(snapshot) == list(w.signals)
    assert snapshot["top.bus"] == "1X0Z" and snapshot == w.snapshot(time=25)
    changed = {name: (old, new) for name, old, new in w.changes_at(index)}
    assert changed["top.bus"] == ("0H-L", "1X0Z")
    assert changed["top.u"] == ("X", "h")
    assert "top.mem[1]" not in changed
    assert w.changes_at(0) == []


def test_index_at_between_and_backwards():
    w = trelm.loads("$var wire 1 ! a $end\n#5\n1!\n#10\n0!\n#10\n1!\n#7\n#20\n")
    assert w.times.tolist() == [5, 10, 10, 7, 20]
    assert [w.index_at(t) for t in (5, 9, 10, 12, 19, 20, 99)] == [0, 0, 3, 3, 3, 4, 4]
    with pytest.raises(ValueError, match="before"):
        w.index_at(4)


def test_scope_tree():
    w = trelm.open(EXAMPLE)
    top = w.scope.scopes["top"]
    assert top.path == "top" and top.scopes["cpu"].path == "top.cpu"
    assert top.scopes["cpu"].signals["pc"] is w["top.cpu.pc"]
    assert [s.path for s in w.scope.walk()] == ["", "top", "top.cpu", "top.cpu.u_alu"]
    assert sum(len(s.signals) for s in w.scope.walk()) == len(w.signals)


def test_scope_tree_of_a_name_of_many_dots():
    # An escaped identifier of 300000 dots: looking for its scope at every dot
    # would cut and hash the name 300000 times (tens of seconds).
    name = "\\" + ".a" * 300_000
    w = trelm.loads(f"$scope module top $end\n$var wire 1 ! {name} $end\n$upscope $end\n"
                    "$enddefinitions $end\n#0\n1!\n")
    signals = w.scope.scopes["top"].signals
    assert list(signals) == [name] and signals[name] is w["top." + name]


def _scan_files(tmp_path):
    return {
        "fsdb": sb.write(tmp_path, sb.fsdb_legacy([b"top.a", b"top.b"]), "x.dat"),
        "vpd": sb.write(tmp_path, sb.vpd_file(), "x.bin"),
        "wlf": sb.write(tmp_path, sb.wlf_file([b"top.a"]), "x.wlf"),
    }


@pytest.mark.parametrize("case", ["vcd", "vcd-named-txt", "vcd.gz", "fst", "fst-named-dat", "fsdb", "vpd", "wlf",
                                  "shm-dir", "shm-dsn"])
def test_format_detection(tmp_path, case):
    fst = (DATA / "fst" / "counter_lz4.fst").read_bytes()
    vcd = EXACT_VCD.read_bytes()
    files = {
        "vcd": ("d.vcd", vcd, "vcd"),
        "vcd-named-txt": ("d.txt", vcd, "vcd"),
        "vcd.gz": ("d.vcd.gz", gzip.compress(vcd), "vcd"),
        "fst": ("d.fst", fst, "fst"),
        "fst-named-dat": ("d.dat", fst, "fst"),
    }
    if case in files:
        name, data, expected = files[case]
        path = tmp_path / name
        path.write_bytes(data)
    elif case.startswith("shm"):
        design = sb.shm_design()
        (tmp_path / "db").mkdir()
        path = Path(sb.write(tmp_path / "db", design, "run.dsn"))
        path = path.parent if case == "shm-dir" else path
        expected = "shm"
    else:
        path, expected = Path(_scan_files(tmp_path)[case]), case
    w = trelm.open(path)
    assert w.format == expected and w.path == str(path)
    assert isinstance(w.trace, trelm.PyTrace)


def test_format_given_skips_detection(tmp_path):
    path = tmp_path / "mystery.bin"
    path.write_bytes(EXACT_VCD.read_bytes())
    assert trelm.open(path, format="vcd")["top.bus"][0] == "UUUU"
    with pytest.raises(ValueError, match="unknown format"):
        trelm.open(path, format="ghw")


@pytest.mark.parametrize("make, error, text", [
    (lambda p: p.write_bytes(b"hello, world\n"), trelm.FormatError, "not VCD text"),
    (lambda p: p.write_bytes(b"\x00\x01binary junk"), trelm.FormatError, "not VCD text"),
    (lambda p: p.write_bytes(b""), trelm.FormatError, "empty"),
    (lambda p: p.write_bytes(gzip.compress(EXACT_VCD.read_bytes())[:-30]), trelm.LoadError, "gzip"),
    (lambda p: p.write_bytes(gzip.compress(EXACT_VCD.read_bytes())[:40] + b"\0" * 64), trelm.LoadError, "gzip"),
    (lambda p: p.write_bytes(gzip.compress(b"not a dump at all")), trelm.FormatError, "not VCD"),
    (lambda p: p.mkdir(), trelm.FormatError, "without SHM files"),
    (lambda p: p.write_bytes((DATA / "fst" / "counter_lz4.fst").read_bytes()[:300]), trelm.LoadError, "FST"),
])
def test_unreadable_inputs(tmp_path, make, error, text):
    path = tmp_path / "bad.vcd.gz"
    make(path)
    with pytest.raises(error, match=text) as caught:
        trelm.open(path)
    assert isinstance(caught.value, ValueError) and str(path) in str(caught.value)


def test_lookup_errors():
    w = trelm.open(EXAMPLE)
    with pytest.raises(KeyError, match="did you mean 'top.cpu.pc'"):
        w["top.cpu.pcc"]
    with pytest.raises(IndexError):
        w["top.cpu.pc"][w.index_count]
    with pytest.raises(IndexError):
        w.time_of(-w.index_count - 1)
    with pytest.raises(IndexError):
        w["top.cpu.pc"].values(0, w.index_count + 1)
    with pytest.raises(TypeError):
        w.snapshot()
    for not_an_index in (1.7, "3"):
        with pytest.raises(TypeError):
            w["top.cpu.pc"][not_an_index]
        with pytest.raises(TypeError):
            w.time_of(not_an_index)
    assert w["top.cpu.pc"][np.uint64(3)] == w["top.cpu.pc"][3]
    with pytest.raises(FileNotFoundError):
        trelm.open(EXAMPLE.with_name("missing.vcd"))
    with pytest.raises(TypeError):
        trelm.open(42)


@pytest.mark.parametrize("path", [EXACT_VCD, EXACT_FST])
def test_an_empty_selection_keeps_no_signal(path):
    whole, none = trelm.open(path), trelm.open(path, signals=[])
    assert len(none) == 0 and none.index_count == whole.index_count


def test_times_past_any_dump_and_pipes(tmp_path):
    w = trelm.open(EXAMPLE)
    assert w.index_at(2**80) == w.index_count - 1
    fifo = tmp_path / "dump.pipe"
    os.mkfifo(fifo)
    with pytest.raises(trelm.FormatError, match="not a regular file"):
        trelm.open(fifo)
    writer = threading.Thread(target=lambda: fifo.write_bytes(EXACT_VCD.read_bytes()))
    writer.start()
    try:
        assert trelm.open(fifo, format="vcd")["top.bus"][0] == "UUUU"
    finally:
        writer.join()
