"""trelm ls: signals with their widths, or the scope tree."""

from __future__ import annotations

from trelm.cli.arguments import dump_argument, load, subcommand
from trelm.cli.output import OK, emit, table
from trelm.selection import select


def add_parser(subparsers):
    parser = subcommand(subparsers, "ls", "signals with widths; --tree for the scope tree",
                        "Lists the signals of a dump (all, or those matching the patterns) with width, kind and "
                        "declaration; --tree shows them in their scopes.",
                        """
                        trelm ls run.vcd
                        trelm ls run.vcd 'top.cpu.*' '*valid*'
                        trelm ls run.fst --tree
                        """)
    dump_argument(parser)
    parser.add_argument("patterns", nargs="*", metavar="GLOB",
                        help="full names or patterns (* any run of characters, ? one character)")
    parser.add_argument("--tree", action="store_true", help="show the scope tree")
    return parser


def _entry(signal, name: str) -> dict:
    return {"name": name, "width": signal.width, "kind": signal.kind, "var_type": signal.var_type,
            "aliases": list(signal.aliases)}


def _tree(root, keep: set[str]) -> dict:
    """The nested node of `root`: its signals in `keep` and the nodes of its
    scopes that hold any. Built children first from Scope.walk(), so a
    hierarchy of any depth is fine."""
    nodes = {}
    for scope in reversed(list(root.walk())):  # children before their parents
        children = [nodes.pop(id(child)) for child in scope.scopes.values()]
        nodes[id(scope)] = {"name": scope.name, "path": scope.path,
                            "signals": [_entry(s, local) | {"full_name": s.name}
                                        for local, s in scope.signals.items() if s.name in keep],
                            "scopes": [c for c in children if c["signals"] or c["scopes"]]}
    return nodes[id(root)]


def _tree_lines(root: dict) -> list[tuple]:
    lines = []
    stack = [(root, 0)]
    while stack:
        node, depth = stack.pop()
        if node is not root:
            lines.append((f"{'  ' * (depth - 1)}{node['name']}/", "", "", ""))
        pad = "  " * depth
        lines.extend((pad + s["name"], s["width"], s["kind"], s["var_type"]) for s in node["signals"])
        stack.extend((child, depth + 1) for child in reversed(node["scopes"]))
    return lines


def run(args) -> int:
    w, _ = load(args.dump)
    chosen = select(w, args.patterns) if args.patterns else list(w.signals.values())
    if args.tree:
        data = _tree(w.scope, {s.name for s in chosen})
        emit(args, data, table(_tree_lines(data)))
        return OK
    data = [_entry(s, s.name) for s in chosen]
    rows = [(d["name"], d["width"], d["kind"], d["var_type"]) for d in data]
    emit(args, data, table(rows, ("name", "width", "kind", "type")))
    return OK
