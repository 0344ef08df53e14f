"""trelm.open(path, signals=...): the chosen signals of every format hold the
values of the whole load, and a query over the names it mentions answers as
over the whole dump."""

from fnmatch import fnmatchcase
from pathlib import Path

import pytest

import trelm
from dump_makers import write_dump
from trelm.query.mentions import mentioned_names

FRONT = Path(__file__).resolve().parents[1] / "data" / "front"
EXACT = {"vcd": FRONT / "exact.vcd", "vcd.gz": FRONT / "exact.vcd.gz", "fst": FRONT / "exact.fst"}
MADE = {"vcd": ["top.c*"], "vcd.gz": ["top.err"], "fst": ["top.c*"], "wlf": ["top.b"], "shm": ["top.s?"],
        "vpd": ["*.s1", "top.v4.s3"], "fsdb": ["top.b"]}


def cases():
    for format, patterns in MADE.items():
        yield pytest.param(format, patterns, id=f"made-{format}")
    for format in EXACT:
        yield pytest.param(format, ["top.mem*", "top.wide", "top.state", "top.u"], id=f"exact-{format}")


@pytest.mark.parametrize("format, patterns", list(cases()))
def test_chosen_signals_hold_the_whole_loads_values(tmp_path, format, patterns):
    path = EXACT[format] if "top.mem*" in patterns else write_dump(tmp_path, 4, format)
    whole = trelm.open(path)
    chosen = trelm.open(path, signals=patterns)
    expected = [n for n in whole if any(fnmatchcase(n, p) for p in patterns)]
    assert expected and list(chosen) == expected
    assert chosen.times.tolist() == whole.times.tolist()
    for name in expected:
        assert list(chosen[name].values(exact=True)) == list(whole[name].values(exact=True)), name


@pytest.mark.parametrize("format", list(EXACT))
@pytest.mark.parametrize("query", ["top.mem[1] == 3", "top.mem[0][2] && top.temp > 1", "top.data[0] || top.wide[127]"])
def test_a_query_over_the_names_it_mentions_answers_as_over_the_whole_dump(format, query):
    path = EXACT[format]
    chosen = trelm.open(path, signals=mentioned_names(query))
    assert chosen.find(query).tolist() == trelm.open(path).find(query).tolist()
    assert len(chosen) < len(trelm.open(path))


def test_mentioned_names():
    assert mentioned_names("$rose(top.mem[3][1]) && top.x[7:4] == 2 || `odd name` != top.x") == [
        "top.mem", "top.mem[3]", "top.mem[3][1]", "top.x", "odd name"]
