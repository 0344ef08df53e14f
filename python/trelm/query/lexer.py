"""Splits a query text into tokens."""

from __future__ import annotations

import re

from trelm.query.errors import QueryError, shorten
from trelm.query.literals import BadLiteral, number_value
from trelm.query.tokens import (
    BINARY,
    END,
    FUNCTION,
    INT,
    NAME,
    NOT,
    OPERATOR,
    QUOTED,
    REAL,
    STRING,
    UNSUPPORTED,
    UNSUPPORTED_OPERATORS,
    Token,
)

_PUNCTUATION = frozenset("()[]:,")
_OPERATORS = sorted([*BINARY, NOT, *UNSUPPORTED_OPERATORS, *_PUNCTUATION], key=len, reverse=True)

# One pattern for every token and the space before it, tried at each offset in
# turn; "end" matches only at the end of the text, "bad" catches the rest.
_TOKEN = re.compile(
    r"\s*(?:"
    + "|".join(
        [
            # A dotted name. An index group inside the name (gen[0].u) belongs to it;
            # index groups at its end are left to the parser, which knows the names.
            r"(?P<name>[A-Za-z_][A-Za-z0-9_$]*(?:(?:\[[0-9]+\])*\.[A-Za-z0-9_$]+)*)",
            "(?P<operator>" + "|".join(re.escape(op) for op in _OPERATORS) + ")",
            # The extent of a number literal; number_value decides if it is a good one.
            r"(?P<number>[0-9][0-9_]*(?:\.[0-9_]*)?[eE][+-][0-9A-Za-z_.]*"
            r"|(?:[0-9][0-9_]*)?'[0-9A-Za-z_?]*|[0-9][0-9A-Za-z_.]*)",
            r"(?P<function>\$[A-Za-z_][A-Za-z0-9_$]*)",
            r'(?P<string>"[^"\\]*(?:\\.[^"\\]*)*")',
            r"(?P<quoted>`[^`]*`)",
            r"(?P<end>\Z)",
            r"(?P<bad>.)",
        ]
    )
    + ")",
    re.S,
)
_ESCAPE = re.compile(r"\\(.)", re.S)


def tokenize(text: str) -> list[Token]:
    """The tokens of ``text``, ending with an END token; QueryError on a bad one."""
    tokens: list[Token] = []
    append = tokens.append
    for match in _TOKEN.finditer(text):
        group = match.lastgroup
        start = match.start(group)
        if group == "name":
            append(Token(NAME, match.group(group), start))
        elif group == "operator":
            op = match.group(group)
            if op in _PUNCTUATION:
                append(Token(op, op, start))
            elif op in UNSUPPORTED_OPERATORS:
                append(Token(UNSUPPORTED, op, start))
            else:
                append(Token(OPERATOR, op, start))
        elif group == "number":
            append(_number(match.group(group), text, start))
        elif group == "function":
            append(Token(FUNCTION, match.group(group), start))
        elif group == "string":
            append(_string(match.group(group), text, start))
        elif group == "quoted":
            if match.end() == start + 2:
                raise QueryError("empty backquoted name", text, start)
            append(Token(QUOTED, match.group(group)[1:-1], start))
        elif group == "end":
            break
        else:
            _bad(match.group(group), text, start)
    append(Token(END, "", len(text)))
    return tokens


def _bad(c: str, text: str, start: int):
    if c == '"':
        raise QueryError("string is not closed", text, start)
    if c == "`":
        raise QueryError("backquoted name is not closed", text, start)
    raise QueryError(f"unexpected character {c!r}", text, start)


def _number(literal: str, text: str, start: int) -> Token:
    try:
        value = number_value(literal)
    except BadLiteral as bad:
        raise QueryError(f"bad literal {shorten(literal)}: {bad}", text, start) from None
    return Token(REAL if isinstance(value, float) else INT, literal, start, value)


def _string(literal: str, text: str, start: int) -> Token:
    body = literal[1:-1]
    for escape in _ESCAPE.finditer(body):
        if escape.group(1) not in '"\\':
            position = start + 1 + escape.start()
            raise QueryError(
                f"unknown escape '\\{escape.group(1)}' in a string (only \\\" and \\\\ are allowed)",
                text,
                position,
            )
    return Token(STRING, literal, start, _ESCAPE.sub(r"\1", body))
