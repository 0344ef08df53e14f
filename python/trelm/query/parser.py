"""Turns tokens into a postfix program, by operator precedence, without recursion.

The program is a list of steps in evaluation order (operands before their
operator), so it is built and later run with explicit stacks: a query of any
length or nesting depth costs time linear in its tokens and no Python recursion.

Steps, each a tuple starting with its code and the offset it came from:
    (LOOKUP, pos, name, indices)         a signal; indices are (digits, value) of
                                         the index groups written right after a
                                         plain name, which may belong to it
    (INT | REAL | STRING, pos, value)    a literal
    (TRUE, pos)                          the keyword true
    (NOT, pos)                           prefix !
    (BINARY, pos, operator)              a binary operator of BINARY
    (SLICE, pos, high, low)              [high:low], or [b] as (b, b)
    (CALL, pos, function, count)         a function of FUNCTIONS applied to one
                                         argument, with its count (default 1)
                                         where it takes one
"""

from __future__ import annotations

from trelm.query import tokens as t
from trelm.query.errors import QueryError, shorten
from trelm.query.functions import FUNCTIONS, LARGEST_OFFSET
from trelm.query.tokens import BINARY, NOT_PRECEDENCE, Token

LOOKUP, INT, REAL, STRING, TRUE, NOT, BINARY_STEP, SLICE, CALL = range(9)

# Index groups after a name that may be part of it (mem[3], grid[1][2]); later
# groups are always bit selections. Bounds the name look-ups a name costs.
MAX_NAME_INDICES = 8

_LITERAL_STEPS = {t.INT: INT, t.REAL: REAL, t.STRING: STRING}


class _Open:
    """An open parenthesis on the operator stack; with ``function`` set, a call's."""

    __slots__ = ("position", "function", "arg_positions")

    def __init__(self, position: int, function: str | None = None) -> None:
        self.position = position
        self.function = function
        self.arg_positions: list[int] = []


def lookup_names(base: str, indices: list[tuple[str, int]]) -> list[str]:
    """The names a LOOKUP step may stand for, shortest first: its name, then
    that name with each further index group written after it."""
    names = [base]
    for digits, _ in indices:
        names.append(f"{names[-1]}[{digits}]")
    return names


def parse(tokens: list[Token], text: str) -> list[tuple]:
    """The postfix program of a token list that ends with an END token."""
    return _Parser(tokens, text).run()


class _Parser:
    def __init__(self, tokens: list[Token], text: str) -> None:
        self.tokens = tokens
        self.text = text
        self.program: list[tuple] = []
        # Operators as (precedence, text, pos) tuples, and _Open entries.
        self.stack: list = []
        # The token after which an operand is now expected (None at the start).
        self.after: Token | None = None
        # The last name step, while index groups written after it may extend it.
        self.open_name: tuple | None = None

    def fail(self, reason: str, position: int):
        raise QueryError(reason, self.text, position)

    def run(self) -> list[tuple]:
        tokens = self.tokens
        i = 0
        expect_operand = True
        while True:
            token = tokens[i]
            if expect_operand:
                i, expect_operand = self.operand(i)
                continue
            kind = token.kind
            if kind == t.OPERATOR and token.text in BINARY:
                self.binary(token)
                expect_operand = True
                i += 1
            elif kind == "[":
                i = self.postfix(i)
            elif kind == ")":
                self.close(token)
                i += 1
            elif kind == ",":
                self.comma(i)
                expect_operand = True
                i += 1
            elif kind == t.END:
                self.finish()
                return self.program
            else:
                self.not_an_operator(token)

    # -- operands ---------------------------------------------------------------

    def operand(self, i: int) -> tuple[int, bool]:
        """Reads what may start an operand at token i.

        Returns the index of the next token and whether an operand is still
        expected (after a prefix or an opening) rather than read whole.
        """
        token = self.tokens[i]
        kind = token.kind
        self.open_name = None
        if kind == t.NAME:
            if token.text == "true":
                self.program.append((TRUE, token.position))
            else:
                step = (LOOKUP, token.position, token.text, [])
                self.program.append(step)
                self.open_name = step
        elif kind == t.QUOTED:
            self.program.append((LOOKUP, token.position, token.text, []))
        elif kind in _LITERAL_STEPS:
            self.program.append((_LITERAL_STEPS[kind], token.position, token.value))
        elif kind == t.FUNCTION:
            return self.call(i)
        else:
            if kind == "(":
                self.stack.append(_Open(token.position))
            elif kind == t.OPERATOR and token.text == t.NOT:
                self.stack.append((NOT_PRECEDENCE, t.NOT, token.position))
            else:
                self.missing_operand(token)
            self.after = token
            return i + 1, True
        return i + 1, False

    def call(self, i: int) -> tuple[int, bool]:
        token, paren = self.tokens[i], self.tokens[i + 1]
        if token.text not in FUNCTIONS:
            known = ", ".join(FUNCTIONS)
            self.fail(f"unknown function '{shorten(token.text)}' (the functions are {known})", token.position)
        if paren.kind != "(":
            self.fail(f"{token.text} needs its arguments in parentheses, found {paren.describe()}", paren.position)
        if self.tokens[i + 2].kind == ")":
            self.fail(f"{token.text} is missing its argument", self.tokens[i + 2].position)
        frame = _Open(paren.position, token.text)
        frame.arg_positions.append(self.tokens[i + 2].position)
        self.stack.append(frame)
        self.after = paren
        return i + 2, True

    def missing_operand(self, token: Token):
        after = self.after
        kind = token.kind
        if kind == t.UNSUPPORTED:
            self.unsupported(token)
        if kind == t.OPERATOR and token.text in t.UNARY_REASONS:
            prefix = "unary" if token.text in "-+" else "reduction operator"
            reason = t.UNARY_REASONS[token.text]
            self.fail(f"{prefix} '{token.text}' is not supported: {reason}", token.position)
        if kind in (")", "]") and not self.inside(kind):
            self.unmatched(token)
        if after is None:
            if kind == t.END:
                self.fail("empty query", 0)
            if kind == t.OPERATOR:
                self.fail(f"'{token.text}' needs an operand on its left", token.position)
            self.fail(f"expected an operand, found {token.describe()}", token.position)
        if after.kind == t.OPERATOR and kind in (t.END, ")", "]", ",", ":"):
            self.fail(f"'{after.text}' needs an operand on its right", after.position)
        frame = self.stack[-1] if self.stack else None
        if isinstance(frame, _Open) and frame.function and kind in (")", ",", t.END):
            number = len(frame.arg_positions)
            self.fail(f"argument {number} of {frame.function} is missing", token.position)
        if kind == t.END:
            self.fail("'(' is not closed", after.position)
        if after.kind == "(" and kind == ")":
            self.fail("empty parentheses", after.position)
        self.fail(f"expected an operand after '{after.text}', found {token.describe()}", token.position)

    # -- operators --------------------------------------------------------------

    def binary(self, token: Token) -> None:
        precedence = BINARY[token.text][0]
        stack = self.stack
        # Left-associative: equal precedence on the stack is applied first.
        while stack and type(stack[-1]) is tuple and stack[-1][0] >= precedence:
            self.apply(stack.pop())
        stack.append((precedence, token.text, token.position))
        self.after = token
        self.open_name = None

    def apply(self, operator: tuple) -> None:
        _, text, position = operator
        if text == t.NOT:
            self.program.append((NOT, position))
        else:
            self.program.append((BINARY_STEP, position, text))

    def unwind(self) -> _Open | None:
        """Applies the operators above the innermost opening; pops and returns it."""
        stack = self.stack
        while stack:
            top = stack.pop()
            if type(top) is not tuple:
                return top
            self.apply(top)
        return None

    def close(self, token: Token) -> None:
        opening = self.unwind()
        if opening is None:
            self.unmatched(token)
        if opening.function:
            self.program.append(self.call_step(opening))
        self.open_name = None

    def call_step(self, call: _Open) -> tuple:
        name, positions = call.function, call.arg_positions
        takes_count = FUNCTIONS[name].takes_count
        if len(positions) > (2 if takes_count else 1):
            arity = "1 or 2 arguments" if takes_count else "1 argument"
            self.fail(f"{name} takes {arity}, found {len(positions)}", positions[-1])
        if len(positions) < 2:
            return (CALL, call.position, name, 1)
        # The count is the literal written as the last argument, nothing more.
        last = self.program.pop()
        if last[0] != INT or last[1] != positions[1]:
            self.fail(f"argument 2 of {name} must be an integer literal (a number of indices)", positions[1])
        if last[2] > LARGEST_OFFSET:
            self.fail(f"argument 2 of {name} is too large (at most 2**63 - 1)", positions[1])
        return (CALL, call.position, name, last[2])

    def comma(self, i: int) -> None:
        token = self.tokens[i]
        opening = self.unwind()
        if opening is None or not opening.function:
            self.fail("',' outside the arguments of a function", token.position)
        opening.arg_positions.append(self.tokens[i + 1].position)
        self.stack.append(opening)
        self.after = token

    def finish(self) -> None:
        while self.stack:
            top = self.stack.pop()
            if type(top) is not tuple:
                what = f"'(' of {top.function}" if top.function else "'('"
                self.fail(f"{what} is not closed", top.position)
            self.apply(top)

    def postfix(self, i: int) -> int:
        """A bit selection [b] or [h:l] at token i; returns the index after it."""
        tokens = self.tokens
        bracket = tokens[i]
        high = self.bit_index(tokens[i + 1], bracket)
        after = tokens[i + 2]
        if after.kind == "]":
            name = self.open_name
            if name is not None and len(name[3]) < MAX_NAME_INDICES and high.text.isdigit():
                name[3].append((high.text, high.value))
            else:
                self.open_name = None
                self.program.append((SLICE, bracket.position, high.value, high.value))
            return i + 3
        if after.kind != ":":
            self.expected_bracket_end(after, bracket, "']' or ':'")
        low = self.bit_index(tokens[i + 3], bracket)
        end = tokens[i + 4]
        if end.kind != "]":
            self.expected_bracket_end(end, bracket, "']'")
        if high.value < low.value:
            self.fail(f"bit range [{high.text}:{low.text}] has its high bit below its low bit", bracket.position)
        self.open_name = None
        self.program.append((SLICE, bracket.position, high.value, low.value))
        return i + 5

    def bit_index(self, token: Token, bracket: Token) -> Token:
        if token.kind == t.INT:
            return token
        if token.kind == t.END:
            self.fail("'[' is not closed", bracket.position)
        if token.kind == "]":
            self.fail("empty bit selection '[]'", bracket.position)
        self.fail(f"a bit index must be an integer literal, found {token.describe()}", token.position)

    def expected_bracket_end(self, token: Token, bracket: Token, wanted: str):
        if token.kind == t.END:
            self.fail("'[' is not closed", bracket.position)
        self.fail(f"expected {wanted} in the bit selection, found {token.describe()}", token.position)

    # -- faults -----------------------------------------------------------------

    def inside(self, kind: str) -> bool:
        if kind == "]":
            return False  # a bit selection is read whole, so no '[' is ever open here
        return any(type(entry) is not tuple for entry in self.stack)

    def unmatched(self, token: Token):
        opening = "(" if token.kind == ")" else "["
        self.fail(f"'{token.text}' has no matching '{opening}'", token.position)

    def unsupported(self, token: Token):
        reason = t.UNSUPPORTED_OPERATORS[token.text]
        self.fail(f"operator '{token.text}' is not supported: {reason}", token.position)

    def not_an_operator(self, token: Token):
        if token.kind == t.UNSUPPORTED:
            self.unsupported(token)
        if token.kind == "]":
            self.unmatched(token)
        if token.kind == ":":
            self.fail("':' outside a bit selection [h:l]", token.position)
        self.fail(f"expected an operator, found {token.describe()}", token.position)
