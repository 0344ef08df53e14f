"""The trelm command: every subcommand's JSON against the Python API on the
bundled dumps, exit statuses, and the errors of bad arguments and dumps."""

import io
import json
import subprocess
import sys
from pathlib import Path

import pytest

import trelm
from dump_makers import deep_vcd_text
from trelm.cli import SUBCOMMANDS, main
from trelm.progress import DelayedBar

DATA = Path(__file__).resolve().parents[1] / "data"
CPU = str(Path(__file__).resolve().parents[2] / "examples" / "cpu.vcd")
DUMPS = [CPU, str(DATA / "front" / "exact.vcd"), str(DATA / "fst" / "counter_lz4.fst"),
         str(DATA / "fst" / "mixed_zlib.fst"), str(DATA / "fst" / "verilated.fst")]


def run(capsys, *argv):
    status = main([str(a) for a in argv])
    out, err = capsys.readouterr()
    return status, out, err


def data_of(capsys, *argv, status=0):
    code, out, err = run(capsys, *argv, "--json")
    assert code == status and err == "", err  # no progress bar when stderr is no terminal
    document = json.loads(out)
    assert document["command"] == argv[0] and set(document) == {"command", "arguments", "data"}
    return document["data"]


@pytest.fixture(scope="module", params=DUMPS, ids=lambda p: Path(p).name)
def dump(request):
    return request.param, trelm.open(request.param)


def test_info_and_ls(capsys, dump):
    path, w = dump
    info = data_of(capsys, "info", path)
    distinct = {s.id: s for s in w.signals.values()}
    assert (info["format"], info["indices"], info["signals"], info["scopes"]) == (
        w.format, w.index_count, len(w), len(w.trace.scopes()))
    assert (info["start"], info["end"]) == (w.time_of(0), w.time_of(-1))
    assert info["value_changes"] == sum(len(s.changes().indices) for s in distinct.values())
    listed = data_of(capsys, "ls", path)
    assert [(s["name"], s["width"], s["kind"]) for s in listed] == [(s.name, s.width, s.kind)
                                                                    for s in w.signals.values()]
    tree, names = [data_of(capsys, "ls", path, "--tree")], []
    while tree:
        node = tree.pop()
        names += [s["full_name"] for s in node["signals"]]
        tree += node["scopes"]
    assert sorted(names) == sorted(w)


def test_ls_tree_of_a_deep_hierarchy(capsys, tmp_path):
    path = tmp_path / "deep.vcd"
    path.write_text(deep_vcd_text(3000))
    status, out, err = run(capsys, "ls", path, "--tree", "m0.*")
    lines = out.splitlines()
    assert (status, err, len(lines)) == (0, "", 3001) and "empty" not in out
    assert lines[-1].split() == ["a", "1", "bits", "wire"] and lines[-1].startswith("  " * 3000 + "a")
    status, out, err = run(capsys, "ls", path, "--tree", "m0.*", "--json")
    limit = sys.getrecursionlimit()
    sys.setrecursionlimit(20_000)  # Python's own JSON reader recurses
    try:
        node, depth = json.loads(out)["data"], 0
    finally:
        sys.setrecursionlimit(limit)
    while node["scopes"]:
        node, depth = node["scopes"][0], depth + 1
    assert depth == 3000 and node["signals"][0]["name"] == "a"


def test_value_and_changes(capsys, dump):
    path, w = dump
    for index in {0, w.index_count // 2, w.index_count - 1}:
        got = data_of(capsys, "value", path, "*", "--index", index)
        assert got == {"index": index, "time": w.time_of(index), "values": w.snapshot(index)}
        assert data_of(capsys, "value", path, *w, "--at", w.time_of(index))["values"] == w.snapshot(
            time=w.time_of(index))
    for signal in w.signals.values():
        changes = signal.changes(exact=True)
        expected = [{"time": t, "index": i, "value": v}
                    for t, i, v in zip(changes.times.tolist(), changes.indices.tolist(), changes.values)]
        assert data_of(capsys, "changes", path, signal.name)["changes"] == expected
    middle = w.time_of(w.index_count // 2)
    window = data_of(capsys, "changes", path, signal.name, "--from", middle, "--to", middle)["changes"]
    assert [c["index"] for c in window] == [i for i in signal.changes().indices.tolist()
                                            if w._step_times()[i] == middle]


def test_stats(capsys, dump):
    path, w = dump
    for entry in data_of(capsys, "stats", path, "*"):
        signal = w[entry["name"]]
        stats = w.trace.signal_stats(signal.name)
        assert [entry[k] for k in ("min", "max", "sum", "count", "transitions", "num_x", "num_z")] == list(stats)
        assert entry["changes"] == len(signal.changes().indices)


def test_plot_and_export(capsys, tmp_path, dump):
    pytest.importorskip("matplotlib")
    path, w = dump
    names = list(w)[:3]
    picture = tmp_path / "wave.png"
    assert data_of(capsys, "plot", path, *names, "-o", picture) == {
        "output": str(picture), "signals": names, "start": w.time_of(0), "stop": w.time_of(-1)}
    assert picture.read_bytes()[:4] == b"\x89PNG"
    table = tmp_path / "out.jsonl"
    written = data_of(capsys, "export", path, "--signals", "*", "-o", table, "--on", "index")
    assert written["rows"] == w.index_count == len(table.read_text().splitlines())
    assert written["format"] == "jsonl" and written["signals"] == list(w)


@pytest.mark.parametrize("argv, start", [
    (["export", "--signals", "*", "--on", "index", "-o", "{tmp}/out.csv"], 5),
    (["export", "--signals", "*", "-o", "{tmp}/out.vcd"], 5),
    (["export", "--signals", "*", "-o", "{tmp}/out.jsonl"], 10**30),
    (["plot", "top.clk", "top.cpu.pc", "top.temperature", "-o", "{tmp}/wave.png"], 5),
    (["plot", "top.clk", "top.cpu.pc", "top.temperature", "-o", "{tmp}/wave.png"], 10**30),
])
def test_window_past_the_largest_time(capsys, tmp_path, argv, start):
    """A time past 2**64 - 1 (no dump holds such a time) is after every sample."""
    if argv[0] == "plot":
        pytest.importorskip("matplotlib")
    w = trelm.open(CPU)
    words = [a.format(tmp=tmp_path) for a in argv]
    got = data_of(capsys, words[0], CPU, *words[1:], "--from", start, "--to", 10**30)
    assert (got["start"], got["stop"]) == (min(start, 2**64 - 1), 2**64 - 1)
    if "rows" in got:
        assert got["rows"] == max(int((w.times >= start).sum()), 1)


QUERIES = {"cpu.vcd": ["top.cpu.valid && top.cpu.pc > 30", "$rose(top.clk)", "top.cpu.pc == 200"],
           "counter_lz4.fst": ["counter_tb.en && !counter_tb.clk"]}


@pytest.mark.parametrize("name, query", [(n, q) for n, qs in QUERIES.items() for q in qs])
def test_find(capsys, name, query):
    path = CPU if name == "cpu.vcd" else str(DATA / "fst" / name)
    w = trelm.open(path)
    found = w.find(query)
    status = 0 if len(found) else 1
    matches = data_of(capsys, "find", path, query, status=status)
    assert matches["matches"] == [{"index": int(i), "time": w.time_of(i)} for i in found]
    assert data_of(capsys, "find", path, query, "--count", status=status) == {"query": query,
                                                                               "count": len(found)}
    spans = data_of(capsys, "find", path, query, "--spans", "--limit", 2, status=status)
    assert [[s["first_index"], s["last_index"]] for s in spans["spans"]] == w.spans(query)[:2].tolist()
    assert spans["truncated"] == (len(w.spans(query)) > 2)


def test_every_subcommand_has_help_with_examples(capsys):
    for name in SUBCOMMANDS:
        status, out, _ = run(capsys, name, "--help")
        assert status == 0 and "examples:" in out and f"trelm {name}" in out and "--json" in out


def _damaged_fst(tmp_path):
    path = tmp_path / "cut.fst"
    path.write_bytes((DATA / "fst" / "counter_lz4.fst").read_bytes()[:300])
    return path


@pytest.mark.parametrize("argv, status, message", [
    ([], 2, "SUBCOMMAND"),
    (["frobnicate", CPU], 2, "invalid choice"),
    (["value", CPU, "top.cpu.pc"], 2, "--at"),
    (["value", CPU, "top.cpu.pc", "--at", "5", "--index", "1"], 2, "not allowed"),
    (["value", CPU, "top.cpu.pc", "--at", "-5"], 2, "negative"),
    (["value", CPU, "top.cpu.pc", "--index", "9999"], 2, "outside"),
    (["value", CPU, "top.cpu.pcc", "--at", "5"], 2, "did you mean 'top.cpu.pc'"),
    (["ls", CPU, "--tree", "top.*", "--bogus"], 2, "unrecognized"),
    (["find", CPU, "top.cpu.pc >"], 2, "bad query"),
    (["find", CPU, "top.cpu.pc > 1", "--limit", "many"], 2, "not a count"),
    (["find", CPU, "top.cpu.pc > 1", "--count", "--spans"], 2, "not allowed"),
    (["plot", CPU, "top.clk", "-o", "{tmp}/wave.gif"], 2, ".png"),
    (["export", CPU, "--signals", "top.clk", "-o", "{tmp}/out.txt"], 2, "--format"),
    (["export", CPU, "--signals", "top.clk", "-o", "{tmp}/missing/out.csv"], 2, "No such file"),
    (["export", CPU, "--signals", "top.clk", "--from", "300", "--to", "100", "-o", "{tmp}/o.csv"], 2, "before"),
    (["info", "{tmp}/missing.vcd"], 3, "missing.vcd: No such file"),
    (["info", "{tmp}"], 3, "without SHM files"),
    (["ls", "{readme}"], 3, "matches no dump format"),
    (["stats", "{cut}", "*"], 3, "cannot load as FST"),
    (["diff", CPU, "{tmp}/missing.fst"], 3, "No such file"),
])
def test_exit_statuses(capsys, tmp_path, argv, status, message):
    places = {"tmp": tmp_path, "readme": Path(CPU).parents[1] / "README.md", "cut": _damaged_fst(tmp_path)}
    code, out, err = run(capsys, *[a.format(**places) for a in argv])
    assert code == status and message in err and "Traceback" not in err
    if status == 3:
        assert err.count("\n") == 1 and err.startswith("trelm: ")


def test_diff_statuses(capsys, tmp_path):
    changed = tmp_path / "changed.vcd"
    changed.write_text(Path(CPU).read_text().replace("b1111 )", "b1110 )", 1))
    assert data_of(capsys, "diff", CPU, CPU)["same"] is True
    got = data_of(capsys, "diff", CPU, changed, status=1)
    assert [s["name"] for s in got["signals"]] == ["top.cpu.result"]
    assert data_of(capsys, "diff", CPU, changed, "top.cpu.pc", "top.clk") == {
        "a": CPU, "b": str(changed), "same": True, "compared": 2, "signals": [], "only_in_a": [], "only_in_b": []}


def test_diff_of_some_signals_loads_only_those(capsys, monkeypatch):
    import trelm.cli.arguments

    asked = []
    monkeypatch.setattr(trelm.cli.arguments, "open_dump",
                        lambda path, signals=None, **kw: asked.append(signals) or trelm.open(path, signals=signals))
    assert data_of(capsys, "diff", CPU, CPU, "top.cpu.*")["compared"] == len(trelm.open(CPU).glob("top.cpu.*"))
    assert asked == [["top.cpu.*"]] * 2

@pytest.mark.parametrize("argv, status", [(["info", CPU, "--json"], 0), (["info", "missing.vcd"], 3)])
def test_python_dash_m(argv, status):
    done = subprocess.run([sys.executable, "-m", "trelm", *argv], capture_output=True, text=True)
    assert done.returncode == status and "Traceback" not in done.stderr
    if status == 0:
        assert json.loads(done.stdout)["data"]["path"] == CPU


@pytest.mark.parametrize("delay, calls, drawn", [
    (0, [(0, 100), (50, 100), (100, 100)], True),
    (60, [(0, 100), (50, 100), (100, 100)], False),  # a load shorter than the delay
    (0, [(100, 100)], False),  # first heard of when done: nothing to show
])
def test_progress_bar(delay, calls, drawn):
    pytest.importorskip("tqdm")
    stream = io.StringIO()
    bar = DelayedBar("run.vcd", delay=delay, stream=stream)
    for done, total in calls:
        bar(done, total)
    bar.close()
    assert ("run.vcd" in stream.getvalue()) == drawn
