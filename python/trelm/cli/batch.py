"""trelm batch: one query over many dumps, on a Dask cluster."""

from __future__ import annotations

import sys
from typing import Any

from trelm.cli.arguments import subcommand
from trelm.cli.output import FOUND_NOTHING, OK, UNREADABLE, USAGE, Failure, emit, table

_COLUMNS = ("count", "first_time", "last_time", "load_seconds", "call_seconds", "error")


def add_parser(subparsers):
    parser = subcommand(subparsers, "batch", "run one query over many dumps on a Dask cluster",
                        "Runs a query (the query language of docs/queries.md, with full names) over every dump, "
                        "each opened on a worker of a Dask cluster, and prints per dump the number of matching "
                        "sample indices and the times of the first and last match. Each dump loads only the "
                        "signals the query names. Without --scheduler a local cluster of this machine's cores "
                        "does the work. A dump that cannot be read, or that lacks a signal the query names, gets "
                        "its error in its row; the others go on; exit status 3 when no dump gives an answer at "
                        "all. See docs/batch.md.",
                        """
                        trelm batch '$rose(top.err)' runs/*.fst
                        trelm batch 'top.fifo.count == 16' runs/*.vcd.gz --json > overflow.json
                        trelm batch '$rose(top.err)' runs/*.fst --scheduler tcp://head-node:8786
                        """,
                        one="when the query matches in no dump")
    parser.add_argument("query", metavar="QUERY", help="a query text")
    parser.add_argument("dumps", metavar="DUMP", nargs="+", help="dumps (any format trelm reads)")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="address of a running Dask scheduler (default: a local cluster for this run)")
    return parser


def run(args) -> int:
    from trelm import batch

    try:
        found = batch.find(args.dumps, args.query, client=args.scheduler, progress=_stderr_is_terminal())
    except OSError as error:
        if args.scheduler is None:
            raise
        raise Failure(USAGE, f"cannot reach the Dask scheduler at {args.scheduler}: {error}") from None
    rows = [dict(zip(("path", *_COLUMNS), (_plain(v) for v in values)))
            for values in found[["path", *_COLUMNS]].itertuples(index=False, name=None)]
    emit(args, rows, _lines(rows))
    if any(row["count"] for row in rows):
        return OK
    return UNREADABLE if all(row["error"] is not None for row in rows) else FOUND_NOTHING


def _plain(value: Any) -> Any:
    """A cell as a Python value: None for a missing one."""
    import pandas

    if isinstance(value, str):
        return value
    if pandas.isna(value):
        return None
    return float(value) if isinstance(value, float) else int(value)


def _lines(rows: list[dict]) -> list[str]:
    answered = [(r["path"], r["count"], _time(r["first_time"]), _time(r["last_time"])) for r in rows
                if r["error"] is None]
    lines = table(answered, ("dump", "count", "first", "last"))
    width = max((len(r["path"]) for r in rows), default=0)
    lines += [f"{r['path']:<{width}}  error: {r['error'].splitlines()[0]}" for r in rows if r["error"] is not None]
    return lines


def _time(value) -> Any:
    return "-" if value is None else value


def _stderr_is_terminal() -> bool:
    return hasattr(sys.stderr, "isatty") and sys.stderr.isatty()
