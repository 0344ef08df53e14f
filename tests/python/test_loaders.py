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
