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

    times, lines, written = [], [], 0
    out.write(f"#{start}\n$dumpvars\n")
    for signal in firsts:
        code = codes[signal.id]
        steps = sampling.by_time(sampling.steps(signal))
        inside = np.flatnonzero((steps.times > start) & (steps.times <= stop))
        where = np.concatenate((sampling.positions(steps.times, [start]), inside))
        values = sampling.exact(steps, where)
        text = _text(signal, values[0], initial=True)
        if text is not None:
            out.write(text + code + "\n")
            written += 1
        changes = _changes(signal, values[1:].tolist(), code)
        kept = np.array([c is not None for c in changes], dtype=bool)
        times.append(steps.times[inside][kept])
        lines.extend(c for c in changes if c is not None)
    out.write("$end\n")
    if not lines:
        return written
    all_times = np.concatenate(times)
    order = np.argsort(all_times, kind="stable")
    text_of = np.empty(len(lines), dtype=object)
    text_of[:] = lines
    ordered = text_of[order].tolist()
    ordered_times = all_times[order]
    firsts_of_time = np.flatnonzero(np.append(True, ordered_times[1:] != ordered_times[:-1])).tolist()
    for a, b in zip(firsts_of_time, firsts_of_time[1:] + [len(ordered)]):
        out.write(f"#{int(ordered_times[a])}\n")
        out.write("\n".join(ordered[a:b]))
        out.write("\n")
    return written + len(ordered)


def _changes(signal: Signal, values: list, code: str) -> list[Optional[str]]:
    """The value change lines of `values`, None for those with no line. Two-
    state values, by far the most, are formatted in place."""
    if signal.kind == "bits" and signal.width == 1:
        return [f"{v}{code}" if type(v) is int else _text(signal, v) + code for v in values]
    if signal.kind == "bits":
        return [f"b{v:b} {code}" if type(v) is int else _text(signal, v) + code for v in values]
    texts = [_text(signal, v) for v in values]
    return [None if t is None else t + code for t in texts]
