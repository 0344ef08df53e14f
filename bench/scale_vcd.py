#!/usr/bin/env python3
"""Load cost follows value changes, not signals x indices.

Writes two VCD files with the same number of value changes, one change per
time line over 200,000 time lines: one over 10,000 signals, one over 10
signals, and compares their load times (target: wide <= 2 x narrow).

    python bench/scale_vcd.py [--steps N] [--wide-signals N]
"""
import argparse
import os
import random
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from trelm.export.vcd import identifier_code as code  # noqa: E402

CHILD = r"""
import resource, sys, time
import trelm
best = None
for _ in range(int(sys.argv[2])):
    start = time.perf_counter()
    trelm.PyTrace.from_vcd(sys.argv[1])
    wall = time.perf_counter() - start
    best = wall if best is None else min(best, wall)
print(best)
"""


def write(path, signals, steps, seed):
    rng = random.Random(seed)
    codes = [code(i) for i in range(signals)]
    state = [0] * signals
    with open(path, "w") as f:
        f.write("$timescale 1ns $end\n$scope module top $end\n")
        f.writelines(f"$var wire 1 {c} s{i} $end\n" for i, c in enumerate(codes))
        f.write("$upscope $end\n$enddefinitions $end\n")
        out = []
        for t in range(steps):
            s = rng.randrange(signals)
            state[s] ^= 1
            out.append(f"#{t}\n{state[s]}{codes[s]}\n")
        f.write("".join(out))


def load_time(path, repeat):
    out = subprocess.run([sys.executable, "-c", CHILD, path, str(repeat)], check=True, capture_output=True, text=True)
    return float(out.stdout.strip())


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--steps", type=int, default=200_000)
    parser.add_argument("--wide-signals", type=int, default=10_000)
    parser.add_argument("--narrow-signals", type=int, default=10)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    data = os.path.join(HERE, "data")
    os.makedirs(data, exist_ok=True)
    wide = os.path.join(data, f"scale_{args.wide_signals}.vcd")
    narrow = os.path.join(data, f"scale_{args.narrow_signals}.vcd")
    write(wide, args.wide_signals, args.steps, 1)
    write(narrow, args.narrow_signals, args.steps, 2)
    t_wide = load_time(wide, args.repeat)
    t_narrow = load_time(narrow, args.repeat)
    print(f"{args.wide_signals} signals x {args.steps} time lines: {t_wide * 1e3:.1f} ms")
    print(f"{args.narrow_signals} signals x {args.steps} time lines: {t_narrow * 1e3:.1f} ms")
    print(f"ratio {t_wide / t_narrow:.2f}  (target <= 2)")


if __name__ == "__main__":
    main()
