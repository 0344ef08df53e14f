#!/usr/bin/env python3
"""Seeded generator of a large VCD shaped like a small CPU's dump.

Default: ~350 variables (a third 1-bit, the rest 2..32 bits, a few reals, one
96-bit vector), 4,000,000 time lines, ~15 value changes per time line
(~60 million), about 1 GB. Some changes are X or Z. Sizes are parameters so
tests can make small files:

    python3 bench/gen_vcd.py --steps 1000 --out /tmp/small.vcd
"""
import argparse
import json
import os
import random
import sys

from trelm.export.vcd import identifier_code

HERE = os.path.dirname(os.path.abspath(__file__))


def make_signals(count, rng):
    """List of (scope path, name, kind, width); the first one is the clock."""
    scopes = ["top.cpu", "top.cpu.fetch", "top.cpu.decode", "top.cpu.alu", "top.cpu.regs", "top.cpu.lsu",
              "top.mem", "top.bus"]
    signals = [("top", "clk", "wire", 1), ("top.cpu.alu", "acc_wide", "wire", 96)]
    reals = 4
    for i in range(reals):
        signals.append(("top.cpu.fpu", f"freg{i}", "real", 64))
    i = 0
    while len(signals) < count:
        scope = scopes[i % len(scopes)]
        if i % 3 == 0:
            signals.append((scope, f"flag{i}", "wire", 1))
        else:
            signals.append((scope, f"bus{i}", "reg", rng.choice([2, 3, 4, 5, 8, 8, 12, 16, 16, 24, 32, 32, 32])))
        i += 1
    return signals


def value_lines(kind, width, code, rng, variants):
    """A pool of change lines for one signal."""
    lines = []
    for v in range(variants):
        roll = rng.random()
        if kind == "real":
            lines.append(f"r{rng.uniform(-1e3, 1e3):.6g} {code}\n")
        elif width == 1:
            if roll < 0.02:
                lines.append(f"x{code}\n")
            elif roll < 0.04:
                lines.append(f"z{code}\n")
            else:
                lines.append(f"{v & 1}{code}\n")
        else:
            if roll < 0.02:
                digits = "x" * width
            elif roll < 0.03:
                digits = "z"
            elif roll < 0.05:
                bits = [rng.choice("01xz") for _ in range(width)]
                digits = "".join(bits).lstrip("0") or "0"
            else:
                digits = format(rng.getrandbits(width), "b")
            lines.append(f"b{digits} {code}\n")
    return lines


def header(signals, codes):
    out = ["$date\n  generated\n$end\n", "$version\n  trelm bench/gen_vcd.py\n$end\n", "$timescale 1ps $end\n"]
    open_scopes = []
    for (scope, name, kind, width), code in sorted(zip(signals, codes), key=lambda s: s[0][0]):
        parts = scope.split(".")
        common = 0
        while common < min(len(parts), len(open_scopes)) and parts[common] == open_scopes[common]:
            common += 1
        for _ in range(len(open_scopes) - common):
            out.append("$upscope $end\n")
        for part in parts[common:]:
            out.append(f"$scope module {part} $end\n")
        open_scopes = parts
        suffix = f" [{width - 1}:0]" if width > 1 and kind != "real" else ""
        out.append(f"$var {kind} {width} {code} {name}{suffix} $end\n")
    for _ in open_scopes:
        out.append("$upscope $end\n")
    out.append("$enddefinitions $end\n")
    return "".join(out)


def generate(path, signal_count, steps, changes_per_step, seed, variants=48):
    rng = random.Random(seed)
    signals = make_signals(signal_count, rng)
    codes = [identifier_code(i) for i in range(len(signals))]
    # Some nets are seen in two scopes: aliases share the code.
    with open(path, "w", newline="\n") as f:
        f.write(header(signals, codes))
        f.write(f"$scope module mirror $end\n$var wire 1 {codes[0]} clk $end\n$upscope $end\n")
        f.write("#0\n$dumpvars\n")
        for (scope, name, kind, width), code in zip(signals, codes):
            f.write(value_lines(kind, width, code, rng, 1)[0])
        f.write("$end\n")

        pool = []
        for (scope, name, kind, width), code in zip(signals[1:], codes[1:]):
            pool.extend(value_lines(kind, width, code, rng, variants))
        clock = [f"0{codes[0]}\n", f"1{codes[0]}\n"]
        others = max(changes_per_step - 1, 0)
        # Changes per step vary around the mean; the pattern repeats.
        counts = [max(0, others + rng.randint(-others // 2, others // 2)) for _ in range(1009)]
        chunk = 20000
        time = 0
        written_changes = len(signals)
        for first in range(1, steps, chunk):
            n = min(chunk, steps - first)
            needed = sum(counts[(first + s) % len(counts)] for s in range(n))
            picks = rng.choices(pool, k=needed)
            out = []
            pos = 0
            for s in range(n):
                step = first + s
                time += 5
                out.append(f"#{time}\n")
                out.append(clock[step & 1])
                k = counts[step % len(counts)]
                out.extend(picks[pos:pos + k])
                pos += k
            written_changes += n + needed
            f.write("".join(out))
    return written_changes


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--signals", type=int, default=350)
    parser.add_argument("--steps", type=int, default=4_000_000, help="number of time lines")
    parser.add_argument("--changes-per-step", type=int, default=15)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--out", default=os.path.join(HERE, "data", "cpu.vcd"))
    args = parser.parse_args()
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    changes = generate(args.out, args.signals, args.steps, args.changes_per_step, args.seed)
    size = os.path.getsize(args.out)
    # Counts beside the file, for the load benchmark's per-change figures.
    with open(args.out + ".json", "w") as f:
        json.dump({"bytes": size, "time_lines": args.steps, "value_changes": changes, "signals": args.signals}, f)
    print(f"{args.out}: {size / 1e6:.1f} MB, {args.steps} time lines, {changes} value changes", file=sys.stderr)


if __name__ == "__main__":
    main()
