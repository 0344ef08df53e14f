"""The signal names a query text may look up, known before any dump is loaded."""

from __future__ import annotations

from trelm.query import parser as p
from trelm.query.lexer import tokenize


def mentioned_names(text: str) -> list[str]:
    """Every full name that compiling ``text`` without a scope may ask for, in
    the order written: each name, and each name with the index groups written
    after it (``top.mem[3]`` gives ``top.mem`` and ``top.mem[3]``, as either may
    be the signal meant). Loading just these signals (``trelm.open(path,
    signals=...)``) gives the query the same answer as the whole dump.

    Raises QueryError for a text that is not a query."""
    if not isinstance(text, str):
        raise TypeError(f"a query is a str, not {type(text).__name__}")
    names: dict[str, None] = {}
    for step in p.parse(tokenize(text), text):
        if step[0] == p.LOOKUP:
            names.update(dict.fromkeys(p.lookup_names(step[2], step[3])))
    return list(names)
