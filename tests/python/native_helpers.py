"""Reading the bytearrays of trelm._native back as Python lists."""

import math
from array import array

from trelm import _native


def words(data, code="Q"):
    return array(code, bytes(data)).tolist()


def as_layout(value, layout, kind="bits"):
    """An exact value as the given layout stores it: u64 keeps the 1 digits
    of a digit string (0 elsewhere), f64 the numbers."""
    if layout == "f64":
        return float(value) if isinstance(value, (int, float)) else math.nan
    if layout == "u64":
        if isinstance(value, int):
            return (value & (2**64 - 1), value < 2**64)
        bits = 0
        if isinstance(value, str) and kind == "bits":
            for digit in value[-64:]:
                bits = bits << 1 | (digit == "1")
        return (bits, False)
    return value


def same(a, b):
    return a == b or (isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b))


def decoded(values, known, layout):
    """The per-element values of a changes()/values() result."""
    if layout == "u64":
        return list(zip(words(values), [bool(k) for k in bytes(known)]))
    if layout == "f64":
        return words(values, "d")
    return list(values)


def exact_series(trace, signal):
    """value_at at every index of the trace."""
    _, sid, width, _, _ = signal
    count = len(words(_native.times(trace)))
    return [_native.value_at(trace, sid, width, i) for i in range(count)]
