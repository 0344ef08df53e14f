"""Signal: one signal of a loaded waveform, by name, with its exact values."""

from __future__ import annotations

from typing import TYPE_CHECKING, NamedTuple, Optional, Union

import numpy as np

from trelm import _native

if TYPE_CHECKING:
    from trelm.waveform import Waveform

# An exact value: an int of all the bits of a two-state value, the str of the
# digits of any other (one per bit, most significant first, as the simulator
# wrote them: "1x0z", "UUUU"), a float for a real, a str for a string value,
# None where the signal has no value.
Value = Union[int, str, float, None]


class Changes(NamedTuple):
    """Every change of a signal: the sample index, its time and the new value
    of each. ``values`` is uint64 for bit vectors of up to 64 bits (with
    ``known`` False where a digit is not 0 or 1; the value holds 0 there),
    float64 for reals (NaN for no value), and an object array of exact values
    otherwise (``known`` None)."""

    indices: np.ndarray
    times: np.ndarray
    values: np.ndarray
    known: Optional[np.ndarray]


def _words(buffer: bytearray, dtype) -> np.ndarray:
    array = np.frombuffer(buffer, dtype=dtype)
    array.flags.writeable = False
    return array


def _objects(values: list) -> np.ndarray:
    array = np.empty(len(values), dtype=object)
    array[:] = values
    return array


class Signal:
    """A signal of a Waveform: ``name`` (its full name), ``width`` (declared
    bits), ``id`` (the engine's signal id; aliases share it), ``kind`` ("bits",
    "real" or "string") and ``var_type`` (the dump's declaration word, such as
    "wire" or "reg"; "" when it has none).

    ``sig[i]`` is the exact value at sample index i (negative counts from the
    end; a slice gives ``values`` of that range); ``sig.at(time)`` the value in
    force at a time."""

    __slots__ = ("_waveform", "name", "id", "width", "kind", "var_type")

    def __init__(self, waveform: "Waveform", name: str, id: int, width: int, kind: str, var_type: str):
        self._waveform = waveform
        self.name = name
        self.id = id
        self.width = width
        self.kind = kind
        self.var_type = var_type

    @property
    def waveform(self) -> "Waveform":
        return self._waveform

    @property
    def aliases(self) -> tuple[str, ...]:
        """The other names of the same signal (the same net seen in other
        scopes), in dump order."""
        return tuple(n for n in self._waveform._names_of_id(self.id) if n != self.name)

    def _layout(self, exact: bool) -> str:
        if exact:
            return "object"
        if self.kind == "real":
            return "f64"
        if self.kind == "bits" and self.width <= 64:
            return "u64"
        return "object"

    def __getitem__(self, index: Union[int, slice]) -> Union[Value, np.ndarray]:
        w = self._waveform
        if isinstance(index, slice):
            # Only the indices the slice covers are read, whichever way it steps.
            picked = range(*index.indices(w.index_count))
            if not picked:
                return self.values(0, 0)
            first, last = sorted((picked[0], picked[-1]))
            values = self.values(first, last + 1)
            return values[::picked.step] if picked.step != 1 else values
        return _native.value_at(w.trace, self.id, self.width, w._check_index(index))

    def at(self, time: int) -> Value:
        """The exact value in force at `time` (in the dump's units): the value
        at ``waveform.index_at(time)``."""
        w = self._waveform
        return _native.value_at(w.trace, self.id, self.width, w.index_at(time))

    def changes(self, exact: bool = False) -> Changes:
        """Every change: an index whose exact value differs from the one
        before (the first index with a value counts). With ``exact=True`` the
        values are an object array of exact values for any signal."""
        w = self._waveform
        layout = self._layout(exact)
        indices, values, known = _native.changes(w.trace, self.id, self.width, layout)
        indices = _words(indices, np.uint64)
        if layout == "u64":
            values, known = _words(values, np.uint64), _words(known, np.bool_)
        elif layout == "f64":
            values = _words(values, np.float64)
        else:
            values = _objects(values)
        return Changes(indices, w.times[indices], values, known)

    def _range(self, start: int, stop: Optional[int]) -> tuple[int, int]:
        count = self._waveform.index_count
        stop = count if stop is None else stop
        if not (0 <= start <= stop <= count):
            raise IndexError(f"index range {start}..{stop} of {self.name!r} is outside 0..{count}")
        return start, stop

    def values(self, start: int = 0, stop: Optional[int] = None, exact: bool = False) -> np.ndarray:
        """The value at every sample index of [start, stop) (to the last index
        when stop is None): uint64 for bit vectors of up to 64 bits (0 where a
        digit is not 0 or 1, see ``known``), float64 for reals (NaN for no
        value), an object array of exact values otherwise or with
        ``exact=True``."""
        start, stop = self._range(start, stop)
        layout = self._layout(exact)
        values, _ = _native.values(self._waveform.trace, self.id, self.width, layout, start, stop)
        if layout == "u64":
            return _words(values, np.uint64)
        if layout == "f64":
            return _words(values, np.float64)
        return _objects(values)

    def known(self, start: int = 0, stop: Optional[int] = None) -> Optional[np.ndarray]:
        """For bit vectors of up to 64 bits, a boolean mask of [start, stop):
        True where every digit is 0 or 1. None for other signals, whose
        values are exact already."""
        start, stop = self._range(start, stop)
        if self._layout(False) != "u64":
            return None
        _, known = _native.values(self._waveform.trace, self.id, self.width, "u64", start, stop)
        return _words(known, np.bool_)

    def _repr_png_(self) -> Optional[bytes]:
        """The signal's lane over the whole dump, for notebooks; None (the
        text repr) without matplotlib."""
        try:
            figure = self._waveform.plot([self])
        except ImportError:
            return None
        from trelm.plot import figure_bytes

        return figure_bytes(figure, "png")

    def __repr__(self) -> str:
        return f"<Signal {self.name} [{self.width}] {self.kind}>"

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Signal) and other._waveform is self._waveform and other.name == self.name

    def __hash__(self) -> int:
        return hash((id(self._waveform), self.name))
