#!/usr/bin/env python3
"""Times find and parallel_find from Python beside building a list of the same
length from an array of the indices (the cost of handing the result over).

    python3 bench/find_python.py [--file bench/data/cpu.vcd]
"""
import argparse
import os
import time
from array import array

import trelm
from trelm import PyExpr

HERE = os.path.dirname(os.path.abspath(__file__))


def best_of(fn, repeat=5):
    best = float("inf")
    result = None
    for _ in range(repeat):
        start = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - start)
    return best, result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--file", default=os.path.join(HERE, "data", "cpu.vcd"))
    args = parser.parse_args()
    trace = trelm.PyTrace.from_vcd(args.file)
    names = trace.signal_names()

    def sig(name):
        return PyExpr.signal(trace.signal_id(name))

    clk = sig(names[0])
    vectors = [n for n in names if trace.signal_width(n) in (8, 16)][:2]
    # Both vectors equal to what they hold at one index: a rare coincidence elsewhere.
    wanted = [trace.signal_value_raw(n, trace.max_index() // 2) for n in vectors]
    sparse = sig(vectors[0]).eq_(PyExpr.const_int(wanted[0])).and_(sig(vectors[1]).eq_(PyExpr.const_int(wanted[1])))
    cases = {
        "sparse match on two vectors": sparse,
        "clock == 1": clk.eq_(PyExpr.const_int(1)),
        "rising edge (rel_eval -1)": clk.and_(clk.rel_eval(-1).not_()),
    }
    for label, expr in cases.items():
        t_find, hits = best_of(lambda: trace.find(expr))
        t_par, par_hits = best_of(lambda: trace.parallel_find(expr))
        assert hits == par_hits
        indices = array("Q", hits)
        t_list, _ = best_of(lambda: list(indices))
        print(f"{label}: {len(hits)} matches; find {t_find * 1e3:.2f} ms, parallel_find {t_par * 1e3:.2f} ms, "
              f"list(array) {t_list * 1e3:.2f} ms; find / list {t_find / max(t_list, 1e-9):.2f} (target <= 2), "
              f"find / parallel_find {t_find / max(t_par, 1e-9):.2f}")


if __name__ == "__main__":
    main()
