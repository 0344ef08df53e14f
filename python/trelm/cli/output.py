"""What every subcommand prints: one JSON document with --json, aligned text
otherwise; and the failures that end a command with a given exit status."""

from __future__ import annotations

import argparse
import json
import sys
from typing import Iterable, Optional, Sequence

from trelm.export.cells import json_value

# Exit statuses.
OK = 0
FOUND_NOTHING = 1  # find: no match; diff: a difference
USAGE = 2
UNREADABLE = 3


class Failure(Exception):
    """Ends the command: `message` on stderr, exit `status`."""

    def __init__(self, status: int, message: str):
        super().__init__(message)
        self.status = status
        self.message = message


def _plain(value):
    """Any value made of JSON's types: tuples and numpy scalars and arrays as
    lists and numbers, reals that are not finite as text."""
    if isinstance(value, dict):
        return {str(k): _plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [_plain(v) for v in value]
    if hasattr(value, "tolist"):
        return _plain(value.tolist())
    return json_value(value)


def _container(value):
    """`value` when it is a dict, list or tuple, else None (numpy arrays,
    whose items are plain, included)."""
    return value if isinstance(value, (dict, list, tuple)) else None


_END = object()


def write_json(value, out) -> None:
    """Writes `value` as JSON (text as json.dump writes it, after _plain),
    walking containers with a stack of its own, so that nesting of any depth
    (a scope tree of thousands of levels) is written; a list of plain values
    goes to json in one piece."""
    stack: list[list] = []  # [iterator, closing bracket, first item?, of a dict?]
    pending = value
    while True:
        container = _container(pending)
        if isinstance(container, dict):
            out.write("{")
            stack.append([iter(container.items()), "}", True, True])
        elif container is not None and any(_container(v) is not None for v in container):
            out.write("[")
            stack.append([iter(container), "]", True, False])
        else:
            out.write(json.dumps(_plain(pending), allow_nan=False))
        while stack:
            frame = stack[-1]
            item = next(frame[0], _END)
            if item is _END:
                out.write(frame[1])
                stack.pop()
                continue
            if not frame[2]:
                out.write(", ")
            frame[2] = False
            if frame[3]:
                key, item = item
                out.write(json.dumps(str(key)) + ": ")
            pending = item
            break
        else:
            return


def envelope(args: argparse.Namespace, data) -> dict:
    """{"command": ..., "arguments": {...}, "data": ...}: the arguments as
    parsed, under their long option names; the data as given (write_json
    makes it plain)."""
    arguments = {k: v for k, v in vars(args).items() if k not in ("command", "json")}
    return {"command": args.command, "arguments": _plain(arguments), "data": data}


def emit(args: argparse.Namespace, data, text: Iterable[str] = ()) -> None:
    """Prints the JSON envelope of `data` with --json, else the lines of `text`."""
    if getattr(args, "json", False):
        write_json(envelope(args, data), sys.stdout)
        sys.stdout.write("\n")
        return
    for line in text:
        sys.stdout.write(line + "\n")


def table(rows: Sequence[Sequence[object]], header: Optional[Sequence[str]] = None) -> list[str]:
    """Rows as lines of columns aligned on the widest cell; numbers to the right."""
    if not rows:
        return []
    cells = [[str(c) for c in row] for row in ([header] if header else []) + list(rows)]
    numeric = [all(isinstance(row[k], (int, float)) for row in rows) for k in range(len(cells[0]))]
    widths = [max(len(row[k]) for row in cells) for k in range(len(cells[0]))]
    lines = []
    for row in cells:
        parts = [c.rjust(w) if numeric[k] else c.ljust(w) for k, (c, w) in enumerate(zip(row, widths))]
        lines.append("  ".join(parts).rstrip())
    return lines


def show(value, width: int = 1, radix: str = "hex") -> str:
    """An exact value for people: integers of buses in the radix (with 0x or
    0b), the digits or the string as they are, "-" for no value."""
    if value is None:
        return "-"
    if isinstance(value, int) and width > 1:
        if radix == "hex":
            return f"0x{value:x}"
        if radix == "bin":
            return f"0b{value:b}"
    return str(value)
