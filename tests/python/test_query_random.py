"""Random trees printed as text compile back to the trees they were printed from."""

import random

import pytest

from trelm import PyExpr, QueryError
from trelm.query import compile_query

from query_support import NOT_PRECEDENCE, OPERATORS, SIGNALS, signal, values

ATOM = NOT_PRECEDENCE + 1  # names, literals, calls and bit selections
FUNCTIONS = {
    "$rose": lambda x: x.and_(x.rel_eval(-1).not_()),
    "$fell": lambda x: x.not_().and_(x.rel_eval(-1)),
    "$changed": lambda x: x.neq(x.rel_eval(-1)),
    "$stable": lambda x: x.eq_(x.rel_eval(-1)),
    "$signed": PyExpr.signed,
    "$isx": PyExpr.is_x,
    "$isz": PyExpr.is_z,
    "$isunknown": lambda x: x.is_x().or_(x.is_z()),
}


class Tree:
    """A tree as PyExpr, as fully parenthesised text, and with only needed parentheses."""

    def __init__(self, expr, full, minimal, precedence=ATOM):
        self.expr, self.full, self.minimal, self.precedence = expr, full, minimal, precedence

    def wrapped(self, below):
        return f"({self.minimal})" if self.precedence < below else self.minimal


def literal(rng):
    value = rng.choice([0, 1, 3, 5, 15, 200, 255, 2**64 - 1, rng.getrandbits(16)])
    width = max(1, value.bit_length()) + rng.randrange(3)
    text = rng.choice([str(value), f"0x{value:X}", f"0b{value:b}", f"{width}'h{value:x}", f"'d{value}"])
    return Tree(PyExpr.const_int(value), text, text)


def leaf(rng, t):
    pick = rng.random()
    if pick < 0.7:
        name = rng.choice(SIGNALS)[0]
        return Tree(signal(t, name), name, name)
    if pick < 0.95:
        return literal(rng)
    if pick < 0.98:
        value = rng.choice([0.0, 1.5, 2.0, 300.5])
        return Tree(PyExpr.const_float(value), repr(value), repr(value))
    return Tree(PyExpr.always_true(), "true", "true")


def tree(rng, t, depth):
    if depth == 0 or rng.random() < 0.2:
        return leaf(rng, t)
    pick = rng.random()
    if pick < 0.6:
        op = rng.choice(list(OPERATORS))
        precedence, combine = OPERATORS[op]
        left, right = tree(rng, t, depth - 1), tree(rng, t, depth - 1)
        expr = combine(left.expr, right.expr)
        minimal = f"{left.wrapped(precedence)} {op} {right.wrapped(precedence + 1)}"
        return Tree(expr, f"({left.full} {op} {right.full})", minimal, precedence)
    child = tree(rng, t, depth - 1)
    if pick < 0.7:
        minimal = "!" + child.wrapped(NOT_PRECEDENCE)
        return Tree(child.expr.not_(), f"(!{child.full})", minimal, NOT_PRECEDENCE)
    if pick < 0.8:
        low = rng.randrange(20)
        high = low + rng.randrange(70)
        if rng.random() < 0.3:
            high = low
        select = f"[{high}:{low}]" if high != low else f"[{low}]"
        return Tree(child.expr.slice(high, low), f"({child.full}{select})", child.wrapped(ATOM) + select)
    if pick < 0.9:
        offset = rng.randrange(-3, 4)
        function = "$past" if offset <= 0 else "$future"
        call = f"{function}({{}}, {abs(offset)})" if offset != -1 or rng.random() < 0.5 else "$past({})"
        return Tree(child.expr.rel_eval(offset), call.format(child.full), call.format(child.minimal))
    name = rng.choice(list(FUNCTIONS))
    return Tree(FUNCTIONS[name](child.expr), f"{name}({child.full})", f"{name}({child.minimal})")


def test_random_trees_round_trip(query_trace, query_names):
    rng = random.Random(2024)
    for _ in range(300):
        built = tree(rng, query_trace, rng.randrange(1, 6))
        expected = values(query_trace, built.expr)
        for text in (built.full, built.minimal):
            assert values(query_trace, compile_query(text, query_names)) == expected, text


PIECES = ["top.a", "top.zz", "`top.b`", "42", "8'hF", "1.5", '"s"', "$past", "$rose", "true", "(", ")", "[", "]",
          ":", ",", "3", "!", "&&", "||", "+", "-", "==", "<", "&", "*", "?", "~", "'", '"', "`", "$", "\\", "#", " "]


def test_hostile_texts_fail_only_with_query_errors(query_names):
    rng = random.Random(7)
    for _ in range(3000):
        text = "".join(rng.choice(PIECES) for _ in range(rng.randrange(1, 12)))
        try:
            compile_query(text, query_names)
        except QueryError as caught:
            assert 0 <= caught.position <= len(text), text
