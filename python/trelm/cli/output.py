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


def envelope(args: argparse.Namespace, data) -> dict:
    """{"command": ..., "arguments": {...}, "data": ...}: the arguments as
    parsed, under their long option names."""
    arguments = {k: v for k, v in vars(args).items() if k not in ("command", "json")}
    return {"command": args.command, "arguments": _plain(arguments), "data": _plain(data)}


def emit(args: argparse.Namespace, data, text: Iterable[str] = ()) -> None:
    """Prints the JSON envelope of `data` with --json, else the lines of `text`."""
    if getattr(args, "json", False):
        json.dump(envelope(args, data), sys.stdout, allow_nan=False)
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
