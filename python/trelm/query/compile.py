"""compile_query: a query text to the PyExpr tree it stands for."""

from __future__ import annotations

from typing import Optional

from trelm._core import PyExpr
from trelm.query import parser as p
from trelm.query.errors import QueryError, shorten
from trelm.query.functions import FUNCTIONS
from trelm.query.lexer import tokenize
from trelm.query.names import CLOSE_NAMES, NameLookup
from trelm.query.tokens import BINARY

_COMBINE = {operator: getattr(PyExpr, method) for operator, (_, method) in BINARY.items()}


def compile_query(text: str, names: NameLookup) -> PyExpr:
    """The PyExpr tree of ``text``, with signals found through ``names``.

    Raises QueryError, with the offset of the fault, for any text that is not a query.
    """
    if not isinstance(text, str):
        raise TypeError(f"a query is a str, not {type(text).__name__}")
    program = p.parse(tokenize(text), text)
    return _Compiler(text, names).run(program)


class _Compiler:
    def __init__(self, text: str, names: NameLookup) -> None:
        self.text = text
        self.names = names
        self.ids: dict[str, Optional[int]] = {}
        self.signals: dict[int, PyExpr] = {}

    def run(self, program: list[tuple]) -> PyExpr:
        stack: list[PyExpr] = []
        push = stack.append
        for step in program:
            code = step[0]
            if code == p.BINARY_STEP:
                right = stack.pop()
                stack[-1] = _COMBINE[step[2]](stack[-1], right)
            elif code == p.LOOKUP:
                push(self.lookup(step))
            elif code == p.INT:
                push(PyExpr.const_int(step[2]))
            elif code == p.NOT:
                stack[-1] = stack[-1].not_()
            elif code == p.SLICE:
                stack[-1] = stack[-1].slice(step[2], step[3])
            elif code == p.CALL:
                function = FUNCTIONS[step[2]]
                if function.takes_count:
                    stack[-1] = function.build(stack[-1], step[3])
                else:
                    stack[-1] = function.build(stack[-1])
            elif code == p.REAL:
                push(PyExpr.const_float(step[2]))
            elif code == p.STRING:
                push(PyExpr.const_str(step[2]))
            else:
                push(PyExpr.always_true())
        return stack[0]

    def fail(self, reason: str, position: int):
        raise QueryError(reason, self.text, position)

    def signal_id(self, name: str) -> Optional[int]:
        if name not in self.ids:
            self.ids[name] = self.names.signal_id(name)
        return self.ids[name]

    def lookup(self, step: tuple) -> PyExpr:
        _, position, base, indices = step
        # The longest name the lookup knows wins; index groups it leaves are bits.
        candidates = p.lookup_names(base, indices)
        for used in range(len(indices), -1, -1):
            id_ = self.signal_id(candidates[used])
            if id_ is not None:
                break
        else:
            self.unknown_name(candidates, position)
        expr = self.signals.get(id_)
        if expr is None:
            expr = self.signals[id_] = PyExpr.signal(id_)
        for _, bit in indices[used:]:
            expr = expr.slice(bit, bit)
        return expr

    def unknown_name(self, candidates: list[str], position: int):
        written = candidates[-1]
        reason = f"unknown name '{shorten(written)}'"
        if len(candidates) > 1:
            reason += " (nor " + " or ".join(f"'{shorten(c)}'" for c in reversed(candidates[:-1])) + ")"
        close = []
        for name in dict.fromkeys((written, candidates[0])):
            close += self.names.close_names(name)
        close = list(dict.fromkeys(close))[:CLOSE_NAMES]
        if close:
            reason += "; close names: " + ", ".join(close)
        self.fail(reason, position)
