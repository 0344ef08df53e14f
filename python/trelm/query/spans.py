"""Runs of consecutive sample indices."""

from __future__ import annotations

from typing import Iterable

import numpy as np


def spans(indices: Iterable[int]) -> np.ndarray:
    """The maximal runs of consecutive indices, as an (n, 2) uint64 array of (first, last).

    ``indices`` ascend, as a search returns them (a list or a numpy array).
    """
    values = np.asarray(indices, dtype=np.uint64).reshape(-1)
    if values.size == 0:
        return np.empty((0, 2), dtype=np.uint64)
    breaks = np.flatnonzero(np.diff(values) != 1)
    firsts = np.concatenate(([0], breaks + 1))
    lasts = np.concatenate((breaks, [values.size - 1]))
    return np.stack((values[firsts], values[lasts]), axis=1)
