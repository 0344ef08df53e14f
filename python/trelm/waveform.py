"""Waveform: a loaded dump, asked by signal name and by time."""

from __future__ import annotations

import operator
import os
from collections.abc import Mapping
from typing import Iterator, Optional, Union

import numpy as np

from trelm import _native
from trelm._core import PyExpr, PyTrace
from trelm.errors import SignalNotFound
from trelm.names import close_names
from trelm.scope import Scope, build_tree
from trelm.signal import Signal, Value

Query = Union[str, PyExpr]

_MAX_TIME = 2**64 - 1


class SignalMap(Mapping):
    """Read-only mapping from full name to Signal, in dump order. Signal
    objects are made when first asked for, so designs of any size open fast."""

    def __init__(self, waveform: "Waveform"):
        self._waveform = waveform
        self._made: dict[str, Signal] = {}

    def __getitem__(self, name: str) -> Signal:
        signal = self._made.get(name)
        if signal is None:
            meta = self._waveform._meta.get(name)
            if meta is None:
                raise self._waveform._not_found(name)
            signal = Signal(self._waveform, name, *meta)
            self._made[name] = signal
        return signal

    def __iter__(self) -> Iterator[str]:
        return iter(self._waveform._names)

    def __len__(self) -> int:
        return len(self._waveform._names)

    def __contains__(self, name: object) -> bool:
        return name in self._waveform._meta

    def __repr__(self) -> str:
        return f"<{len(self)} signals of {self._waveform._label}>"


class Waveform:
    """A dump loaded by ``trelm.open`` or ``trelm.loads``.

    ``w[name]`` is the Signal of a full name, ``w.signals`` all of them by
    name in dump order, ``w.scope`` the root of the design hierarchy. Times
    are in the dump's units (``w.timescale``); ``w.times`` holds the time of
    every sample index, and ``time_of`` / ``index_at`` convert. ``w.trace`` is
    the engine's PyTrace over the same data, with the same names, for every
    query of ``trelm.PyTrace``."""

    def __init__(self, trace: PyTrace, info: dict, path: Optional[str], format: str):
        self._trace = trace
        self.path = path
        self.format = format
        self.timescale: Optional[tuple[int, str]] = info.get("timescale")
        self._names: list[str] = []
        self._meta: dict[str, tuple[int, int, str, str]] = {}
        for name, id, width, kind, var_type in info["signals"]:
            if name not in self._meta:
                self._names.append(name)
            self._meta[name] = (id, width, kind, var_type)
        self._signals = SignalMap(self)
        self._by_id: Optional[dict[int, list[str]]] = None
        self._scope: Optional[Scope] = None
        self._times: Optional[np.ndarray] = None
        self._running_max: Optional[np.ndarray] = None

    # -- the dump as a whole -------------------------------------------------

    @property
    def trace(self) -> PyTrace:
        return self._trace

    @property
    def _label(self) -> str:
        return os.path.basename(self.path) if self.path else "<text>"

    @property
    def signals(self) -> SignalMap:
        return self._signals

    @property
    def scope(self) -> Scope:
        if self._scope is None:
            self._scope = build_tree(self._trace.scopes(), [self._signals[n] for n in self._names])
        return self._scope

    def __getitem__(self, name: str) -> Signal:
        return self._signals[name]

    def __contains__(self, name: object) -> bool:
        return name in self._meta

    def __iter__(self) -> Iterator[str]:
        return iter(self._names)

    def __len__(self) -> int:
        return len(self._names)

    def _not_found(self, name: str) -> SignalNotFound:
        return SignalNotFound(name, self._label, close_names(name, self._names))

    def _names_of_id(self, id: int) -> list[str]:
        if self._by_id is None:
            by_id: dict[int, list[str]] = {}
            for name in self._names:
                by_id.setdefault(self._meta[name][0], []).append(name)
            self._by_id = by_id
        return self._by_id.get(id, [])

    def glob(self, pattern: str) -> list[Signal]:
        """The signals whose full name matches `pattern`: ``*`` any run of
        characters (dots included), ``?`` one; all else stands for itself."""
        return [self._signals[n] for n in self._trace.find_signals_glob(pattern)]

    def search(self, substring: str) -> list[Signal]:
        """The signals whose full name contains `substring`, ignoring case."""
        return [self._signals[n] for n in self._trace.find_signals_containing(substring)]

    # -- time ----------------------------------------------------------------

    @property
    def times(self) -> np.ndarray:
        """The time of every sample index, as a read-only uint64 array."""
        if self._times is None:
            times = np.frombuffer(_native.times(self._trace), dtype=np.uint64)
            times.flags.writeable = False
            self._times = times
        return self._times

    @property
    def index_count(self) -> int:
        """The number of sample indices (one per time line of the dump)."""
        return len(self.times)

    def _check_index(self, index: int) -> int:
        count = self.index_count
        position = operator.index(index)
        if position < 0:
            position += count
        if not 0 <= position < count:
            raise IndexError(f"sample index {index} is outside 0..{count - 1} of {self._label}")
        return position

    def time_of(self, index: int) -> int:
        """The time of sample index `index`."""
        return int(self.times[self._check_index(index)])

    def index_at(self, time: int) -> int:
        """The last sample index whose time is at or before `time`.

        Times are read as never going backwards: a sample whose time is below
        that of an earlier sample counts as at the earlier one's time (so a
        dump whose times go back still gets one answer, the last index
        reached by then). A time before the first sample is a ValueError."""
        times = self.times
        time = operator.index(time)
        if time < 0 or not len(times) or time < int(times[0]):
            first = f"the first sample's time {int(times[0])}" if len(times) else "no sample at all"
            raise ValueError(f"time {time} is before {first} in {self._label}")
        # Past the largest time a dump can hold, every sample is before.
        key = np.uint64(min(time, _MAX_TIME))
        return int(np.searchsorted(self._step_times(), key, side="right")) - 1

    def _step_times(self) -> np.ndarray:
        """The time every sample index counts at: the highest time reached by
        then, so the array ascends even where the dump's times go back."""
        if self._running_max is None:
            times = self.times
            self._running_max = np.maximum.accumulate(times) if len(times) else times
        return self._running_max

    # -- values at one index -------------------------------------------------

    def _index_or_time(self, index: Optional[int], time: Optional[int]) -> int:
        if (index is None) == (time is None):
            raise TypeError("give exactly one of index and time")
        return self._check_index(index) if index is not None else self.index_at(time)

    def snapshot(self, index: Optional[int] = None, *, time: Optional[int] = None) -> dict[str, Value]:
        """Every signal's exact value at a sample index (or at the index in
        force at `time`), by full name in dump order."""
        return _native.snapshot(self._trace, self._index_or_time(index, time))

    def changes_at(self, index: int) -> list[tuple[str, Value, Value]]:
        """The signals whose exact value changes at `index`: (name, old, new)
        in dump order; empty at index 0."""
        return _native.changes_at(self._trace, self._check_index(index))

    # -- searches ------------------------------------------------------------

    def expr(self, text: str, *, scope: Optional[str] = None) -> PyExpr:
        """The PyExpr tree of a query text (see docs/queries.md). With `scope`
        a name is looked up in that scope first, then as a full name."""
        from trelm.query import TraceNames, compile_query

        return compile_query(text, TraceNames(self._trace, scope))

    def _expr_of(self, query: Query, scope: Optional[str]) -> PyExpr:
        if isinstance(query, PyExpr):
            return query
        if isinstance(query, str):
            return self.expr(query, scope=scope)
        raise TypeError(f"query must be a text or a PyExpr, not {type(query).__name__}")

    def find(self, query: Query, *, scope: Optional[str] = None, parallel: bool = True) -> np.ndarray:
        """The sample indices at which the query holds, ascending, as a uint64
        array; on all cores unless ``parallel=False``."""
        found = np.frombuffer(_native.find(self._trace, self._expr_of(query, scope), parallel), dtype=np.uint64)
        found.flags.writeable = False
        return found

    def count(self, query: Query, *, scope: Optional[str] = None) -> int:
        """The number of sample indices at which the query holds."""
        return self._trace.parallel_count(self._expr_of(query, scope))

    def spans(self, query: Query, *, scope: Optional[str] = None) -> np.ndarray:
        """The maximal runs of consecutive matching indices, as an (n, 2)
        uint64 array of first and last index."""
        from trelm.query import spans

        return spans(self.find(query, scope=scope))

    # -- pictures and tables ---------------------------------------------------

    def plot(self, signals, start: Optional[int] = None, stop: Optional[int] = None):
        """A timing diagram of `signals` (full names, glob patterns or Signal
        objects) over the times [start, stop], as a matplotlib Figure: a lane
        per signal; one-bit signals as a line between 0 and 1 (Z at
        mid-height, X as a shaded band), buses as hexagon-ended segments
        labelled with their values (hex, or the digits when not two-state),
        reals as a line. Where changes come closer than a pixel, the lane
        shows one grey "busy" segment. Needs matplotlib (``trelm[plot]``)."""
        from trelm.plot import plot

        return plot(self, signals, start, stop)

    def to_pandas(self, signals, start: Optional[int] = None, stop: Optional[int] = None, *, on: str = "change"):
        """A pandas DataFrame of `signals` over the times [start, stop], a
        column per signal of exact values (uint64 when all are two-state,
        float64 for reals). ``on="change"``: indexed by time, a row at `start`
        and one per later time at which any of the signals changes, holding
        the values after that time. ``on="index"``: a row per sample index,
        with its time in a "time" column. Needs pandas (``trelm[pandas]``)."""
        from trelm.export import to_pandas

        return to_pandas(self, signals, start, stop, on=on)

    def _repr_html_(self) -> str:
        from html import escape

        count = self.index_count
        rows = [("format", self.format), ("signals", len(self)), ("scopes", len(self._trace.scopes())),
                ("sample indices", count)]
        if count:
            unit = f" ({self.timescale[0]} {self.timescale[1]})" if self.timescale else ""
            rows.append(("time", f"{self.time_of(0)}..{self.time_of(count - 1)}{unit}"))
        shown = ", ".join(self._names[:8]) + (", ..." if len(self._names) > 8 else "")
        rows.append(("first signals", shown))
        cells = "".join(f"<tr><th style='text-align:left'>{escape(k)}</th><td style='text-align:left'>"
                        f"{escape(str(v))}</td></tr>" for k, v in rows)
        return f"<b>{escape(self._label)}</b><table>{cells}</table>"

    def __repr__(self) -> str:
        count = self.index_count
        span = f", time {self.time_of(0)}..{self.time_of(count - 1)}" if count else ""
        unit = f" (unit {self.timescale[0]} {self.timescale[1]})" if self.timescale and count else ""
        return f"<Waveform {self._label} ({self.format}): {len(self)} signals, {count} indices{span}{unit}>"

