#!/usr/bin/env python3
"""The front door's VCD load against the literal one, on the generated CPU dump.

Loads the same file with trelm.open (the whole front door: names, exact values,
the Waveform), with the native load under it, and with PyTrace.from_vcd, each
in a child process of its own (so that each peak RSS is its own), and prints
wall time, CPU time and peak RSS per value change of each, and the ratios of
trelm.open to from_vcd (targets: time <= 1.1x, memory per change within 10 %). The child runs alternate; of --rounds, the least of each figure is kept.

    python bench/open_vcd.py                  # bench/data/cpu.vcd, generated when missing
    python bench/open_vcd.py --file x.vcd --rounds 3
"""
import argparse
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from child import run_child  # noqa: E402

CHILD = r"""
import trelm
from trelm import _native
path, how = sys.argv[1], sys.argv[2]
loads = {"literal": lambda: trelm.PyTrace.from_vcd(path),
         "native": lambda: _native.load(path, "vcd")[0],
         "open": lambda: trelm.open(path).trace}
trace, figures = measured(loads[how])
print(json.dumps({**figures, "indices": trace.max_index() + 1}))
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--file", default=os.path.join(HERE, "data", "cpu.vcd"))
    parser.add_argument("--rounds", type=int, default=1)
    args = parser.parse_args()
    if not os.path.exists(args.file):
        subprocess.run([sys.executable, os.path.join(HERE, "gen_vcd.py"), "--out", args.file], check=True)
    changes = None
    if os.path.exists(args.file + ".json"):
        with open(args.file + ".json") as f:
            changes = json.load(f).get("value_changes")

    subprocess.run(["cat", args.file], stdout=subprocess.DEVNULL, check=True)  # warm the page cache
    best = {}
    for _ in range(max(args.rounds, 1)):
        for how in ("literal", "native", "open"):
            result = run_child(CHILD, args.file, how)
            kept = best.setdefault(how, result)
            for key in ("wall", "cpu", "peak_kb"):
                kept[key] = min(kept[key], result[key])

    size_mb = os.path.getsize(args.file) / 1e6
    print(f"file       {args.file}: {size_mb:.1f} MB" + (f", {changes} value changes" if changes else ""))
    for how, label in (("literal", "from_vcd"), ("native", "_native.load"), ("open", "trelm.open")):
        r = best[how]
        line = f"{label:<14} wall {r['wall']:.2f} s, cpu {r['cpu']:.2f} s, peak RSS {r['peak_kb'] / 1024:.0f} MiB"
        if changes:
            line += f" ({r['peak_kb'] * 1024 / changes:.2f} B/change)"
        print(line)
    lit, front = best["literal"], best["open"]
    print(f"ratio      wall {front['wall'] / lit['wall']:.3f} (target <= 1.1), "
          f"peak RSS {front['peak_kb'] / lit['peak_kb']:.3f} (target <= 1.1)")


if __name__ == "__main__":
    main()
