"""trelm.diff: two dumps of one design compared signal by signal, on time."""

from __future__ import annotations

import os
from dataclasses import asdict, dataclass, replace
from typing import Iterable, Optional, Union

import numpy as np

from trelm import sampling
from trelm.progress import Progress
from trelm.signal import Value
from trelm.waveform import Waveform

Dump = Union[Waveform, str, "os.PathLike[str]"]


@dataclass(frozen=True)
class SignalDifference:
    """A signal whose values differ: ``first_time`` is the first time at which
    they do, ``a`` and ``b`` the two values in force then, and ``count`` the
    number of times, among those at which either dump changes the signal,
    after which the values differ."""

    name: str
    first_time: int
    count: int
    a: Value
    b: Value


@dataclass(frozen=True)
class Differences:
    """The result of ``trelm.diff``: ``signals`` the signals whose values
    differ, ``only_in_a`` / ``only_in_b`` the names present in one dump only,
    ``compared`` the number of names compared (present in both)."""

    a: str
    b: str
    compared: int
    signals: tuple[SignalDifference, ...]
    only_in_a: tuple[str, ...]
    only_in_b: tuple[str, ...]

    @property
    def same(self) -> bool:
        return not (self.signals or self.only_in_a or self.only_in_b)

    def to_dict(self) -> dict:
        return {"a": self.a, "b": self.b, "same": self.same, "compared": self.compared,
                "signals": [asdict(s) for s in self.signals], "only_in_a": list(self.only_in_a),
                "only_in_b": list(self.only_in_b)}


def _waveform(dump: Dump, patterns: Optional[list[str]], progress: Progress) -> Waveform:
    if isinstance(dump, Waveform):
        return dump
    from trelm.loading import open as open_dump

    return open_dump(dump, signals=patterns, progress=progress)


def _names(w: Waveform, patterns: Optional[list[str]]) -> list[str]:
    if patterns is None:
        return list(w)
    matching = {s.name for pattern in patterns for s in w.glob(pattern)}
    return [n for n in w if n in matching]


def _difference(name: str, a: sampling.Steps, b: sampling.Steps) -> Optional[SignalDifference]:
    times = sampling.union([a.times, b.times])
    where_a, where_b = sampling.positions(a.times, times), sampling.positions(b.times, times)
    differ = ~sampling.same_values(a, where_a, b, where_b)
    if not differ.any():
        return None
    k = int(np.argmax(differ))
    at_a, at_b = where_a[k:k + 1], where_b[k:k + 1]
    return SignalDifference(name, int(times[k]), int(differ.sum()), sampling.exact(a, at_a)[0],
                            sampling.exact(b, at_b)[0])


def diff(a: Dump, b: Dump, signals: Optional[Iterable[str]] = None, *, progress: Progress = False) -> Differences:
    """Compares two dumps of the same design (Waveforms or paths, of any
    formats) signal by signal: the exact values in force at every time at
    which either changes a signal, so a change that one dump writes and the
    other leaves out because it repeats the value is no difference; sample
    indices play no part. ``signals``: names or glob patterns to compare
    (all names otherwise). ``progress`` as for ``trelm.open``, for paths."""
    patterns = None if signals is None else ([signals] if isinstance(signals, str) else list(signals))
    wa, wb = _waveform(a, patterns, progress), _waveform(b, patterns, progress)
    names_a, names_b = _names(wa, patterns), _names(wb, patterns)
    in_a, in_b = set(names_a), set(names_b)
    common = [n for n in names_a if n in in_b]
    found: list[SignalDifference] = []
    by_ids: dict[tuple[int, int], Optional[SignalDifference]] = {}
    for name in common:
        sa, sb = wa[name], wb[name]
        key = (sa.id, sb.id)
        if key not in by_ids:
            by_ids[key] = _difference(name, sampling.by_time(sampling.steps(sa)),
                                      sampling.by_time(sampling.steps(sb)))
        difference = by_ids[key]
        if difference is not None:
            found.append(replace(difference, name=name))
    return Differences(wa.path or wa._label, wb.path or wb._label, len(common), tuple(found),
                       tuple(n for n in names_a if n not in in_b), tuple(n for n in names_b if n not in in_a))
