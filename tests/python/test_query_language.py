"""Query texts compile to the trees one would build by hand with PyExpr."""

import numpy as np
import pytest

from trelm import PyExpr
from trelm.query import TraceNames, compile_query, spans

from query_support import OPERATORS, DictNames, signal, values

# Binary operators from lowest to highest precedence, one of each level.
LEVELS = ["||", "&&", "|", "^", "&", "==", "<", "+"]


def same(query_trace, query_names, text, expected):
    assert values(query_trace, compile_query(text, query_names)) == values(query_trace, expected), text


def combine(op, left, right):
    return OPERATORS[op][1](left, right)


@pytest.mark.parametrize("op", list(OPERATORS))
def test_binary_operators_are_left_associative(query_trace, query_names, op):
    a, b, c = (signal(query_trace, n) for n in ("top.a", "top.b", "top.d"))
    same(query_trace, query_names, f"top.a {op} top.b {op} top.d", combine(op, combine(op, a, b), c))
    same(query_trace, query_names, f"top.a {op} (top.b {op} top.d)", combine(op, a, combine(op, b, c)))


@pytest.mark.parametrize("low, high", [(LEVELS[k], LEVELS[k + 1]) for k in range(len(LEVELS) - 1)])
def test_each_level_binds_tighter_than_the_one_below(query_trace, query_names, low, high):
    a, b, c = (signal(query_trace, n) for n in ("top.a", "top.b", "top.d"))
    same(query_trace, query_names, f"top.a {low} top.b {high} top.d", combine(low, a, combine(high, b, c)))
    same(query_trace, query_names, f"top.a {high} top.b {low} top.d", combine(low, combine(high, a, b), c))


@pytest.mark.parametrize("op", ["<=", ">", ">=", "!=", "-"])
def test_operators_share_their_level(query_trace, query_names, op):
    partner = {"<=": "<", ">": "<", ">=": "<", "!=": "==", "-": "+"}[op]
    a, b, c = (signal(query_trace, n) for n in ("top.a", "top.b", "top.d"))
    same(query_trace, query_names, f"top.a {op} top.b {partner} top.d", combine(partner, combine(op, a, b), c))
    same(query_trace, query_names, f"top.a {partner} top.b {op} top.d", combine(op, combine(partner, a, b), c))


@pytest.mark.parametrize(
    "text, build",
    [
        ("!top.a + top.b", lambda a, b: a.not_().add(b)),
        ("!top.a[3]", lambda a, b: a.slice(3, 3).not_()),
        ("!!top.a", lambda a, b: a.not_().not_()),
        ("top.a[7:4][1]", lambda a, b: a.slice(7, 4).slice(1, 1)),
        ("(top.a + top.b)[8]", lambda a, b: a.add(b).slice(8, 8)),
        ("(top.a || top.b) && top.a", lambda a, b: a.or_(b).and_(a)),
        ("$past(top.a)[0]", lambda a, b: a.rel_eval(-1).slice(0, 0)),
        ("top.a[0x3]", lambda a, b: a.slice(3, 3)),
        ("true && top.a", lambda a, b: PyExpr.always_true().and_(a)),
    ],
)
def test_prefix_postfix_and_parentheses(query_trace, query_names, text, build):
    same(query_trace, query_names, text, build(signal(query_trace, "top.a"), signal(query_trace, "top.b")))


@pytest.mark.parametrize(
    "text, value",
    [
        ("42", 42),
        ("1_000", 1000),
        ("0x2A", 42),
        ("0XfF", 255),
        ("0b101010", 42),
        ("8'hFF", 255),
        ("16'h_ff_ff", 0xFFFF),
        ("'d10", 10),
        ("4'b1010", 10),
        ("6'O77", 63),
        ("18446744073709551615", 2**64 - 1),
        ("64'hFFFF_FFFF_FFFF_FFFF", 2**64 - 1),
        # Thousands of digits, past what the interpreter converts from decimal text.
        ("0" * 5000 + "7", 7),
        ("'d" + "0" * 5000 + "7", 7),
        ("9" * 5000 + "'h7", 7),
        ("0" * 5000 + "8'hFF", 255),
        ("1.5", 1.5),
        ("2e-3", 0.002),
        ("1E3", 1000.0),
        ("1_0.2_5e+1", 102.5),
        ('"top"', "top"),
        ('"say \\"hi\\" \\\\ bye"', 'say "hi" \\ bye'),
        ('""', ""),
    ],
)
def test_literals(query_trace, query_names, text, value):
    result = query_trace.eval_expr(compile_query(text, query_names), 0)
    assert result == value and type(result) is type(value)


@pytest.mark.parametrize(
    "text, build",
    [
        ("$past(top.a)", lambda x: x.rel_eval(-1)),
        ("$past(top.a, 3)", lambda x: x.rel_eval(-3)),
        ("$past(top.a, 0)", lambda x: x.rel_eval(0)),
        ("$future(top.a, 2)", lambda x: x.rel_eval(2)),
        ("$future(top.a)", lambda x: x.rel_eval(1)),
        ("$rose(top.a)", lambda x: x.and_(x.rel_eval(-1).not_())),
        ("$fell(top.a)", lambda x: x.not_().and_(x.rel_eval(-1))),
        ("$changed(top.a)", lambda x: x.neq(x.rel_eval(-1))),
        ("$stable(top.a)", lambda x: x.eq_(x.rel_eval(-1))),
        ("$signed(top.e)", lambda x: x.signed()),
        ("$isx(top.e)", lambda x: x.is_x()),
        ("$isz(top.e)", lambda x: x.is_z()),
        ("$isunknown(top.e)", lambda x: x.is_x().or_(x.is_z())),
    ],
)
def test_functions(query_trace, query_names, text, build):
    name = "top.e" if "top.e" in text else "top.a"
    same(query_trace, query_names, text, build(signal(query_trace, name)))


@pytest.fixture(scope="module")
def memory_names(query_trace):
    ids = {
        "top.mem": "top.a",
        "top.mem[3]": "top.b",
        "top.grid[1][2]": "top.d",
        "top.gen[0].x": "top.e",
        "weird name!": "top.u.f",
    }
    return DictNames({name: query_trace.signal_id(full) for name, full in ids.items()})


@pytest.mark.parametrize(
    "text, build",
    [
        ("top.mem[3]", lambda a, b, d, e, f: b),  # the memory word wins
        ("top.mem[4]", lambda a, b, d, e, f: a.slice(4, 4)),  # no such word: bit 4
        ("top.mem[3][1]", lambda a, b, d, e, f: b.slice(1, 1)),
        ("top.mem [3]", lambda a, b, d, e, f: b),
        ("top.mem[3:0]", lambda a, b, d, e, f: a.slice(3, 0)),
        ("`top.mem`[3]", lambda a, b, d, e, f: a.slice(3, 3)),  # backquotes name exactly
        ("(top.mem)[3]", lambda a, b, d, e, f: a.slice(3, 3)),
        ("top.grid[1][2][0]", lambda a, b, d, e, f: d.slice(0, 0)),
        ("top.gen[0].x[2]", lambda a, b, d, e, f: e.slice(2, 2)),
        ("`weird name!` + 1", lambda a, b, d, e, f: f.add(PyExpr.const_int(1))),
    ],
)
def test_longest_known_name_wins(query_trace, memory_names, text, build):
    signals = [signal(query_trace, n) for n in ("top.a", "top.b", "top.d", "top.e", "top.u.f")]
    same(query_trace, memory_names, text, build(*signals))


@pytest.mark.parametrize(
    "scope, text, full",
    [
        ("top.u", "f", "top.u.f"),  # in the scope
        ("top", "f", "top.u.f"),  # below it, found by resolve
        ("top.u", "top.a", "top.a"),  # a full name still works
        ("", "top.c", "top.c"),
    ],
)
def test_scope_is_searched_first(query_trace, scope, text, full):
    same(query_trace, TraceNames(query_trace, scope), text, signal(query_trace, full))


@pytest.mark.parametrize(
    "text",
    [
        " && ".join(f"top.{'abcd'[i % 4]}" for i in range(100_000)),
        "(" * 10_000 + "top.c" + ")" * 10_000,
        "!" * 10_001 + "top.c",
        "$past(" * 10_000 + "top.c" + ")" * 10_000,
        "top.c" + "[0]" * 10_000,
        "top.c + (" * 10_000 + "1" + ")" * 10_000,
    ],
)
def test_long_and_deep_texts_compile(query_trace, query_names, text):
    expr = compile_query(text, query_names)
    assert query_trace.find(expr) == query_trace.parallel_find(expr)


def test_deep_texts_keep_their_meaning(query_trace, query_names):
    c = signal(query_trace, "top.c")
    same(query_trace, query_names, "!" * 10_001 + "top.c", c.not_())
    same(query_trace, query_names, "$past(" * 5 + "top.c" + ")" * 5, c.rel_eval(-5))


@pytest.mark.parametrize(
    "indices, runs",
    [
        ([], []),
        ([7], [(7, 7)]),
        ([0, 1, 2, 5, 7, 8], [(0, 2), (5, 5), (7, 8)]),
        (np.array([3, 4, 2**64 - 1], dtype=np.uint64), [(3, 4), (2**64 - 1, 2**64 - 1)]),
    ],
)
def test_spans(indices, runs):
    result = spans(indices)
    assert result.dtype == np.uint64 and result.shape == (len(runs), 2)
    assert [tuple(int(v) for v in row) for row in result] == runs
