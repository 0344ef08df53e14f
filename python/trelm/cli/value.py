"""trelm value: exact values of signals at a time or a sample index."""

from __future__ import annotations

from trelm.cli.arguments import count_value, dump_argument, load, subcommand, time_value
from trelm.cli.output import OK, emit, show, table
from trelm.selection import select

RADIXES = ("hex", "dec", "bin")


def radix_argument(parser) -> None:
    parser.add_argument("--radix", choices=RADIXES, default="hex",
                        help="how text shows the integers of buses (default hex; --json gives integers)")


def add_parser(subparsers):
    parser = subcommand(subparsers, "value", "exact values at a time or sample index",
                        "Prints the exact value of each signal at a time (the value in force then) or at a "
                        "sample index: integers for two-state values, digits such as 1x0z otherwise, reals, "
                        "strings; '-' (null in JSON) for no value.",
                        """
                        trelm value run.vcd top.cpu.pc top.cpu.state --at 1200
                        trelm value run.vcd 'top.cpu.*' --index 0 --json
                        """)
    dump_argument(parser)
    parser.add_argument("signals", nargs="+", metavar="SIGNAL", help="full names or glob patterns")
    when = parser.add_mutually_exclusive_group(required=True)
    when.add_argument("--at", type=time_value, metavar="TIME", help="a time, in the dump's units")
    when.add_argument("--index", type=count_value, metavar="I", help="a sample index")
    radix_argument(parser)
    return parser


def run(args) -> int:
    w, _ = load(args.dump)
    chosen = select(w, args.signals)
    index = w.index_at(args.at) if args.at is not None else w._check_index(args.index)
    values = {s.name: s[index] for s in chosen}
    data = {"index": index, "time": w.time_of(index), "values": values}
    rows = [(s.name, show(values[s.name], s.width, args.radix)) for s in chosen]
    emit(args, data, [f"index {index}, time {data['time']}"] + table(rows))
    return OK
