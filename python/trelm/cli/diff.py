"""trelm diff: two dumps of one design compared signal by signal, on time."""

from __future__ import annotations

from trelm.cli.arguments import dump_argument, load, subcommand
from trelm.cli.output import FOUND_NOTHING, OK, emit, show, table
from trelm.compare import diff


def add_parser(subparsers):
    parser = subcommand(subparsers, "diff", "compare two dumps signal by signal",
                        "Compares two dumps of the same design (of any formats: a VCD against its FST "
                        "conversion compares fine) on time, not on sample index: per signal the first time at "
                        "which the values differ, the values then, and how many changes differ; and the names "
                        "present in only one dump.",
                        """
                        trelm diff golden.vcd run.fst
                        trelm diff golden.vcd run.vcd 'top.cpu.*' --json
                        """,
                        one="when the dumps differ (as diff)")
    dump_argument(parser, "a")
    dump_argument(parser, "b")
    parser.add_argument("patterns", nargs="*", metavar="GLOB", help="compare only names matching these")
    return parser


def run(args) -> int:
    patterns = args.patterns or None
    a, _ = load(args.a, patterns)
    b, _ = load(args.b, patterns)
    result = diff(a, b, patterns)
    widths = {name: a[name].width for name in (s.name for s in result.signals)}
    lines = [f"{s.name}: differs first at {s.first_time} ({show(s.a, widths[s.name])} vs "
             f"{show(s.b, widths[s.name])}), differing after {s.count} of the changes" for s in result.signals]
    lines += [f"only in {args.a}: {name}" for name in result.only_in_a]
    lines += [f"only in {args.b}: {name}" for name in result.only_in_b]
    if result.same:
        lines = [f"no difference in {result.compared} signals"]
    emit(args, result.to_dict(), table([(line,) for line in lines]))
    return OK if result.same else FOUND_NOTHING
