"""trelm info: what a dump holds."""

from __future__ import annotations

from trelm.cli.arguments import dump_argument, load, subcommand
from trelm.cli.output import OK, emit, table


def add_parser(subparsers):
    parser = subcommand(subparsers, "info", "format, time range, signals, scopes, value changes",
                        "Summarises a dump: its format, time range and unit, sample indices, signals, scopes, "
                        "value changes and how long it took to load.",
                        """
                        trelm info run.vcd
                        trelm info run.fst --json
                        """)
    dump_argument(parser)
    return parser


def describe(w, seconds: float) -> dict:
    count = w.index_count
    seen: set[int] = set()
    changes = 0
    for signal in w.signals.values():
        if signal.id not in seen:
            seen.add(signal.id)
            changes += len(signal.changes().indices)
    timescale = None if w.timescale is None else {"magnitude": w.timescale[0], "unit": w.timescale[1]}
    return {
        "path": w.path, "format": w.format, "timescale": timescale,
        "start": w.time_of(0) if count else None, "end": w.time_of(count - 1) if count else None,
        "indices": count, "signals": len(w), "distinct_signals": len(seen),
        "scopes": len(w.trace.scopes()), "value_changes": changes, "load_seconds": round(seconds, 6),
    }


def run(args) -> int:
    w, seconds = load(args.dump)
    data = describe(w, seconds)
    unit = "" if w.timescale is None else f" x {w.timescale[0]} {w.timescale[1]}"
    span = "-" if data["start"] is None else f"{data['start']}..{data['end']}{unit}"
    rows = [("path", data["path"]), ("format", data["format"]), ("time", span),
            ("sample indices", data["indices"]),
            ("signals", f"{data['signals']} ({data['distinct_signals']} distinct, the rest aliases)"),
            ("scopes", data["scopes"]), ("value changes", data["value_changes"]),
            ("load time", f"{seconds:.3f} s")]
    emit(args, data, table([(f"{k}:", v) for k, v in rows]))
    return OK
