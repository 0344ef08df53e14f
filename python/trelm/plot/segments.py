"""A signal's changes in a window cut into the segments a picture of a given
width in pixels can show: a change alone in its pixel column starts a segment
at its own time; columns with several changes, and changing columns right after
them, merge into one "busy" segment. So each pixel column starts at most one
segment, however many changes the window holds."""

from __future__ import annotations

from typing import NamedTuple

import numpy as np

from trelm import sampling

NONE = -1  # no value
BUSY = -2  # too many changes to draw


class Segments(NamedTuple):
    """Segment k spans [starts[k], ends[k]) and shows the value at change
    position where[k] of the signal's steps, or is NONE or BUSY."""

    starts: np.ndarray
    ends: np.ndarray
    where: np.ndarray


def cut(steps: sampling.Steps, start: int, stop: int, columns: int) -> Segments:
    """The segments of `steps` (one change per time) over [start, stop],
    drawn `columns` pixels wide."""
    span = max(stop - start, 1)
    quantum = span / columns
    first = int(sampling.positions(steps.times, [start])[0])
    inside = np.flatnonzero((steps.times > start) & (steps.times < stop))
    if not len(inside):
        return Segments(np.array([float(start)]), np.array([float(stop)]), np.array([first], dtype=np.int64))
    times = steps.times[inside].astype(np.float64)
    column = np.minimum(((times - start) / quantum).astype(np.int64), columns - 1)
    cols, head, counts = np.unique(column, return_index=True, return_counts=True)
    tail = head + counts - 1
    # A busy column makes every changing column right after it busy too.
    follows = np.append(False, cols[1:] == cols[:-1] + 1)
    order = np.arange(len(cols))
    run_start = np.maximum.accumulate(np.where(follows, 0, order))
    last_busy = np.maximum.accumulate(np.where(counts > 1, order, -1))
    busy = last_busy >= run_start
    # Consecutive busy columns form one busy segment.
    opens = busy & ~(follows & np.append(False, busy[:-1]))
    closes = busy & ~np.append(follows[1:] & busy[1:], False)

    bounds = [np.array([float(start)])]
    values = [np.array([first], dtype=np.int64)]
    plain = ~busy
    event_time = np.concatenate((times[head[plain]], start + cols[opens] * quantum,
                                 start + (cols[closes] + 1) * quantum))
    event_value = np.concatenate((inside[tail[plain]], np.full(int(opens.sum()), BUSY, dtype=np.int64),
                                  inside[tail[closes]]))
    event_order = np.concatenate((cols[plain] * 3 + 1, cols[opens] * 3, cols[closes] * 3 + 2))
    sequence = np.argsort(event_order, kind="stable")
    bounds.append(np.minimum(event_time[sequence], float(stop)))
    values.append(event_value[sequence])
    starts = np.concatenate(bounds)
    where = np.concatenate(values)
    ends = np.append(starts[1:], float(stop))
    keep = ends > starts
    return Segments(starts[keep], ends[keep], where[keep])
