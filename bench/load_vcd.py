#!/usr/bin/env python3
"""Load benchmark of PyTrace.from_vcd on the generated CPU dump.

Prints, from one run: the load's wall and CPU time and peak RSS (measured in a
child process), the time of GTKWave's vcd2fst converting the same file and of
`wc -l` reading it, the ratios, and the per-signal cost of snapshot(i) and the
per-call cost of signal_value(name, i).

    python bench/load_vcd.py                  # bench/data/cpu.vcd, generated when missing
    python bench/load_vcd.py --file x.vcd --no-vcd2fst
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from child import run_child, timed  # noqa: E402

CHILD = r"""
import random, timeit
import trelm
trace, load = measured(lambda: trelm.PyTrace.from_vcd(sys.argv[1]))
names = trace.signal_names()
last = trace.max_index()
rng = random.Random(5)
indices = [rng.randrange(last + 1) for _ in range(20)]
calls = 20
snap = min(timeit.repeat(lambda: [trace.snapshot(i) for i in indices], number=1, repeat=3)) / len(indices)
pairs = [(rng.choice(names), rng.randrange(last + 1)) for _ in range(1000)]
sv = trace.signal_value
value = min(timeit.repeat(lambda: [sv(n, i) for n, i in pairs], number=20, repeat=3)) / (20 * len(pairs))
print(json.dumps({**load, "signals": len(names), "indices": last + 1,
                  "snapshot_per_signal": snap / len(names), "signal_value_call": value}))
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--file", default=os.path.join(HERE, "data", "cpu.vcd"))
    parser.add_argument("--no-vcd2fst", action="store_true", help="skip the vcd2fst comparison")
    args = parser.parse_args()

    if not os.path.exists(args.file):
        subprocess.run([sys.executable, os.path.join(HERE, "gen_vcd.py"), "--out", args.file], check=True)
    size = os.path.getsize(args.file)
    counts = {}
    if os.path.exists(args.file + ".json"):
        with open(args.file + ".json") as f:
            counts = json.load(f)
    changes = counts.get("value_changes")

    # Warm the page cache so that every contender reads from memory.
    timed(["cat", args.file], stdout=subprocess.DEVNULL)
    wc_wall, wc_cpu = timed(["wc", "-l", args.file], stdout=subprocess.DEVNULL)

    result = run_child(CHILD, args.file)

    fst_wall = fst_cpu = None
    if not args.no_vcd2fst and shutil.which("vcd2fst"):
        with tempfile.TemporaryDirectory() as tmp:
            fst_wall, fst_cpu = timed(["vcd2fst", args.file, os.path.join(tmp, "out.fst")],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    mb = size / 1e6
    print(f"file             {args.file}: {mb:.1f} MB, {result['signals']} signals, {result['indices']} indices"
          + (f", {changes} value changes" if changes else ""))
    print(f"from_vcd         wall {result['wall']:.2f} s, cpu {result['cpu']:.2f} s, {mb / result['wall']:.0f} MB/s")
    print(f"wc -l            wall {wc_wall:.2f} s, cpu {wc_cpu:.2f} s  (load/wc wall {result['wall'] / wc_wall:.1f}x)")
    if fst_wall is not None:
        print(f"vcd2fst          wall {fst_wall:.2f} s, cpu {fst_cpu:.2f} s")
        print(f"load / vcd2fst   wall {result['wall'] / fst_wall:.3f}, cpu {result['cpu'] / fst_cpu:.3f}  (target <= 0.15)")
    peak_mb = result["peak_kb"] / 1024
    line = f"peak RSS         {peak_mb:.0f} MiB"
    if changes:
        budget = (16 * changes + 64 * 2**20) / 2**20
        line += (f"; budget 16 B/change + 64 MiB = {budget:.0f} MiB ({peak_mb / budget:.2f} of it; "
                 f"{result['peak_kb'] * 1024 / changes:.1f} B/change)")
    print(line)
    print(f"snapshot(i)      {result['snapshot_per_signal'] * 1e6:.3f} us per signal  (target <= 0.5)")
    print(f"signal_value     {result['signal_value_call'] * 1e6:.3f} us per call  (target <= 0.5)")


if __name__ == "__main__":
    main()
