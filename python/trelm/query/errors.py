"""The one exception every failure of a query raises."""

from __future__ import annotations

# Text shown around the error column when the line is longer than this.
_WINDOW = 72
# Longest piece of the query quoted inside a reason.
_QUOTED = 40


def shorten(piece: str) -> str:
    """A piece of the query as a reason quotes it: cut when it is long."""
    return piece if len(piece) <= _QUOTED else piece[: _QUOTED - 3] + "..."


class QueryError(ValueError):
    """A query text that cannot be compiled.

    ``reason`` says what is wrong, ``text`` is the whole query and ``position``
    the 0-based offset in it where the fault was found. The message is the
    reason, then the line of the text holding that offset, then a caret under it.
    """

    def __init__(self, reason: str, text: str, position: int) -> None:
        self.reason = reason
        self.text = text
        self.position = position
        super().__init__(_message(reason, text, position))

    def __reduce__(self):
        # ValueError pickles by its message alone; keep the three fields.
        return (type(self), (self.reason, self.text, self.position))


def _message(reason: str, text: str, position: int) -> str:
    line_start = text.rfind("\n", 0, position) + 1
    line_end = text.find("\n", position)
    if line_end < 0:
        line_end = len(text)
    line = text[line_start:line_end].rstrip("\r")
    column = position - line_start
    prefix = suffix = ""
    if len(line) > _WINDOW:
        start = max(0, min(column - _WINDOW // 2, len(line) - _WINDOW))
        end = start + _WINDOW
        prefix = "..." if start > 0 else ""
        suffix = "..." if end < len(line) else ""
        line, column = line[start:end], column - start
    # Tabs stay tabs under the text so the caret lines up in a terminal.
    pad = "".join("\t" if c == "\t" else " " for c in line[:column])
    return f"{reason}\n  {prefix}{line}{suffix}\n  {' ' * len(prefix)}{pad}^"
