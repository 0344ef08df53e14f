#!/usr/bin/env python3
"""Times compile_query on long and deeply nested texts, and spans on many indices.

    python3 bench/compile_query.py [--terms 100000] [--depth 10000]
"""
import argparse
import time

import numpy as np

import trelm
from trelm.query import TraceNames, compile_query, spans

TRACE = """\
$scope module top $end
$var wire 1 ! a $end
$var wire 8 " b $end
$var wire 8 # c $end
$var wire 1 $ d $end
$upscope $end
$enddefinitions $end
#0
1!
b101 "
b11 #
1$
"""


def best_of(fn, repeat=5):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--terms", type=int, default=100_000)
    parser.add_argument("--depth", type=int, default=10_000)
    args = parser.parse_args()
    names = TraceNames(trelm.PyTrace.from_vcd_string(TRACE))
    leaves = ["top.a", "top.b == 5", "top.c[1:0] != 2", "!top.d"]
    texts = {
        f"chain of {args.terms} terms": " && ".join(leaves[i % 4] for i in range(args.terms)),
        f"{args.depth} nested parentheses": "(" * args.depth + "top.a" + ")" * args.depth,
        f"{args.depth} prefix !": "!" * args.depth + "top.a",
        f"{args.depth} nested $past": "$past(" * args.depth + "top.a" + ")" * args.depth,
        "a typical query": "$rose(top.a) && top.b[3:0] == 4'h5 || $changed(top.c)",
    }
    for label, text in texts.items():
        seconds = best_of(lambda: compile_query(text, names))
        print(f"compile {label:32} {len(text):>9} chars  {seconds * 1e3:9.3f} ms  {seconds * 1e9 / len(text):7.1f} ns/char")
    indices = np.flatnonzero(np.random.default_rng(1).random(10_000_000) < 0.5).astype(np.uint64)
    seconds = best_of(lambda: spans(indices))
    print(f"spans of {indices.size} indices: {seconds * 1e3:.1f} ms")


if __name__ == "__main__":
    main()
