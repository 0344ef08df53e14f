"""A generated trace for the query tests, and ways to compare trees on it."""

import random

from trelm import PyExpr, PyTrace

# (full name, width); top.e also holds x and z digits, top.r is real.
SIGNALS = [
    ("top.a", 8),
    ("top.b", 8),
    ("top.c", 1),
    ("top.d", 16),
    ("top.e", 4),
    ("top.r", 64),
    ("top.u.f", 3),
]
INDICES = 64


def random_trace(seed=12):
    rng = random.Random(seed)
    codes = {name: chr(33 + k) for k, (name, _) in enumerate(SIGNALS)}
    lines, scope = [], []
    for name, width in SIGNALS:
        *path, short = name.split(".")
        while scope != path[: len(scope)]:
            lines.append("$upscope $end")
            scope.pop()
        for part in path[len(scope) :]:
            lines.append(f"$scope module {part} $end")
            scope.append(part)
        kind = "real" if short == "r" else "wire"
        lines.append(f"$var {kind} {width} {codes[name]} {short} $end")
    lines += ["$upscope $end"] * len(scope) + ["$enddefinitions $end"]
    for index in range(INDICES):
        lines.append(f"#{index * 10}")
        for name, width in SIGNALS:
            if index and rng.random() < 0.5:
                continue
            code = codes[name]
            if name == "top.r":
                lines.append(f"r{rng.choice([0.0, 1.5, 2.0, 7.25, 300.5])} {code}")
            elif name == "top.e" and rng.random() < 0.3:
                lines.append(f"b{''.join(rng.choice('01xz') for _ in range(width))} {code}")
            elif width == 1:
                lines.append(f"{rng.getrandbits(1)}{code}")
            else:
                lines.append(f"b{rng.getrandbits(width):b} {code}")
    return PyTrace.from_vcd_string("\n".join(lines) + "\n")


def values(trace, expr):
    """The value of ``expr`` at every index: equal lists mean the trees agree."""
    return [trace.eval_expr(expr, i) for i in range(trace.max_index() + 1)]


def signal(trace, name):
    return PyExpr.signal(trace.signal_id(name))


class DictNames:
    """A name lookup over a fixed mapping of names to ids."""

    def __init__(self, ids, close=()):
        self.ids = ids
        self.close = list(close)

    def signal_id(self, name):
        return self.ids.get(name)

    def close_names(self, name):
        return self.close


# The binary operators as the language defines them, written out here rather
# than taken from the compiler: precedence (higher binds tighter) and node.
OPERATORS = {
    "||": (1, PyExpr.or_),
    "&&": (2, PyExpr.and_),
    "|": (3, PyExpr.bit_or),
    "^": (4, PyExpr.bit_xor),
    "&": (5, PyExpr.bit_and),
    "==": (6, PyExpr.eq_),
    "!=": (6, PyExpr.neq),
    "<": (7, PyExpr.lt_),
    "<=": (7, PyExpr.lte),
    ">": (7, PyExpr.gt_),
    ">=": (7, PyExpr.gte),
    "+": (8, PyExpr.add),
    "-": (8, PyExpr.sub),
}
NOT_PRECEDENCE = 9
