"""Signals as step functions of time: the value in force at any time, read
from a signal's change list with numpy (no Python loop per index).

A dump may write several sample indices at one time, and times that go back;
as ``Waveform.index_at`` does, a sample counts at the highest time reached so
far, and the value in force at a time is the one after its last sample."""

from __future__ import annotations

from typing import NamedTuple, Optional

import numpy as np

from trelm import _native
from trelm.signal import Signal


class Steps(NamedTuple):
    """Changes of one signal: sample index, time (never going back) and new
    value of each, in the layout of ``Signal.changes()`` (``known`` is None
    unless the values are uint64)."""

    signal: Signal
    indices: np.ndarray
    times: np.ndarray
    values: np.ndarray
    known: Optional[np.ndarray]

    @property
    def layout(self) -> str:
        if self.known is not None:
            return "u64"
        return "f64" if self.values.dtype == np.float64 else "object"


def steps(signal: Signal) -> Steps:
    """Every change of `signal`, one per sample index."""
    changes = signal.changes()
    times = signal.waveform._step_times()[changes.indices]
    return Steps(signal, changes.indices, times, changes.values, changes.known)


def by_time(s: Steps) -> Steps:
    """The changes that end a time: where several samples share a time, only
    the last change among them stays."""
    if len(s.times) < 2:
        return s
    last = np.append(s.times[1:] != s.times[:-1], True)
    return Steps(s.signal, s.indices[last], s.times[last], s.values[last],
                 None if s.known is None else s.known[last])


def union(arrays: list[np.ndarray]) -> np.ndarray:
    """The distinct values of ascending uint64 arrays, ascending (a merge:
    faster than np.union1d, which hashes)."""
    merged = np.concatenate([np.asarray(a, dtype=np.uint64) for a in arrays]) if arrays else np.empty(0, np.uint64)
    merged.sort(kind="stable")
    if len(merged) < 2:
        return merged
    return merged[np.append(True, merged[1:] != merged[:-1])]


def positions(keys: np.ndarray, at: np.ndarray) -> np.ndarray:
    """For each of `at`, the position of the last of the ascending `keys` at
    or before it; -1 where there is none (no value yet)."""
    return np.searchsorted(keys, np.asarray(at, dtype=np.uint64), side="right").astype(np.int64) - 1


def _gather(values: np.ndarray, where: np.ndarray, fill) -> np.ndarray:
    """values[where], with `fill` where `where` is -1."""
    out = np.full(len(where), fill, dtype=values.dtype)
    valid = where >= 0
    if valid.any():
        out[valid] = values[where[valid]]
    return out


def exact(s: Steps, where: np.ndarray) -> np.ndarray:
    """The exact values at change positions `where` (-1: None), as an object
    array. Values with digits other than 0 and 1 are read one by one, and
    only those: they are few next to the two-state ones."""
    out = np.full(len(where), None, dtype=object)
    valid = where >= 0
    layout = s.layout
    if layout == "object":
        out[valid] = s.values[where[valid]]
        return out
    if layout == "f64":
        floats = s.values[where[valid]]
        out[valid] = [None if v != v else v for v in floats.tolist()]
        return out
    known = np.zeros(len(where), dtype=bool)
    known[valid] = s.known[where[valid]]
    out[known] = s.values[where[known]].tolist()
    unknown = valid & ~known
    if unknown.any():
        signal = s.signal
        trace = signal.waveform.trace
        distinct, inverse = np.unique(where[unknown], return_inverse=True)
        read = [_native.value_at(trace, signal.id, signal.width, int(i)) for i in s.indices[distinct]]
        cells = np.empty(len(read), dtype=object)
        cells[:] = read
        out[unknown] = cells[inverse.reshape(-1)]
    return out


def column(s: Steps, where: np.ndarray) -> np.ndarray:
    """The values at change positions `where` as one column: uint64 when all
    are two-state, float64 for reals (NaN for no value), else exact objects."""
    layout = s.layout
    if layout == "f64":
        return _gather(s.values, where, np.nan)
    if layout == "u64" and (where >= 0).all() and s.known[where].all():
        return s.values[where]
    return exact(s, where)


def same_values(a: Steps, where_a: np.ndarray, b: Steps, where_b: np.ndarray) -> np.ndarray:
    """Whether the exact values of `a` at `where_a` and of `b` at `where_b`
    are the same, pair by pair (no value equals no value)."""
    if a.layout == b.layout == "u64":
        known_a = _gather(a.known, where_a, False)
        known_b = _gather(b.known, where_b, False)
        same = known_a & known_b & (_gather(a.values, where_a, 0) == _gather(b.values, where_b, 0))
        both = ~known_a & ~known_b
        if both.any():
            same[both] = _same_objects(exact(a, where_a[both]), exact(b, where_b[both]))
        return same
    if a.layout == b.layout == "f64":
        va, vb = _gather(a.values, where_a, np.nan), _gather(b.values, where_b, np.nan)
        return (va == vb) | (np.isnan(va) & np.isnan(vb))
    return _same_objects(exact(a, where_a), exact(b, where_b))


def _same_objects(a: np.ndarray, b: np.ndarray) -> np.ndarray:
    return np.fromiter((type(x) is type(y) and x == y for x, y in zip(a, b)), dtype=bool, count=len(a))
