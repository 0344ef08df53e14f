#!/usr/bin/env python3
"""FST loading benchmark.

Generates the bench VCD (bench/gen_vcd.py; ~1 GB by default), converts it with
`vcd2fst -4` (LZ4) and `vcd2fst -Z` (zlib), then for each FST measures, in
this one run:
  - PyTrace.from_fst wall time and peak resident memory (each load in a
    fresh child process, so the peak is that load's alone);
  - `fst2vcd FILE > /dev/null` wall time (GTKWave's own decoder);
and checks the targets: from_fst <= 0.5 x fst2vcd, and peak memory within
the VCD loader's budget of 16 bytes per value change + 64 MB. CPU seconds
are shown beside the wall times: on a machine busy with other work the wall
times of a loader that uses several threads and of single-threaded fst2vcd
stretch differently, and --rounds N pairs the two N times and takes the
median ratio.

    python3 bench/load_fst.py                  # full size
    python3 bench/load_fst.py --steps 400000   # ~100 MB VCD, quicker
    python3 bench/load_fst.py --rounds 3       # median of three paired runs
"""
import argparse
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gen_vcd  # noqa: E402
from child import run_child, timed  # noqa: E402

CHILD = r"""
import trelm
trace, load = measured(lambda: trelm.PyTrace.from_fst(sys.argv[1]))
print(json.dumps({**load, "indices": trace.max_index() + 1, "signals": len(trace.signal_names())}))
"""

BASELINE = r"""
import trelm
print(json.dumps({"peak_kb": status_kb("VmHWM")}))
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--steps", type=int, default=4_000_000, help="time lines of the generated VCD")
    parser.add_argument("--dir", default=os.path.join(HERE, "data"), help="where the VCD and FST files go")
    parser.add_argument("--rounds", type=int, default=1,
                        help="paired measurements per file; the median ratio counts (for a busy machine)")
    args = parser.parse_args()

    os.makedirs(args.dir, exist_ok=True)
    vcd = os.path.join(args.dir, f"cpu_{args.steps}.vcd")
    counts = vcd + ".changes"
    if not (os.path.exists(vcd) and os.path.exists(counts)):
        changes = gen_vcd.generate(vcd, 350, args.steps, 15, 1)
        with open(counts, "w") as f:
            f.write(str(changes))
    changes = int(open(counts).read())
    print(f"VCD {vcd}: {os.path.getsize(vcd) / 1e6:.1f} MB, {changes} value changes; "
          f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} CPUs")

    baseline_kb = run_child(BASELINE)["peak_kb"]
    budget_bytes = 16 * changes + 64 * 2**20
    ok = True
    for flag, label in (("-4", "lz4"), ("-Z", "zlib")):
        fst = os.path.join(args.dir, f"cpu_{args.steps}_{label}.fst")
        if not os.path.exists(fst):
            convert, _ = timed(["vcd2fst", flag, vcd, fst], stdout=subprocess.DEVNULL)
            print(f"vcd2fst {flag}: {convert:.1f} s")
        ratios = []
        peak = 0
        for _ in range(max(args.rounds, 1)):
            with open(os.devnull, "w") as null:
                reference, reference_cpu = timed(["fst2vcd", fst], stdout=null)
            load = run_child(CHILD, fst)
            ratios.append(load["wall"] / reference)
            peak = max(peak, load["peak_kb"] * 1024)
            if len(ratios) == 1:
                print(f"{label}: {os.path.getsize(fst) / 1e6:.1f} MB FST, {load['indices']} indices, "
                      f"{load['signals']} names")
            print(f"  fst2vcd > /dev/null  {reference:7.2f} s  (CPU {reference_cpu:.2f} s)")
            print(f"  from_fst             {load['wall']:7.2f} s  ({ratios[-1]:.2f} x fst2vcd, target <= 0.5; "
                  f"CPU {load['cpu']:.2f} s)")
        ratio = statistics.median(ratios)
        load_bytes = peak - baseline_kb * 1024
        ok &= ratio <= 0.5 and load_bytes <= budget_bytes
        if len(ratios) > 1:
            print(f"  median ratio         {ratio:7.2f}")
        print(f"  peak RSS             {peak / 2**20:7.1f} MB  (load {load_bytes / 2**20:.1f} MB, "
              f"{load_bytes / changes:.1f} B/change; budget {budget_bytes / 2**20:.1f} MB)")
    print("targets met" if ok else "TARGETS MISSED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
