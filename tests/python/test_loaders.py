"""The static loaders: reader errors, paths, and equal traces from file and text."""

import pytest

from trelm import PyTrace

FILE_LOADERS = ["from_vcd", "from_fst", "from_fsdb", "from_shm", "from_vpd", "from_wlf"]


def contents(trace):
    names = trace.signal_names()
    return (
        names,
        trace.scopes(),
        [trace.timestamp(i) for i in range(trace.max_index() + 2)],
        {name: trace.signal_values_range(name, 0, trace.max_index() + 2) for name in names},
    )


def test_file_and_text_give_the_same_trace(trace, vcd_path):
    assert contents(PyTrace.from_vcd(str(vcd_path))) == contents(trace)


def test_missing_file_raises_the_reader_text(tmp_path):
    path = str(tmp_path / "missing.vcd")
    with pytest.raises(ValueError) as info:
        PyTrace.from_vcd(path)
    assert info.value.args == (f"Failed to open {path}: No such file or directory (os error 2)",)


@pytest.mark.parametrize("loader", FILE_LOADERS)
def test_path_with_nul_fails_like_an_unopenable_file(vcd_path, loader):
    # The file before the NUL exists: the path must not be cut short there.
    with pytest.raises(ValueError) as info:
        getattr(PyTrace, loader)(str(vcd_path) + "\0tail")
    assert len(info.value.args) == 1
    if loader == "from_vcd":
        assert info.value.args[0].startswith("Failed to open ")


@pytest.mark.parametrize("loader", FILE_LOADERS)
def test_every_file_loader_raises_value_error_for_a_missing_file(tmp_path, loader):
    with pytest.raises(ValueError):
        getattr(PyTrace, loader)(str(tmp_path / "missing"))


def test_path_is_used_as_given(tmp_path, monkeypatch, vcd_text):
    (tmp_path / "rel.vcd").write_text(vcd_text)
    monkeypatch.chdir(tmp_path)
    assert PyTrace.from_vcd("rel.vcd").max_index() == 3
    with pytest.raises(ValueError):
        PyTrace.from_vcd("~/rel.vcd")


def test_non_ascii_path(tmp_path, vcd_text):
    path = tmp_path / "dümp ü.vcd"
    path.write_text(vcd_text)
    assert PyTrace.from_vcd(str(path)).max_index() == 3


def test_trace_outlives_other_references(vcd_text):
    traces = [PyTrace.from_vcd_string(vcd_text) for _ in range(3)]
    del traces[0]
    assert traces[1].signal_value("top.data", 1) == 15


def test_directory_path_fails_to_open(tmp_path):
    with pytest.raises(ValueError) as info:
        PyTrace.from_vcd(str(tmp_path))
    assert info.value.args[0].startswith(f"Failed to open {tmp_path}: ")


@pytest.mark.parametrize("source", ["file", "string"])
def test_deeply_nested_scopes_exceed_the_name_budget(tmp_path, source):
    # Every scope path and full name repeats the whole stack: the names of
    # these 10,000 levels (460 kB) would take more than a gigabyte.
    text = "$scope module inner $end\n$var wire 1 ! v $end\n" * 10_000
    path = tmp_path / "deep.vcd"
    path.write_text(text)
    with pytest.raises(MemoryError):
        PyTrace.from_vcd(str(path)) if source == "file" else PyTrace.from_vcd_string(text)


def _large_dump():
    """A dump of a few megabytes (read on several threads), with its expected
    values: a clock, a counter with X now and then, and a signal declared
    half-way through."""
    lines = ["$scope module top $end", "$var wire 1 ! clk $end", "$var wire 8 \" count [7:0] $end",
             "$upscope $end", "$enddefinitions $end"]
    steps = 120_000
    clk, count, late = [], [], []
    c = 0
    for t in range(steps):
        lines.append(f"#{t * 5}")
        lines.append(f"{t % 2}!")
        if t % 7 == 3:
            lines.append("bx1 \"")
            c = None
        elif t % 3 == 0:
            c = (t // 3) % 256
            lines.append(f"b{c:b} \"")
        if t == steps // 2:
            lines += ["$scope module top $end", "$var wire 4 # late $end", "$upscope $end"]
        if t >= steps // 2 and t % 11 == 0:
            lines.append(f"b{t % 16:b} #")
            late.append(t % 16)
        else:
            late.append(late[-1] if late and t > steps // 2 else None)
        clk.append(t % 2)
        count.append(c)
    text = "\n".join(lines) + "\n"
    return text, {"top.clk": clk, "top.count": count, "top.late": late}


def test_large_dump_read_in_pieces(tmp_path):
    text, expected = _large_dump()
    assert len(text) > 2**20
    path = tmp_path / "large.vcd"
    path.write_text(text)
    for trace in (PyTrace.from_vcd(str(path)), PyTrace.from_vcd_string(text)):
        assert trace.signal_names() == ["top.clk", "top.count", "top.late"]
        assert trace.max_index() == len(expected["top.clk"]) - 1
        assert trace.timestamp(trace.max_index()) == 5 * trace.max_index()
        for name, values in expected.items():
            assert trace.signal_values_range(name, 0, len(values)) == values, name
