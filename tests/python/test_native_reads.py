"""The exact reads of trelm._native against value_at, index by index."""

import os

import pytest

from trelm import _core, _native
from native_helpers import as_layout, decoded, exact_series, same, words

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DUMPS = [
    (os.path.join(ROOT, "examples", "cpu.vcd"), "vcd"),
    (os.path.join(ROOT, "tests", "data", "fst", "mixed_lz4.fst"), "fst"),
]


@pytest.fixture(scope="module", params=DUMPS, ids=lambda d: d[1])
def dump(request):
    return _native.load(*request.param)


@pytest.mark.parametrize("layout", ["u64", "f64", "object"])
def test_arrays_agree_with_value_at(dump, layout):
    trace, info = dump
    for signal in info["signals"]:
        _, sid, width, kind, _ = signal
        series = exact_series(trace, signal)
        expected = [as_layout(v, layout, kind) for v in series]
        values, known = _native.values(trace, sid, width, layout, 0, len(series) + 2)
        got = decoded(values, known, layout)
        assert all(same(a, b) for a, b in zip(got, expected + [as_layout(None, layout)] * 2)), signal
        assert len(got) == len(series) + 2

        points = [i for i, v in enumerate(series) if (series[i - 1] if i else None) != v]
        indices, values, known = _native.changes(trace, sid, width, layout)
        assert words(indices) == points, signal
        got = decoded(values, known, layout)
        assert all(same(a, expected[i]) for a, i in zip(got, points)), signal


def test_snapshot_and_changes_at_agree_with_value_at(dump):
    trace, info = dump
    series = {s[0]: exact_series(trace, s) for s in info["signals"]}
    for i in range(len(next(iter(series.values())))):
        assert _native.snapshot(trace, i) == {name: values[i] for name, values in series.items()}
        expected = [(name, v[i - 1], v[i]) for name, v in series.items() if i and v[i - 1] != v[i]]
        assert _native.changes_at(trace, i) == expected


def test_times_and_find_match_the_literal_surface(dump):
    trace, info = dump
    assert words(_native.times(trace)) == [trace.timestamp(i) for i in range(trace.max_index() + 1)]
    expr = _core.PyExpr.signal(info["signals"][0][1]).eq_(_core.PyExpr.const_int(1))
    for parallel in (False, True):
        assert words(_native.find(trace, expr, parallel)) == trace.find(expr)


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda t: _native.times(object()), TypeError),
        (lambda t: _native.value_at(t, -1, 1, 0), OverflowError),
        (lambda t: _native.changes(t, 0, 1, "u32"), ValueError),
        (lambda t: _native.values(t, 0, 1, "u64", 0, 2**62), MemoryError),
        (lambda t: _native.find(t, "top.clk", False), TypeError),
        (lambda t: _native.find(t, _core.PyExpr.always_true(), 1), TypeError),
        (lambda t: _native.snapshot(t), TypeError),
    ],
)
def test_argument_errors(dump, call, error):
    with pytest.raises(error):
        call(dump[0])


def test_unknown_ids_and_indices_read_no_value(dump):
    trace, _ = dump
    assert _native.value_at(trace, 10**6, 8, 0) is None
    assert _native.value_at(trace, 0, 1, 2**63) is None
    assert [words(a) for a in _native.changes(trace, 10**6, 8, "u64")] == [[], [], []]
    assert _native.changes_at(trace, 0) == []


@pytest.fixture(scope="module")
def wide_unknowns():
    # A signal declared 2**26 - 1 bits wide with 2**20 values of one digit
    # each: their texts, extended to the width, would take 64 TiB.
    changes = "".join(f"#{t}\nb{'xz'[t % 2]} !\n" for t in range(1 << 20))
    trace, info = _native.loads("$var wire 67108863 ! a $end\n$enddefinitions $end\n" + changes)
    _, sid, width, _, _ = info["signals"][0]
    return trace, sid, width


@pytest.mark.parametrize(
    "read",
    [
        lambda t, sid, width: _native.changes(t, sid, width, "object"),
        lambda t, sid, width: _native.values(t, sid, width, "object", 0, 1 << 20),
    ],
    ids=["changes", "values"],
)
def test_digit_texts_past_memory_are_a_memory_error(wide_unknowns, read):
    with pytest.raises(MemoryError):
        read(*wide_unknowns)


def test_wide_unknowns_still_read_one_by_one_and_as_words(wide_unknowns):
    trace, sid, width = wide_unknowns
    assert _native.value_at(trace, sid, width, 5) == "z" * width
    assert len(words(_native.changes(trace, sid, width, "u64")[0])) == 1 << 20
