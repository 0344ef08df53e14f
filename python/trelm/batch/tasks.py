"""What a worker runs for one dump: load it, ask it, hand back a small result.

Kept free of dask and pandas, so a worker imports only trelm to run it."""

from __future__ import annotations

import time
from typing import Any, Callable, Optional, Sequence

import trelm

# (result of fn, load seconds, call seconds, error text): all a task sends back.
Outcome = tuple[Any, Optional[float], Optional[float], Optional[str]]


def error_text(error: BaseException) -> str:
    return f"{type(error).__name__}: {error}"


def open_and_call(path: str, fn: Callable[[trelm.Waveform], Any], signals: Optional[Sequence[str]]) -> Outcome:
    """Loads the dump at `path` (only `signals`, when given) and calls `fn` on
    it. A failure of either becomes the error text of the outcome, so one bad
    dump never stops the run."""
    start = time.perf_counter()
    try:
        waveform = trelm.open(path, signals=signals)
    except Exception as error:
        return None, time.perf_counter() - start, None, error_text(error)
    loaded = time.perf_counter()
    try:
        result = fn(waveform)
    except Exception as error:
        return None, loaded - start, time.perf_counter() - loaded, error_text(error)
    return result, loaded - start, time.perf_counter() - loaded, None


class FindQuery:
    """The per-dump answer of batch.find: the number of matching sample
    indices and the times of the first and last (None when nothing matches)."""

    def __init__(self, query: str):
        self.query = query

    def __call__(self, waveform: trelm.Waveform) -> dict:
        found = waveform.find(self.query)
        if not len(found):
            return {"count": 0, "first_time": None, "last_time": None}
        times = waveform.times
        return {"count": len(found), "first_time": int(times[found[0]]), "last_time": int(times[found[-1]])}
