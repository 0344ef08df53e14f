#!/usr/bin/env python3
"""Loading 3 signals of 350 from a 1 GB-class FST, against loading it whole.

Generates the bench VCD (bench/gen_vcd.py -> bench/data/cpu.vcd, ~1 GB) and
converts it with vcd2fst (bench/data/cpu.fst), both cached, then loads the FST
with trelm.open(path, signals=[3 names]) and with trelm.open(path), each in a
child process of its own so that each peak RSS is its own load's, once each.
Prints wall time and peak RSS of both and their ratios, and checks that the
chosen signals' values agree. Targets: at most 0.1 for the time and for the
load's own memory (the peak less the RSS the process had before the load:
the interpreter, numpy and trelm); the ratio of the whole peaks is shown
beside it. Both loads keep a time stamp for each of the file's time lines
(so that sample indices are those of the whole load): 32 MB for the 4
million of the default dump.

    python3 bench/select_fst.py
    python3 bench/select_fst.py --steps 400000     # a ~100 MB VCD, quicker
"""
import argparse
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gen_vcd  # noqa: E402
from child import run_child  # noqa: E402

# Three ordinary signals of different kinds: a flag, a bus, a real.
CHOSEN = ["top.cpu.flag0", "top.cpu.fetch.bus1", "top.cpu.fpu.freg0"]

CHILD = r"""
import hashlib
import trelm
path, chosen = sys.argv[1], json.loads(sys.argv[2])
before_kb = status_kb("VmRSS")
w, load = measured(lambda: trelm.open(path, signals=chosen) if chosen else trelm.open(path))
names = json.loads(sys.argv[3])
digest = hashlib.sha256()
for name in names:
    changes = w[name].changes(exact=True)
    digest.update(changes.times.tobytes())
    digest.update(repr(list(changes.values)).encode())
print(json.dumps({**load, "before_kb": before_kb, "signals": len(w),
                  "indices": w.index_count,
                  "digest": digest.hexdigest()}))
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--steps", type=int, default=4_000_000, help="time lines of the generated VCD")
    parser.add_argument("--dir", default=os.path.join(HERE, "data"))
    args = parser.parse_args()

    os.makedirs(args.dir, exist_ok=True)
    stem = "cpu" if args.steps == 4_000_000 else f"cpu_{args.steps}"
    vcd = os.path.join(args.dir, stem + ".vcd")
    fst = os.path.join(args.dir, stem + ".fst")
    if not os.path.exists(vcd):
        gen_vcd.generate(vcd + ".part", 350, args.steps, 15, 1)
        os.replace(vcd + ".part", vcd)
    if not os.path.exists(fst):
        subprocess.run(["vcd2fst", vcd, fst + ".part"], check=True, stdout=subprocess.DEVNULL)
        os.replace(fst + ".part", fst)
    print(f"FST {fst}: {os.path.getsize(fst) / 1e6:.1f} MB (from a {os.path.getsize(vcd) / 1e9:.2f} GB VCD); "
          f"{os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.1f}")

    chosen = run_child(CHILD, fst, json.dumps(CHOSEN), json.dumps(CHOSEN))
    whole = run_child(CHILD, fst, "[]", json.dumps(CHOSEN))
    for label, run in (("whole", whole), (f"{len(CHOSEN)} signals", chosen)):
        print(f"  {label:<11} {run['wall']:7.2f} s  peak RSS {run['peak_kb'] / 1024:8.1f} MB, "
              f"{(run['peak_kb'] - run['before_kb']) / 1024:7.1f} MB over the {run['before_kb'] / 1024:.1f} MB "
              f"before the load  ({run['signals']} signals, {run['indices']} indices)")
    time_ratio = chosen["wall"] / whole["wall"]
    memory_ratio = (chosen["peak_kb"] - chosen["before_kb"]) / (whole["peak_kb"] - whole["before_kb"])
    print(f"  ratios      time {time_ratio:.3f}, the load's memory {memory_ratio:.3f}  (targets <= 0.1); "
          f"peak RSS {chosen['peak_kb'] / whole['peak_kb']:.3f}")
    same = chosen["digest"] == whole["digest"] and chosen["signals"] == len(CHOSEN)
    print("chosen signals agree with the whole load" if same else "CHOSEN SIGNALS DIFFER")
    ok = same and time_ratio <= 0.1 and memory_ratio <= 0.1
    print("targets met" if ok else "TARGETS MISSED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
