"""Type stubs for trelm._native, the front door's native module.

Everything here is private to the package: `trelm.open` and the Waveform and
Signal objects call it. Traces are `trelm.PyTrace` objects (of `trelm._core`),
loaded with the front door's names and values; every function below takes
one. Arrays come back as bytearrays of native-endian machine words, which the
package wraps with numpy.frombuffer without copying.
"""

from typing import Callable, Optional, Sequence, Union

from trelm._core import PyTrace

# An exact value: int (all bits of a two-state vector), str (the digits of a
# value with any digit other than 0 and 1, most significant first, extended on
# the left to the declared width; or a string value), float (a real), or None
# (no value at that index).
Exact = Union[int, str, float, None]

# Loading. `format` is one of "vcd", "vcd.gz", "fst", "fsdb", "wlf", "shm",
# "vpd". `signals`, when given, keeps only the signals whose full name matches
# one of the patterns (glob: * and ?, everything else literal). `progress` is
# called as progress(done, total) with bytes read and the input's size, from
# the loading thread with the interpreter lock held, at most about ten times a
# second. The lock is released while the dump is read. A reader's failure
# raises ValueError with the reader's text; running out of memory MemoryError.
# The result is the trace and a description of the dump:
#   {"timescale": (magnitude, unit) or None,           e.g. (1, "ns")
#    "signals": [(name, id, width, kind, var_type), ...]  in dump order}
# kind is "bits", "real" or "string"; var_type is the dump's own word for the
# declaration ("wire", "reg", "real", "integer", ...; "" when it has none).
def load(path: str, format: str, signals: Optional[Sequence[str]] = None,
         progress: Optional[Callable[[int, int], object]] = None) -> tuple[PyTrace, dict]: ...
# The same for VCD text held in memory.
def loads(text: str, signals: Optional[Sequence[str]] = None) -> tuple[PyTrace, dict]: ...

# The time of every sample index: len // 8 uint64 words.
def times(trace: PyTrace) -> bytearray: ...

# The exact value of signal `id` (declared `width` bits) at `index`; None past
# the end or where it has no value.
def value_at(trace: PyTrace, id: int, width: int, index: int) -> Exact: ...

# Every change of signal `id`: an index whose exact value differs from the one
# before (the first index with a value counts; a change to no value counts).
# layout "u64": (indices, values, known): three bytearrays, uint64, uint64,
#   one byte (0/1) per change; values hold the bits (0 where a digit is not 0
#   or 1, and for no value), known is 0 where any digit is not 0 or 1 or there
#   is no value.
# layout "f64": (indices, values, None): values float64, NaN for no value.
# layout "object": (indices, values, None): values a list of Exact.
def changes(trace: PyTrace, id: int, width: int, layout: str) -> tuple[bytearray, object, Optional[bytearray]]: ...

# The value at every index of [start, stop) in the same layouts (no indices).
def values(trace: PyTrace, id: int, width: int, layout: str, start: int, stop: int) -> tuple[object, Optional[bytearray]]: ...

# Every signal's exact value at `index`, by full name in dump order.
def snapshot(trace: PyTrace, index: int) -> dict[str, Exact]: ...

# The signals whose exact value at `index` differs from the one at index - 1:
# [(name, old, new), ...] in dump order; empty at index 0.
def changes_at(trace: PyTrace, index: int) -> list[tuple[str, Exact, Exact]]: ...

# The matching indices of a search, as a bytearray of uint64 (without a
# Python int per match); parallel on the worker pool when `parallel`.
def find(trace: PyTrace, expr: object, parallel: bool) -> bytearray: ...
