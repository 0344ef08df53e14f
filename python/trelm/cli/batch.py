"""trelm batch: one query over many dumps, on a Dask cluster."""

from __future__ import annotations

import argparse
import json
import sys
from typing import Any, Optional

DESCRIPTION = """\
Runs QUERY (a query text, as for `trelm find`) over every DUMP, each opened on a
worker of a Dask cluster, and prints per dump the number of matching sample
indices and the times of the first and last match. Each dump loads only the
signals the query names. Without --scheduler, a local cluster of this
machine's cores does the work. A dump that cannot be read, or that lacks a
signal the query names, gets its error in its row; the others go on."""

EPILOG = """\
examples:
  trelm batch '$rose(top.err)' runs/*.fst
  trelm batch 'top.fifo.count == 16' runs/*.vcd.gz --json > overflow.json
  trelm batch 'top.bus.stall' runs/*.fst --scheduler tcp://head-node:8786

exit status: 0 when the query matches in some dump, 1 when it matches in none,
2 for a usage error (a bad query, a scheduler that cannot be reached, the
batch extra not installed), 3 when no dump gives an answer (every one failed
to load, or to be asked)."""

_COLUMNS = ("count", "first_time", "last_time", "load_seconds", "call_seconds", "error")


def add_parser(subparsers: Any) -> argparse.ArgumentParser:
    parser = subparsers.add_parser("batch", help="run one query over many dumps on a Dask cluster",
                                   description=DESCRIPTION, epilog=EPILOG,
                                   formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("query", metavar="QUERY", help="the query text")
    parser.add_argument("dumps", metavar="DUMP", nargs="+", help="dump files (any format trelm reads)")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="address of a running Dask scheduler (default: a local cluster)")
    parser.add_argument("--json", action="store_true", help="print one JSON document")
    return parser


def run(args: argparse.Namespace) -> int:
    from trelm import batch
    from trelm.query import QueryError

    try:
        table = batch.find(args.dumps, args.query, client=args.scheduler, progress=_stderr_is_terminal())
    except QueryError as error:
        return _fail(str(error))
    except (ImportError, OSError) as error:  # no dask, or no scheduler at that address
        return _fail(f"{type(error).__name__}: {error}")
    rows = [_plain_row(path, values) for path, *values in
            table[["path", *_COLUMNS]].itertuples(index=False, name=None)]
    if args.json:
        arguments = {"query": args.query, "dumps": args.dumps, "scheduler": args.scheduler}
        json.dump({"command": "batch", "arguments": arguments, "data": rows}, sys.stdout, indent=2)
        sys.stdout.write("\n")
    else:
        _print_table(rows)
    return exit_status(rows)


def exit_status(rows: list[dict]) -> int:
    if any(row["count"] for row in rows):
        return 0
    return 3 if all(row["error"] is not None for row in rows) else 1


def _plain_row(path: str, values: list) -> dict:
    """A row with Python values: None for what is missing."""
    row: dict = {"path": path}
    for column, value in zip(_COLUMNS, values):
        row[column] = None if _missing(value) else (value if isinstance(value, str) else _number(value))
    return row


def _missing(value: Any) -> bool:
    import pandas

    return value is None or (not isinstance(value, str) and bool(pandas.isna(value)))


def _number(value: Any) -> Any:
    return float(value) if isinstance(value, float) else int(value)


def _print_table(rows: list[dict]) -> None:
    lines = [("dump", "count", "first", "last")]
    for row in rows:
        if row["error"] is not None:
            lines.append((row["path"], "error: " + row["error"].splitlines()[0]))
        else:
            lines.append((row["path"], str(row["count"]), _time(row["first_time"]), _time(row["last_time"])))
    width = max(len(line[0]) for line in lines)
    numbers = [max((len(line[i]) for line in lines if len(line) == 4), default=0) for i in (1, 2, 3)]
    for line in lines:
        if len(line) == 2:
            print(f"{line[0]:<{width}}  {line[1]}")
        else:
            print(f"{line[0]:<{width}}  " + "  ".join(f"{cell:>{w}}" for cell, w in zip(line[1:], numbers)))


def _time(value: Optional[int]) -> str:
    return "-" if value is None else str(value)


def _fail(message: str) -> int:
    print(f"trelm batch: {message}", file=sys.stderr)
    return 2


def _stderr_is_terminal() -> bool:
    return hasattr(sys.stderr, "isatty") and sys.stderr.isatty()
