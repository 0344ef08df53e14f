"""trelm changes: every change of one signal, in a window of time."""

from __future__ import annotations

import numpy as np

from trelm import sampling
from trelm.cli.arguments import dump_argument, load, subcommand, window_arguments
from trelm.cli.output import OK, emit, show, table
from trelm.cli.value import radix_argument


def add_parser(subparsers):
    parser = subcommand(subparsers, "changes", "time, index and value of every change of a signal",
                        "Lists every change of a signal (a sample index whose exact value differs from the one "
                        "before) with its time, index and new value; --from and --to keep the changes in that "
                        "window of time (both ends included).",
                        """
                        trelm changes run.vcd top.cpu.pc
                        trelm changes run.vcd top.cpu.pc --from 100 --to 200 --json
                        """)
    dump_argument(parser)
    parser.add_argument("signal", metavar="SIGNAL", help="a full name")
    window_arguments(parser)
    radix_argument(parser)
    return parser


def run(args) -> int:
    w, _ = load(args.dump)
    signal = w[args.signal]
    steps = sampling.steps(signal)
    inside = np.ones(len(steps.times), dtype=bool)
    if args.start is not None:
        inside &= steps.times >= args.start
    if args.stop is not None:
        inside &= steps.times <= args.stop
    where = np.flatnonzero(inside)
    indices = steps.indices[where].tolist()
    times = w.times[steps.indices[where]].tolist()
    values = sampling.exact(steps, where).tolist()
    data = {"signal": signal.name, "width": signal.width,
            "changes": [{"time": t, "index": i, "value": v} for t, i, v in zip(times, indices, values)]}
    rows = [(t, i, show(v, signal.width, args.radix)) for t, i, v in zip(times, indices, values)]
    emit(args, data, table(rows, ("time", "index", "value")))
    return OK
