"""Tables and files of chosen signals, and trelm.diff: every row against the
values the Waveform reads, a VCD export read back (also through GTKWave's
converters), and dumps compared with their FST conversions."""

import csv
import json
import shutil
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import trelm
from dump_makers import deep_vcd_text
from trelm.export import export
from trelm.extras import MissingExtra

DATA = Path(__file__).resolve().parents[1] / "data"
CPU = Path(__file__).resolve().parents[2] / "examples" / "cpu.vcd"
DUMPS = [CPU, DATA / "front" / "exact.vcd", DATA / "fst" / "mixed_lz4.fst", DATA / "fst" / "verilated.fst"]
# Several samples at one time, a change back within it, and repeated values:
# on time, the same as CANONICAL.
GLITCHY = "$var wire 1 ! a $end\n$var wire 4 \" b $end\n#0\n0!\nb0 \"\n#5\n1!\n#5\n0!\n#10\n1!\nb1 \"\n#10\nb1 \"\n#20\n1!\nb1x \"\n#30\n"
CANONICAL = "$var wire 1 ! a $end\n$var wire 4 \" b $end\n#0\n0!\nb0 \"\n#10\n1!\nb1 \"\n#20\nb1x \"\n#30\n"


def _exact(value):
    return None if isinstance(value, float) and value != value else value


@pytest.fixture(scope="module", params=DUMPS, ids=lambda p: p.name)
def dump(request):
    return trelm.open(request.param)


@pytest.mark.parametrize("window", [(None, None), "middle"])
def test_to_pandas_rows_hold_the_values_in_force(dump, window):
    pytest.importorskip("pandas")
    w = dump
    start, stop = (w.time_of(w.index_count // 3), w.time_of(2 * w.index_count // 3)) if window else window
    by_change = w.to_pandas(list(w), start, stop)
    assert list(by_change.columns) == list(w) and by_change.index.name == "time"
    changed = {int(t) for s in w.signals.values() for t in s.changes().times}
    lo, hi = start if start is not None else w.time_of(0), stop if stop is not None else w.time_of(-1)
    assert by_change.index.tolist() == sorted({lo} | {t for t in changed if lo < t <= hi})
    for name in w:
        assert [_exact(v) for v in by_change[name].tolist()] == [w[name].at(t) for t in by_change.index]
    by_index = w.to_pandas(list(w), start, stop, on="index")
    first = w.index_at(lo) if lo > w.time_of(0) else 0
    assert by_index.index.tolist()[0] in (first, first + 1) and by_index.index.name == "index"
    for name in w:
        assert [_exact(v) for v in by_index[name].tolist()] == [w[name][i] for i in by_index.index]
    assert by_index["time"].tolist() == [w.time_of(i) for i in by_index.index]


def _read(format, path):
    if format == "csv":
        with open(path, newline="") as f:
            return list(csv.DictReader(f))
    if format == "jsonl":
        return [json.loads(line) for line in Path(path).read_text().splitlines()]
    return pytest.importorskip("pyarrow.parquet").read_table(path).to_pylist()


def _as_written(format, value, got):
    """`value` as `format` holds it: CSV as text ("" for none); Parquet's text
    columns hold integers in decimal."""
    if format == "csv":
        return "" if value is None else str(value)
    if format == "parquet" and isinstance(got, str) and isinstance(value, int):
        return str(value)
    return value


@pytest.mark.parametrize("format", ["csv", "jsonl", "parquet"])
def test_table_files(tmp_path, dump, format):
    w = dump
    path = tmp_path / f"out.{format}"
    rows = export(w, "*", str(path), format)
    read = _read(format, path)
    assert len(read) == rows
    for row in read:
        time = int(row["time"])
        for name in w:
            assert row[name] == _as_written(format, w[name].at(time), row[name]), (name, time)


@pytest.mark.parametrize("format", ["csv", "jsonl"])
@pytest.mark.parametrize("on", ["change", "index"])
def test_text_files_written_in_blocks_are_whole(monkeypatch, tmp_path, dump, format, on):
    """Rows made and written a block at a time: the same file as in one go,
    whatever the block (a column two-state in one block may hold X in the next)."""
    from trelm.export import files

    w = dump
    whole, blocks = tmp_path / f"whole.{format}", tmp_path / f"blocks.{format}"
    rows = export(w, "*", str(whole), format, on=on)
    monkeypatch.setattr(files, "BLOCK_CELLS", 2 * (len(w) + 2))  # blocks of two rows
    assert export(w, "*", str(blocks), format, on=on) == rows > 2
    assert blocks.read_text() == whole.read_text()

def _same_on_time(a, b, names):
    result = trelm.diff(a, b, names)
    assert result.same, result


@pytest.mark.parametrize("window", [False, True])
def test_vcd_export_reads_back(tmp_path, dump, window):
    w = dump
    start, stop = (w.time_of(w.index_count // 3), w.time_of(2 * w.index_count // 3)) if window else (None, None)
    path = tmp_path / "out.vcd"
    export(w, "*", str(path), "vcd", start, stop)
    back = trelm.open(path)
    assert list(back) == list(w) and [s.width for s in back.signals.values()] == [s.width for s in
                                                                                  w.signals.values()]
    if not window:
        _same_on_time(w, back, None)
        return
    for name in w:
        for time in sorted({start, stop} | {int(t) for t in w[name].changes().times if start <= t <= stop}):
            assert back[name].at(time) == w[name].at(time), (name, time)


@pytest.mark.parametrize("window", [False, True])
def test_vcd_export_made_in_blocks_is_whole(monkeypatch, tmp_path, dump, window):
    """Value changes made into lines a block of time at a time: the same file
    as in one go, blocks as small as a few changes included."""
    from trelm.export import vcd

    w = dump
    start, stop = (w.time_of(w.index_count // 3), w.time_of(2 * w.index_count // 3)) if window else (None, None)
    whole, blocks = tmp_path / "whole.vcd", tmp_path / "blocks.vcd"
    changes = export(w, "*", str(whole), "vcd", start, stop)
    monkeypatch.setattr(vcd, "_BLOCK_CHANGES", 3)
    assert export(w, "*", str(blocks), "vcd", start, stop) == changes
    assert blocks.read_text() == whole.read_text()

def test_vcd_export_of_a_deep_hierarchy(tmp_path):
    w = trelm.loads(deep_vcd_text(3000))
    deep = [n for n in w if n.endswith(".a")]
    path = tmp_path / "deep.vcd"
    export(w, deep, str(path), "vcd")
    text = path.read_text()
    assert "empty" not in text and text.count("$scope") == text.count("$upscope") == 3000
    _same_on_time(w, trelm.open(path), deep)


@pytest.mark.parametrize("scope,name,value", [("top", "a b", "idle"), ("my top", "a", "idle"), ("top", "a", "s idle")])
def test_vcd_export_refuses_what_vcd_cannot_hold(tmp_path, scope, name, value):
    import fst_writer as fw

    hierarchy = [fw.scope(scope), fw.var(name, 0, var_type=21), fw.upscope()]
    block = fw.vc_block([0xFFFFFFFF], [0, 1], {0: [(0, value)]}, frame=[None], start=0)
    path = tmp_path / "strings.fst"
    path.write_bytes(fw.simple_file([0xFFFFFFFF], hierarchy, [block]))
    w = trelm.open(path)
    with pytest.raises(ValueError, match="cannot be written to VCD"):
        export(w, list(w.signals.values()), str(tmp_path / "out.vcd"), "vcd")


@pytest.mark.skipif(not shutil.which("vcd2fst") or not shutil.which("fst2vcd"), reason="needs GTKWave's tools")
def test_vcd_export_through_gtkwave_tools(tmp_path):
    w = trelm.open(CPU)
    exported, fst, again = tmp_path / "out.vcd", tmp_path / "out.fst", tmp_path / "again.vcd"
    export(w, ["top.cpu.*", "top.temperature"], str(exported), "vcd")
    subprocess.run(["vcd2fst", str(exported), str(fst)], check=True, capture_output=True)
    subprocess.run(["fst2vcd", "-o", str(again), str(fst)], check=True, capture_output=True)
    for converted in (fst, again):
        _same_on_time(w, trelm.open(converted), ["top.cpu.*", "top.temperature"])


def _fst_of(tmp_path, vcd):
    if not shutil.which("vcd2fst"):
        pytest.skip("needs vcd2fst")
    path = tmp_path / (vcd.stem + ".fst")
    subprocess.run(["vcd2fst", str(vcd), str(path)], check=True, capture_output=True)
    return path


FST = DATA / "fst"
CONVERSIONS = {"cpu": (CPU, None), "counter": (FST / "counter.vcd", FST / "counter_lz4.fst"),
               "mixed": (FST / "mixed.vcd", FST / "mixed_gzip.fst"),
               "verilated": (FST / "verilated.vcd", FST / "verilated.fst")}


@pytest.mark.parametrize("name", CONVERSIONS)
def test_diff_against_fst_conversion_finds_nothing(tmp_path, name):
    vcd, fst = CONVERSIONS[name]
    result = trelm.diff(vcd, fst or _fst_of(tmp_path, vcd))
    assert result.same and result.compared == len(trelm.open(vcd)), result


def test_diff_reports_one_changed_value(tmp_path):
    text = CPU.read_text()
    at = text.index("#185\n")
    changed = tmp_path / "changed.vcd"
    changed.write_text(text[:at] + text[at:].replace("b10001 +", "b10011 +", 1))  # top.cpu.pc: 17 -> 19
    renamed = tmp_path / "renamed.vcd"
    renamed.write_text(text.replace(" rst $end", " reset $end", 1))
    result = trelm.diff(CPU, changed)
    assert [(d.name, d.first_time, d.count, d.a, d.b) for d in result.signals] == [("top.cpu.pc", 185, 1, 17, 19)]
    assert (result.compared, result.only_in_a, result.only_in_b) == (20, (), ())
    renamed_result = trelm.diff(CPU, renamed)
    assert (renamed_result.only_in_a, renamed_result.only_in_b, renamed_result.signals) == (
        ("top.rst",), ("top.reset",), ())
    assert trelm.diff(trelm.loads(GLITCHY), trelm.loads(CANONICAL)).same
    late = trelm.diff(trelm.loads(GLITCHY), trelm.loads(CANONICAL.replace("#20\nb1x", "#21\nb1x")))
    assert [(d.name, d.first_time, d.count, d.a, d.b) for d in late.signals] == [("b", 20, 1, "001x", 1)]


@pytest.mark.parametrize("call, module, extra", [
    (lambda w, p: w.plot("top.clk"), "matplotlib", "plot"),
    (lambda w, p: w.to_pandas("top.clk"), "pandas", "pandas"),
    (lambda w, p: export(w, "top.clk", str(p), "parquet"), "pyarrow", "parquet"),
])
def test_missing_extra_names_it(monkeypatch, tmp_path, call, module, extra):
    w = trelm.open(CPU)
    for name in [m for m in sys.modules if m == module or m.startswith(module + ".")]:
        monkeypatch.delitem(sys.modules, name)
    monkeypatch.setitem(sys.modules, module, None)
    with pytest.raises(MissingExtra, match=rf"pip install 'trelm\[{extra}\]'"):
        call(w, tmp_path / "out.parquet")
