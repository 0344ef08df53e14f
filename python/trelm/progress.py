"""Progress of long loads: a bar on stderr (drawn by tqdm) that appears only
once a load has lasted about a second, and only when stderr is a terminal."""

from __future__ import annotations

import sys
import time
from typing import Callable, Optional, Union

Progress = Union[bool, None, Callable[[int, int], object]]

_DELAY_SECONDS = 1.0


class DelayedBar:
    """A progress callable that draws a tqdm bar of bytes once the load has
    taken longer than the delay. Close it when the load ends."""

    def __init__(self, label: str, delay: float = _DELAY_SECONDS, stream=None):
        self._label = label
        self._delay = delay
        self._stream = stream if stream is not None else sys.stderr
        self._start = time.monotonic()
        self._bar = None

    def __call__(self, done: int, total: int) -> None:
        if self._bar is None:
            # A bar first drawn when the load is done would only flash.
            if done >= total or time.monotonic() - self._start < self._delay:
                return
            try:
                from tqdm import tqdm
            except ImportError:  # the bar is a nicety; the load goes on without it
                self._delay = float("inf")
                return
            self._bar = tqdm(total=total, desc=self._label, unit="B", unit_scale=True, unit_divisor=1024,
                             file=self._stream, leave=False)
        self._bar.total = total
        self._bar.update(done - self._bar.n)

    def close(self) -> None:
        if self._bar is not None:
            self._bar.close()
            self._bar = None


def progress_callback(progress: Progress, label: str) -> tuple[Optional[Callable[[int, int], object]],
                                                                 Optional[DelayedBar]]:
    """The callable to hand the loader, and the bar to close afterwards."""
    if progress is None or progress is False:
        return None, None
    if progress is True:
        stream = sys.stderr
        if not (hasattr(stream, "isatty") and stream.isatty()):
            return None, None
        bar = DelayedBar(label)
        return bar, bar
    if callable(progress):
        return progress, None
    raise TypeError(f"progress must be True, False or a callable(done, total), not {type(progress).__name__}")
