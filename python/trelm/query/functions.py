"""The $functions of the query language, each written with the engine's nodes."""

from __future__ import annotations

from typing import Callable, NamedTuple

from trelm._core import PyExpr

# RelEval takes a signed 64-bit offset.
LARGEST_OFFSET = 2**63 - 1


class Function(NamedTuple):
    """A function: its one expression argument, optionally followed by a count."""

    build: Callable[..., PyExpr]
    takes_count: bool = False  # a trailing integer literal, default 1


def _rose(x: PyExpr) -> PyExpr:
    return x.and_(x.rel_eval(-1).not_())


def _fell(x: PyExpr) -> PyExpr:
    return x.not_().and_(x.rel_eval(-1))


FUNCTIONS = {
    "$past": Function(lambda x, n: x.rel_eval(-n), takes_count=True),
    "$future": Function(lambda x, n: x.rel_eval(n), takes_count=True),
    "$rose": Function(_rose),
    "$fell": Function(_fell),
    "$changed": Function(lambda x: x.neq(x.rel_eval(-1))),
    "$stable": Function(lambda x: x.eq_(x.rel_eval(-1))),
    "$signed": Function(PyExpr.signed),
    "$isx": Function(PyExpr.is_x),
    "$isz": Function(PyExpr.is_z),
    "$isunknown": Function(lambda x: x.is_x().or_(x.is_z())),
}
