"""Open the bundled example dump and summarise it: hierarchy, searches written as text, exact values, a change
list and statistics."""

from pathlib import Path

import trelm

HERE = Path(__file__).resolve().parent


def main() -> None:
    w = trelm.open(HERE / "cpu.vcd")
    print(w)
    for scope in w.scope.walk():
        if scope.signals:
            print(f"  {scope.path}: {', '.join(scope.signals)}")

    hits = w.find("top.cpu.valid && !top.cpu.zero")
    print(f"valid and non-zero at {len(hits)} indices, first at times {w.times[hits[:5]].tolist()}")
    print(f"clock rising edges: {w.count('$rose(top.clk)')}")

    pc = w["top.cpu.pc"]
    changes = pc.changes()
    print(f"{pc.name} ({pc.width} bits) changes {len(changes.indices)} times; "
          f"at time 100 it is {pc.at(100)}, at time 0 {w['top.cpu.acc'].at(0)!r}")

    index = int(hits[0]) if len(hits) else w.index_count - 1
    print(f"changes at index {index} (time {w.time_of(index)}):")
    for name, old, new in w.changes_at(index):
        print(f"  {name}: {old!r} -> {new!r}")

    for name in ("top.cpu.acc", "top.bus", "top.temperature"):
        lo, hi, total, count, transitions, num_x, num_z = w.trace.signal_stats(name)
        print(f"{name}: min {lo} max {hi} sum {total} over {count} integer samples, "
              f"{transitions} transitions, {num_x} X, {num_z} Z")
    print("signals matching *acc*:", [s.name for s in w.glob("*acc*")])


if __name__ == "__main__":
    main()
