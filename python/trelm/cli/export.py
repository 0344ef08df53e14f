"""trelm export: chosen signals in a window, as CSV, Parquet, JSON lines or VCD."""

from __future__ import annotations

import os

from trelm.cli.arguments import dump_argument, load, subcommand, window_arguments
from trelm.cli.output import OK, USAGE, Failure, emit
from trelm.export import FORMATS, ROWS, export
from trelm.export.table import window
from trelm.selection import select


def add_parser(subparsers):
    parser = subcommand(subparsers, "export", "chosen signals as CSV, Parquet, JSON lines or VCD",
                        "Writes the chosen signals over a window of time. The table formats have a row per "
                        "time at which any of them changes (--on index: per sample index) and a column per "
                        "signal; vcd writes a standard VCD of just those signals. Parquet needs pyarrow: "
                        "pip install 'trelm[parquet]'.",
                        """
                        trelm export run.vcd --signals 'top.cpu.*' --format csv -o cpu.csv
                        trelm export run.fst --signals top.clk top.cpu.pc --from 100 --to 400 -o small.vcd
                        trelm export run.vcd --signals '*' --format parquet -o run.parquet --on index
                        """)
    dump_argument(parser)
    parser.add_argument("--signals", nargs="+", required=True, metavar="GLOB",
                        help="full names or glob patterns")
    parser.add_argument("--format", choices=FORMATS, help="the file's format (default: from its extension)")
    parser.add_argument("-o", "--output", required=True, metavar="FILE", help="the file to write")
    window_arguments(parser)
    parser.add_argument("--on", choices=ROWS, default="change",
                        help="rows of the table formats: per change (default) or per sample index")
    return parser


def run(args) -> int:
    format = args.format or os.path.splitext(args.output)[1].lower().lstrip(".")
    if format not in FORMATS:
        raise Failure(USAGE, f"{args.output}: give --format ({', '.join(FORMATS)}); the name does not tell it")
    w, _ = load(args.dump)
    chosen = select(w, args.signals)
    start, stop = window(w, args.start, args.stop)
    written = export(w, chosen, args.output, format, start, stop, on=args.on)
    unit = "value changes" if format == "vcd" else "rows"
    data = {"output": args.output, "format": format, "signals": [s.name for s in chosen], "start": start,
            "stop": stop, unit.replace(" ", "_"): written}
    emit(args, data, [f"wrote {args.output}: {len(chosen)} signals, {written} {unit}, time {start}..{stop}"])
    return OK
