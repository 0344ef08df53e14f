#!/usr/bin/env python3
"""Times the parallel calls against their serial forms on small traces, where
there is nothing to share out: the cost of going through the pool.

    python3 bench/small_calls.py [FILE ...]
"""
import os
import sys
import timeit

import trelm
from trelm import PyExpr

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FILES = ["examples/cpu.vcd", "tests/data/vcd/small_cpu.vcd", "tests/data/fst/verilated.fst",
         "tests/data/fst/mixed_zlib.fst"]


def micros(fn, number=2000):
    return min(timeit.repeat(fn, number=number, repeat=7)) / number * 1e6


def load(path):
    return trelm.PyTrace.from_fst(path) if path.endswith(".fst") else trelm.PyTrace.from_vcd(path)


def main():
    for path in sys.argv[1:] or [os.path.join(ROOT, f) for f in FILES]:
        trace = load(path)
        named = [n for n in trace.signal_names() if trace.signal_id(n) is not None]
        expr = PyExpr.signal(trace.signal_id(named[0]))
        for name in named[1:4]:
            expr = expr.or_(PyExpr.signal(trace.signal_id(name)).eq_(PyExpr.const_int(1)))
        index = trace.max_index() // 2
        scope = named[0].rsplit(".", 1)[0]
        serial = micros(lambda: trace.find(expr))
        print(f"{os.path.relpath(path, ROOT)}: {trace.max_index() + 1} indices, {len(named)} signals")
        print(f"  find {serial:.2f} us, parallel_find {micros(lambda: trace.parallel_find(expr)):.2f} us, "
              f"parallel_count {micros(lambda: trace.parallel_count(expr)):.2f} us")
        print(f"  changed_at {micros(lambda: trace.changed_at(index)):.2f} us, "
              f"changed_at_scope {micros(lambda: trace.changed_at_scope(index, scope)):.2f} us")


if __name__ == "__main__":
    main()
