"""Values of chosen signals as a table: a row per time at which any of them
changes, or a row per sample index, and a column per signal."""

from __future__ import annotations

from typing import TYPE_CHECKING, Iterator, NamedTuple, Optional

import numpy as np

from trelm import sampling
from trelm.signal import Signal
from trelm.waveform import _MAX_TIME

if TYPE_CHECKING:
    from trelm.waveform import Waveform

ROWS = ("change", "index")


class Table(NamedTuple):
    """``times`` of every row, ``indices`` the sample index of every row
    (None for rows per change), ``columns`` the values of each signal by full
    name: uint64, float64 (NaN for no value) or exact objects."""

    times: np.ndarray
    indices: Optional[np.ndarray]
    columns: dict[str, np.ndarray]


def window(w: "Waveform", start: Optional[int], stop: Optional[int]) -> tuple[int, int]:
    """[start, stop] in the dump's time units, from the first to the last
    sample's time where not given. A time past the largest a dump can hold
    (2**64 - 1) is read as that largest, which every sample is at or before,
    so that the window's ends fit the uint64 arrays they are compared with."""
    times = w._step_times()
    if not len(times):
        raise ValueError(f"{w._label} holds no sample")
    first, last = int(times[0]), int(times[-1])
    start = first if start is None else max(int(start), first)
    stop = last if stop is None else int(stop)
    if stop < start:
        raise ValueError(f"the window ends at {stop}, before it starts at {start}")
    return min(start, _MAX_TIME), min(stop, _MAX_TIME)


def sample_table(w: "Waveform", signals: list[Signal], start: Optional[int] = None, stop: Optional[int] = None,
                 on: str = "change") -> Table:
    """The table of `signals` over [start, stop]. ``on="change"``: a row at
    `start` with the values then in force, and one per later time at which
    any of the signals changes (the values after that time's last sample).
    ``on="index"``: a row per sample index whose time is in the window."""
    return next(sample_blocks(w, signals, start, stop, on))


def sample_blocks(w: "Waveform", signals: list[Signal], start: Optional[int] = None, stop: Optional[int] = None,
                  on: str = "change", rows: Optional[int] = None) -> Iterator[Table]:
    """The rows of ``sample_table`` as consecutive tables of at most `rows`
    rows each (one table when None, and at least one, empty for no row), so
    a long window need not be held whole. A column's dtype is that of its
    block's values: uint64 in one block may be exact objects in the next."""
    if on not in ROWS:
        raise ValueError(f"on must be 'change' or 'index', not {on!r}")
    start, stop = window(w, start, stop)
    every = [sampling.steps(s) for s in signals]
    if on == "index":
        step_times = w._step_times()
        first = int(np.searchsorted(step_times, np.uint64(start), side="left"))
        end = int(np.searchsorted(step_times, np.uint64(stop), side="right"))

        def block(a: int, b: int) -> Table:
            indices = np.arange(a, b, dtype=np.uint64)
            columns = {s.signal.name: sampling.column(s, sampling.positions(s.indices, indices)) for s in every}
            return Table(w.times[a:b].copy(), indices, columns)
    else:
        every = [sampling.by_time(s) for s in every]
        inside = [s.times[(s.times > start) & (s.times <= stop)] for s in every]
        times = sampling.union([np.array([start], dtype=np.uint64)] + inside)
        first, end = 0, len(times)

        def block(a: int, b: int) -> Table:
            keys = times[a:b]
            return Table(keys, None, {s.signal.name: sampling.column(s, sampling.positions(s.times, keys))
                                      for s in every})
    size = rows or max(end - first, 1)
    for a in range(first, max(end, first + 1), size):
        yield block(a, min(a + size, end))
