"""A VCD file of chosen signals of a waveform, over a window of time."""

from __future__ import annotations

from typing import TYPE_CHECKING, Iterator, Optional, TextIO

import numpy as np

from trelm import sampling
from trelm.export.table import window
from trelm.signal import Signal

if TYPE_CHECKING:
    from trelm.scope import Scope
    from trelm.waveform import Waveform

# Declaration words a VCD $var may carry; any other bit vector is a wire.
_VAR_TYPES = {"event", "integer", "parameter", "real", "realtime", "reg", "supply0", "supply1", "time", "tri",
              "triand", "trior", "trireg", "tri0", "tri1", "wand", "wire", "wor", "string", "logic", "bit",
              "int", "shortint", "longint", "byte", "enum", "shortreal"}


def identifier_code(n: int) -> str:
    """The n-th identifier code: digits of base 94 over '!'..'~'."""
    digits = []
    while True:
        digits.append(chr(33 + n % 94))
        n //= 94
        if n == 0:
            return "".join(digits)
        n -= 1


def _var_type(signal: Signal) -> str:
    if signal.kind == "real":
        return "real"
    if signal.kind == "string":
        return "string"
    return signal.var_type if signal.var_type in _VAR_TYPES - {"real", "string"} else "wire"


def _width(signal: Signal) -> int:
    if signal.width > 0:
        return signal.width
    return 64 if signal.kind == "real" else 1


def _text(signal: Signal, value, initial: bool = False) -> Optional[str]:
    """A value as a VCD value change, without its identifier code; None for
    none. A change to no value is x for bits; reals and strings, and the
    values at the start, have no such change."""
    if signal.kind == "real":
        return None if value is None or value != value else f"r{float(value)!r} "
    if signal.kind == "string":
        return None if value is None else f"s{value} "
    if value is None:
        if initial:
            return None
        value = "x"
    digits = format(value, "b") if isinstance(value, int) else value
    return digits if signal.width == 1 and len(digits) == 1 else f"b{digits} "


def _declarations(scope: "Scope", chosen: dict[str, str]) -> Iterator[str]:
    """$scope and $var lines of the chosen signals under `scope`, in dump
    order; scopes without any are left out."""
    for local, signal in scope.signals.items():
        if signal.name in chosen:
            yield f"$var {_var_type(signal)} {_width(signal)} {chosen[signal.name]} {local} $end"
    for child in scope.scopes.values():
        inner = list(_declarations(child, chosen))
        if inner:
            yield f"$scope module {child.name} $end"
            yield from inner
            yield "$upscope $end"


def write_vcd(w: "Waveform", signals: list[Signal], out: TextIO, start: Optional[int] = None,
              stop: Optional[int] = None) -> int:
    """Writes the VCD text of `signals` over [start, stop] to `out`: their
    scopes, a $var each (aliases share an identifier code), the values in
    force at `start` under $dumpvars, then every later change up to `stop`.
    Returns the number of value changes written."""
    start, stop = window(w, start, stop)
    codes: dict[int, str] = {}
    chosen: dict[str, str] = {}
    firsts: list[Signal] = []
    for signal in signals:
        if signal.id not in codes:
            codes[signal.id] = identifier_code(len(codes))
            firsts.append(signal)
        chosen[signal.name] = codes[signal.id]

    out.write("$version trelm export $end\n")
    if w.timescale is not None:
        out.write(f"$timescale {w.timescale[0]} {w.timescale[1]} $end\n")
    for line in _declarations(w.scope, chosen):
        out.write(line + "\n")
    out.write("$enddefinitions $end\n")

    times, texts, written = [], [], 0
    out.write(f"#{start}\n$dumpvars\n")
    for signal in firsts:
        steps = sampling.by_time(sampling.steps(signal))
        inside = np.flatnonzero((steps.times > start) & (steps.times <= stop))
        where = np.concatenate((sampling.positions(steps.times, [start]), inside))
        values = sampling.exact(steps, where)
        text = _text(signal, values[0], initial=True)
        if text is not None:
            out.write(text + codes[signal.id] + "\n")
            written += 1
        times.append(steps.times[inside])
        texts.extend((signal, v) for v in values[1:])
    out.write("$end\n")
    if not firsts:
        return 0
    all_times = np.concatenate(times)
    last = None
    for k in np.argsort(all_times, kind="stable").tolist():
        signal, value = texts[k]
        text = _text(signal, value)
        if text is None:
            continue
        time = int(all_times[k])
        if time != last:
            out.write(f"#{time}\n")
            last = time
        out.write(text + codes[signal.id] + "\n")
        written += 1
    return written
