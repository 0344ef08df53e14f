"""Tokens of the query language and the table of its operators."""

from __future__ import annotations

from typing import Union

from trelm.query.errors import shorten

# Token kinds. Punctuation uses its own text as its kind: "(", ")", "[", "]", ":", ",".
NAME = "name"  # a dotted name, possibly followed by index suffixes in later tokens
QUOTED = "quoted"  # a name written between backquotes: taken exactly as written
FUNCTION = "function"  # $past, $rose, ...
INT = "int"
REAL = "real"
STRING = "string"
OPERATOR = "operator"  # a binary operator of BINARY, or the prefix "!"
UNSUPPORTED = "unsupported"  # an operator of UNSUPPORTED
END = "end"

NOT = "!"

# Binary operators, all left-associative, by precedence (higher binds tighter),
# each with the name of the PyExpr combinator that builds its node.
BINARY = {
    "||": (1, "or_"),
    "&&": (2, "and_"),
    "|": (3, "bit_or"),
    "^": (4, "bit_xor"),
    "&": (5, "bit_and"),
    "==": (6, "eq_"),
    "!=": (6, "neq"),
    "<": (7, "lt_"),
    "<=": (7, "lte"),
    ">": (7, "gt_"),
    ">=": (7, "gte"),
    "+": (8, "add"),
    "-": (8, "sub"),
}
NOT_PRECEDENCE = 9

_NO_SHIFTS = "the engine has no shifts (take bits with [h:l])"
_NO_IMPLICATION = "the engine has no implication (write !a || b)"

# Operators of Verilog and SystemVerilog that the engine has no node for, and why
# each is refused rather than rewritten into something that might mean otherwise.
UNSUPPORTED_OPERATORS = {
    "*": "the engine has no multiplication",
    "/": "the engine has no division",
    "%": "the engine has no remainder",
    "**": "the engine has no power",
    "~": "the engine has no bitwise negation",
    "~&": "the engine has no reduction operators",
    "~|": "the engine has no reduction operators",
    "~^": "the engine has no exclusive nor",
    "^~": "the engine has no exclusive nor",
    "<<": _NO_SHIFTS,
    ">>": _NO_SHIFTS,
    "<<<": _NO_SHIFTS,
    ">>>": _NO_SHIFTS,
    "===": "the engine has no case equality (test X and Z with $isx, $isz or $isunknown)",
    "!==": "the engine has no case equality (test X and Z with $isx, $isz or $isunknown)",
    "==?": "the engine has no wildcard equality",
    "!=?": "the engine has no wildcard equality",
    "?": "the engine has no conditional operator",
    "->": _NO_IMPLICATION,
    "<->": "the engine has no equivalence operator",
    "|->": _NO_IMPLICATION,
    "|=>": _NO_IMPLICATION,
    "##": "the engine has no sequence delays (use $past or $future)",
    "#": "the engine has no delays (use $past or $future)",
    "@": "the engine has no event controls",
    "{": "the engine has no concatenation",
    "}": "the engine has no concatenation",
    "=": "a query compares, it does not assign (did you mean '=='?)",
}

# In front of an operand these binary operators would be Verilog's unary forms.
UNARY_REASONS = {
    "-": "the engine has no negation",
    "+": "the engine has no unary plus",
    "&": "the engine has no reduction operators",
    "|": "the engine has no reduction operators",
    "^": "the engine has no reduction operators",
}

Value = Union[int, float, str, None]


class Token:
    """One token: its kind, its text as written, its offset, and a literal's value."""

    __slots__ = ("kind", "text", "position", "value")

    def __init__(self, kind: str, text: str, position: int, value: Value = None) -> None:
        self.kind = kind
        self.text = text
        self.position = position
        self.value = value

    def describe(self) -> str:
        """The token as an error message names it."""
        if self.kind == END:
            return "the end of the query"
        if self.kind in (NAME, QUOTED):
            return f"name '{shorten(self.text)}'"
        if self.kind in (INT, REAL):
            return f"number '{shorten(self.text)}'"
        if self.kind == STRING:
            return "a string"
        if self.kind == FUNCTION:
            return f"function '{shorten(self.text)}'"
        return f"'{self.text}'"

    def __repr__(self) -> str:
        return f"Token({self.kind!r}, {self.text!r}, {self.position})"
