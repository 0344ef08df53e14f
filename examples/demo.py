"""Load the bundled example dump and summarise it: hierarchy, a search, a change list and statistics."""

from pathlib import Path

import trelm
from trelm import PyExpr

HERE = Path(__file__).resolve().parent


def show(value):
    return "x" if value is None else value


def main() -> None:
    trace = trelm.PyTrace.from_vcd(str(HERE / "cpu.vcd"))
    names = trace.signal_names()
    last = trace.max_index()
    print(f"cpu.vcd: {len(names)} signals in {len(trace.scopes())} scopes, "
          f"{last + 1} sample indices, time {trace.timestamp(0)}..{trace.timestamp(last)}")
    for scope in trace.scopes():
        print(f"  {scope}: {', '.join(trace.local_signals(scope))}")

    # Every index where the CPU signals a valid result while the ALU output is zero-free.
    valid = PyExpr.signal(trace.signal_id("top.cpu.valid"))
    zero = PyExpr.signal(trace.signal_id("top.cpu.zero"))
    hits = trace.parallel_find(valid.eq_(PyExpr.const_int(1)).and_(zero.not_()))
    print(f"valid and non-zero at {len(hits)} indices, first {hits[:5]}")

    # Rising edges of the clock, found with a look at the previous index.
    clk = PyExpr.signal(trace.signal_id("top.clk"))
    rising = clk.and_(clk.rel_eval(-1).not_())
    print(f"clock rising edges: {trace.parallel_count(rising)}")

    index = hits[0] if hits else last
    print(f"changes at index {index} (time {trace.timestamp(index)}):")
    for name, old, new in trace.changed_at(index):
        print(f"  {name}: {show(old)} -> {show(new)}")

    for name in ("top.cpu.acc", "top.bus", "top.temperature"):
        lo, hi, total, count, transitions, num_x, num_z = trace.signal_stats(name)
        print(f"{name}: min {lo} max {hi} sum {total} over {count} integer samples, "
              f"{transitions} transitions, {num_x} X, {num_z} Z")
    print("signals matching *acc*:", trace.find_signals_glob("*acc*"))


if __name__ == "__main__":
    main()
