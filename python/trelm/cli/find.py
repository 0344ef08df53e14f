"""trelm find: the times and sample indices at which a query holds."""

from __future__ import annotations

from trelm.cli.arguments import count_value, dump_argument, load, subcommand
from trelm.cli.output import FOUND_NOTHING, OK, emit, table
from trelm.query import spans as runs


def add_parser(subparsers):
    parser = subcommand(subparsers, "find", "times and indices at which a query holds",
                        "Searches a dump for the sample indices at which a query holds (the query language of "
                        "docs/queries.md) and prints each with its time; --spans prints runs of consecutive "
                        "matches instead, --count only how many there are.",
                        """
                        trelm find run.vcd 'top.cpu.valid && top.cpu.state == 3'
                        trelm find run.vcd '$rose(top.clk)' --count
                        trelm find run.vcd 'valid && acc > 5' --scope top.cpu --spans --limit 10
                        """,
                        one="when nothing matches (as grep)")
    dump_argument(parser)
    parser.add_argument("query", metavar="QUERY", help="a query text")
    shape = parser.add_mutually_exclusive_group()
    shape.add_argument("--count", action="store_true", help="print only the number of matching indices")
    shape.add_argument("--spans", action="store_true", help="print runs of consecutive matching indices")
    parser.add_argument("--limit", type=count_value, metavar="N", help="print at most N matches (or spans)")
    parser.add_argument("--scope", metavar="SCOPE", help="look names up in this scope first")
    return parser


def run(args) -> int:
    w, _ = load(args.dump)
    found = w.find(args.query, scope=args.scope)
    status = OK if len(found) else FOUND_NOTHING
    data = {"query": args.query, "count": len(found)}
    if args.count:
        emit(args, data, [str(len(found))])
        return status
    times = w.times
    if args.spans:
        spans = runs(found)
        listed = spans[: args.limit] if args.limit is not None else spans
        data["spans"] = [{"first_index": int(a), "last_index": int(b), "start": int(times[a]), "end": int(times[b])}
                         for a, b in listed.tolist()]
        data["truncated"] = len(listed) < len(spans)
        rows = [(s["start"], s["end"], s["first_index"], s["last_index"]) for s in data["spans"]]
        emit(args, data, table(rows, ("start", "end", "first index", "last index")))
        return status
    listed = found[: args.limit] if args.limit is not None else found
    data["matches"] = [{"index": i, "time": t} for i, t in zip(listed.tolist(), times[listed].tolist())]
    data["truncated"] = len(listed) < len(found)
    emit(args, data, table([(m["time"], m["index"]) for m in data["matches"]], ("time", "index")))
    return status
