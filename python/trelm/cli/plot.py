"""trelm plot: a timing diagram of signals, written to a picture file."""

from __future__ import annotations

import os

from trelm.cli.arguments import dump_argument, load, subcommand, window_arguments
from trelm.cli.output import OK, USAGE, Failure, emit
from trelm.export.table import window
from trelm.selection import select

PICTURES = (".png", ".svg", ".pdf")


def add_parser(subparsers):
    parser = subcommand(subparsers, "plot", "draw a timing diagram to PNG, SVG or PDF",
                        "Draws a lane per signal (one-bit lines, buses with their values in hex, reals as a "
                        "line) over a window of time, to a picture file whose extension names its format. "
                        "Needs matplotlib: pip install 'trelm[plot]'.",
                        """
                        trelm plot run.vcd top.clk top.cpu.pc top.cpu.state -o wave.png
                        trelm plot run.vcd 'top.cpu.*' --from 100 --to 400 -o wave.svg
                        """)
    dump_argument(parser)
    parser.add_argument("signals", nargs="+", metavar="SIGNAL", help="full names or glob patterns")
    window_arguments(parser)
    parser.add_argument("-o", "--output", required=True, metavar="FILE",
                        help="the picture: .png, .svg or .pdf")
    return parser


def run(args) -> int:
    extension = os.path.splitext(args.output)[1].lower()
    if extension not in PICTURES:
        raise Failure(USAGE, f"{args.output}: the picture's name must end in {', '.join(PICTURES)}")
    w, _ = load(args.dump)
    chosen = select(w, args.signals)
    start, stop = window(w, args.start, args.stop)
    w.plot(chosen, start, stop).savefig(args.output)
    data = {"output": args.output, "signals": [s.name for s in chosen], "start": start, "stop": stop}
    emit(args, data, [f"wrote {args.output}: {len(chosen)} signals, time {start}..{stop}"])
    return OK
