"""trelm stats: per-signal statistics."""

from __future__ import annotations

from trelm.cli.arguments import dump_argument, load, subcommand
from trelm.cli.output import OK, emit, table
from trelm.selection import select

STATS = ("min", "max", "sum", "count", "transitions", "num_x", "num_z")


def add_parser(subparsers):
    parser = subcommand(subparsers, "stats", "per-signal statistics",
                        "Prints per signal: the engine's statistics over the sample indices (min, max and sum of "
                        "the integer values, how many indices hold one, transitions, indices with X and with Z "
                        "bits) and the number of changes with the times of the first and last.",
                        """
                        trelm stats run.vcd top.cpu.acc top.bus
                        trelm stats run.vcd 'top.cpu.*' --json
                        """)
    dump_argument(parser)
    parser.add_argument("signals", nargs="+", metavar="SIGNAL", help="full names or glob patterns")
    return parser


def signal_stats(w, signal) -> dict:
    changes = signal.changes()
    entry = {"name": signal.name, "width": signal.width, "kind": signal.kind, "var_type": signal.var_type,
             "aliases": list(signal.aliases), "changes": len(changes.indices),
             "first_change": int(changes.times[0]) if len(changes.times) else None,
             "last_change": int(changes.times[-1]) if len(changes.times) else None}
    entry.update(zip(STATS, w.trace.signal_stats(signal.name)))
    return entry


def run(args) -> int:
    w, _ = load(args.dump)
    data = [signal_stats(w, s) for s in select(w, args.signals)]
    columns = ("name",) + STATS + ("changes", "first_change", "last_change")
    rows = [tuple("-" if d[c] is None else d[c] for c in columns) for d in data]
    emit(args, data, table(rows, columns))
    return OK
