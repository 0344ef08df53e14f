"""Expressions and the query methods, through the Python surface."""

import pytest

from trelm import PyExpr, PyTrace

from conftest import SIGNAL_NAMES

TRUE = PyExpr.always_true()


def sig(trace, name):
    return PyExpr.signal(trace.signal_id(name))


def const(n):
    return PyExpr.const_int(n)


@pytest.mark.parametrize(
    "build, index, result",
    [
        (lambda t: const(2**64 - 1), 0, 2**64 - 1),
        (lambda t: PyExpr.const_float(1.25), 0, 1.25),
        (lambda t: PyExpr.const_str("héllo"), 0, "héllo"),
        (lambda t: sig(t, "top.data"), 1, 15),
        (lambda t: sig(t, "top.temp"), 2, -1.5),
        (lambda t: sig(t, "top.bus"), 0, None),  # Logic reads as None
        (lambda t: sig(t, "rst"), 0, None),  # Unknown
        (lambda t: sig(t, "top.data"), 4, None),  # past the end
        (lambda t: PyExpr.signal(10**6), 0, None),  # an id no signal has
        (lambda t: sig(t, "top.data").add(const(1)), 0, 6),
        (lambda t: const(0).sub(const(1)), 0, 2**64 - 1),
        (lambda t: sig(t, "top.bus").gt_(const(5)), 0, None),
        (lambda t: sig(t, "top.data").slice(3, 5), 1, 0),
        (lambda t: sig(t, "top.data").rel_eval(-1), 1, 5),
        (lambda t: sig(t, "top.data").rel_eval(-1), 0, None),
    ],
)
def test_eval_expr_converts_results(trace, build, index, result):
    value = trace.eval_expr(build(trace), index)
    assert value == result and type(value) is type(result)


def test_eval_expr_bool(trace):
    assert trace.eval_expr_bool(sig(trace, "rst"), 0) is False
    assert trace.eval_expr_bool(sig(trace, "top.clk"), 1) is True
    assert trace.eval_expr_bool(TRUE, 2**64 - 1) is True


def test_combinators_copy_their_operands(trace):
    a = sig(trace, "top.clk")
    b = a.not_()
    both = a.and_(a)
    assert [trace.eval_expr_bool(a, i) for i in range(4)] == [False, True, False, False]
    assert [trace.eval_expr_bool(b, i) for i in range(4)] == [True, False, True, True]
    assert [trace.eval_expr_bool(both, i) for i in range(4)] == [False, True, False, False]
    del a
    assert trace.find(b) == [0, 2, 3]


@pytest.mark.parametrize(
    "build",
    [
        lambda t: TRUE,
        lambda t: TRUE.not_(),
        lambda t: sig(t, "top.clk").eq_(const(1)),
        lambda t: sig(t, "top.data").neq(const(15)),
        lambda t: sig(t, "top.sub.b").is_x().or_(sig(t, "topx.d").is_z()),
        lambda t: sig(t, "top.clk").neq(sig(t, "top.clk").rel_eval(-1)),
    ],
)
def test_searches_agree(trace, build):
    expr = build(trace)
    found = trace.find(expr)
    assert found == sorted(set(found))
    assert trace.parallel_find(expr) == found
    assert trace.parallel_count(expr) == len(found)
    rows = trace.find_with_values(expr, ["top.data", "nope", "top.clk"])
    assert [i for i, _ in rows] == found
    for i, values in rows:
        assert values == [trace.signal_value("top.data", i), None, trace.signal_value("top.clk", i)]
    assert trace.find_with_values(expr, []) == [(i, []) for i in found]


def test_searches_on_an_empty_trace(empty_trace):
    assert empty_trace.find(TRUE) == [0]
    assert empty_trace.parallel_count(TRUE) == 1
    assert empty_trace.find_with_values(TRUE, ("a",)) == [(0, [None])]


def test_changed_at(trace):
    assert trace.changed_at(0) == []
    assert trace.changed_at(1) == [("top.clk", 0, 1), ("top.data", 5, 15), ("top.sub.clk_alias", 0, 1)]
    assert trace.changed_at(3) == [("topx.d", 0, None)]
    past_end = trace.changed_at(4)
    assert [name for name, _, _ in past_end] == [n for n in SIGNAL_NAMES if n not in ("rst", "top.sub.b")]
    assert all(new is None for _, _, new in past_end)
    assert trace.changed_at_scope(1, "top.sub") == [("top.sub.clk_alias", 0, 1)]
    assert trace.changed_at_scope(3, "top") == []
    assert trace.changed_at_scope(3, "topx") == [("topx.d", 0, None)]


def test_transitions(trace):
    assert trace.transitions("top.clk") == [(1, 0, 1), (2, 1, 0)]
    assert trace.transitions("top.bus") == [(2, None, 10)]
    assert trace.transitions("top.temp") == [(2, 2.5, -1.5)]
    assert trace.transitions("nope") == []


@pytest.mark.parametrize(
    "name, stats",
    [
        ("top.data", (5, 15, 50, 4, 1, 0, 0)),
        ("top.bus", (10, 10, 20, 2, 1, 2, 2)),
        ("top.temp", (0, 0, 0, 0, 1, 0, 0)),
        ("top.sub.b", (1, 1, 2, 2, 1, 2, 0)),
        ("nope", (0, 0, 0, 0, 0, 0, 0)),
    ],
)
def test_signal_stats(trace, name, stats):
    assert trace.signal_stats(name) == stats


def test_name_queries(trace):
    assert trace.resolve("top", "clk") == "top.clk"
    assert trace.resolve("top", "b") == "top.sub.b"
    assert trace.resolve("top", "xyz") is None
    assert trace.local_signals("top") == ["top.clk", "top.data", "top.temp", "top.bus"]
    assert trace.local_signals("") == ["rst"]
    assert trace.local_scopes("top") == ["top.sub"]
    assert trace.local_scopes("") == ["top", "topx"]
    assert trace.find_signals_glob("top.*") == SIGNAL_NAMES[:6]
    assert trace.find_signals_glob("*.d") == ["topx.d"]
    assert trace.find_signals_containing("CLK") == ["top.clk", "top.sub.clk_alias"]
    assert trace.find_signals_containing("") == SIGNAL_NAMES


def test_deep_expression_chain():
    t = PyTrace.from_vcd_string("$var wire 1 ! a $end\n#0\n1!\n#1\n0!\n#2\n1!\n")
    leaf = PyExpr.signal(0)
    expr = leaf
    for _ in range(20000):
        expr = expr.and_(leaf)
    assert t.eval_expr_bool(expr, 0) is True
    assert t.find(expr) == t.parallel_find(expr) == [0, 2]
    del expr


@pytest.fixture(scope="module")
def long_trace():
    """A clock and a slow counter over 150,000 time stamps: several pieces of a
    streamed search, with an x value now and then on the counter."""
    lines = ["$timescale 1ns $end", "$var wire 1 ! clk $end", "$var wire 4 # cnt $end", "$enddefinitions $end"]
    for t in range(150_000):
        lines.append(f"#{t}")
        lines.append(f"{t % 2}!")
        if t % 1000 == 0:
            lines.append("bx10x #" if t % 7000 == 0 else f"b{(t // 1000) % 16:b} #")
    return PyTrace.from_vcd_string("\n".join(lines) + "\n")


def expected_matches(trace, expr):
    return [i for i in range(trace.max_index() + 1) if trace.eval_expr_bool(expr, i)]


@pytest.mark.parametrize(
    "build",
    [
        lambda c, n: c.and_(c.rel_eval(-1).not_()),
        lambda c, n: c.eq_(const(1)),
        lambda c, n: n.eq_(const(3)),
        lambda c, n: n.rel_eval(500).gt_(const(9)).or_(c),
        lambda c, n: n.eq_(PyExpr.const_float(3.0)),
    ],
)
def test_long_searches_equal_per_index_evaluation(long_trace, build):
    expr = build(sig(long_trace, "clk"), sig(long_trace, "cnt"))
    expected = expected_matches(long_trace, expr)
    assert long_trace.find(expr) == expected
    assert long_trace.parallel_find(expr) == expected
    assert long_trace.parallel_count(expr) == len(expected)


def test_searches_from_several_threads(long_trace):
    from concurrent.futures import ThreadPoolExecutor

    clk = sig(long_trace, "clk")
    rising = clk.and_(clk.rel_eval(-1).not_())
    expected = list(range(1, long_trace.max_index() + 1, 2))
    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda k: long_trace.find(rising) if k % 2 else long_trace.parallel_find(rising), range(8)))
    assert all(r == expected for r in results)
