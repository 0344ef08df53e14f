"""A VCD file of chosen signals of a waveform, over a window of time."""

from __future__ import annotations

import re
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


# VCD ends every name and string value at white space.
_WHITE_SPACE = re.compile(r"\s")


def _vcd_word(text: str, what: str, owner: str) -> str:
    """`text` where the VCD text needs one word (a name, a string value);
    a ValueError when it cannot be one, rather than a file that reads back
    differently."""
    if not text or _WHITE_SPACE.search(text):
        raise ValueError(f"{owner}: {what} {text!r} cannot be written to VCD, whose words end at white space")
    return text


def _check_strings(signal: Signal, values: np.ndarray) -> None:
    for value in values:
        if value and _WHITE_SPACE.search(value):
            _vcd_word(value, "the string value", signal.name)


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


def _declarations(root: "Scope", chosen: dict[str, str]) -> Iterator[str]:
    """$scope and $var lines of the chosen signals under `root`, in dump
    order; scopes without any are left out. Walked with a stack of its own,
    so a hierarchy of any depth is written."""
    def variables(scope: "Scope") -> Iterator[str]:
        for local, signal in scope.signals.items():
            if signal.name in chosen:
                name = _vcd_word(local, "the name", signal.name)
                yield f"$var {_var_type(signal)} {_width(signal)} {chosen[signal.name]} {name} $end"

    holding: set[int] = set()  # the scopes with a chosen signal in or under them, by id
    for scope in reversed(list(root.walk())):  # children before their parents
        if any(s.name in chosen for s in scope.signals.values()) or any(id(c) in holding for c in
                                                                          scope.scopes.values()):
            holding.add(id(scope))
    yield from variables(root)
    stack = [iter(root.scopes.values())]
    while stack:
        child = next(stack[-1], None)
        if child is None:
            stack.pop()
            if stack:
                yield "$upscope $end"
        elif id(child) in holding:
            yield f"$scope module {_vcd_word(child.name, 'the scope name', child.path)} $end"
            yield from variables(child)
            stack.append(iter(child.scopes.values()))


def write_vcd(w: "Waveform", signals: list[Signal], out: TextIO, start: Optional[int] = None,
              stop: Optional[int] = None) -> int:
    """Writes the VCD text of `signals` over [start, stop] to `out`: their
    scopes, a $var each (aliases share an identifier code), the values in
    force at `start` under $dumpvars, then every later change up to `stop`.
    Returns the number of value changes written. A name or string value
    that VCD cannot hold (empty, or with white space) is a ValueError before
    anything is written."""
    start, stop = window(w, start, stop)
    codes: dict[int, str] = {}
    chosen: dict[str, str] = {}
    firsts: list[Signal] = []
    for signal in signals:
        if signal.id not in codes:
            codes[signal.id] = identifier_code(len(codes))
            firsts.append(signal)
        chosen[signal.name] = codes[signal.id]

    declarations = list(_declarations(w.scope, chosen))
    every, windows = [], []
    for signal in firsts:
        steps = sampling.by_time(sampling.steps(signal))
        every.append(steps)
        # The positions of its changes after `start` up to `stop`: a range, as the times ascend.
        windows.append(np.searchsorted(steps.times, np.array([start, stop], dtype=np.uint64), side="right"))
        if signal.kind == "string":
            lo, hi = windows[-1]
            _check_strings(signal, steps.values[max(int(lo) - 1, 0):hi])

    out.write("$version trelm export $end\n")
    if w.timescale is not None:
        out.write(f"$timescale {w.timescale[0]} {w.timescale[1]} $end\n")
    for line in declarations:
        out.write(line + "\n")
    out.write("$enddefinitions $end\n")

    written = 0
    out.write(f"#{start}\n$dumpvars\n")
    for signal, steps in zip(firsts, every):
        initial = _text(signal, sampling.exact(steps, sampling.positions(steps.times, [start]))[0], initial=True)
        if initial is not None:
            out.write(initial + codes[signal.id] + "\n")
            written += 1
    out.write("$end\n")
    edges = _block_edges([s.times[lo:hi] for s, (lo, hi) in zip(every, windows)])
    # Per signal, the position at which each block of time begins, and its end.
    splits = [np.concatenate(([lo], lo + np.searchsorted(s.times[lo:hi], edges, side="left"), [hi]))
              for s, (lo, hi) in zip(every, windows)]
    for block in range(len(edges) + 1):
        times, lines = [], []
        for signal, steps, split in zip(firsts, every, splits):
            a, b = int(split[block]), int(split[block + 1])
            if a == b:
                continue
            changes = _changes(signal, sampling.exact(steps, np.arange(a, b)).tolist(), codes[signal.id])
            kept = np.array([c is not None for c in changes], dtype=bool)
            times.append(steps.times[a:b][kept])
            lines.extend(c for c in changes if c is not None)
        written += _write_changes(out, times, lines)
    return written


# About this many value changes have their lines made at a time: the text of a
# long window is never held whole.
_BLOCK_CHANGES = 1 << 18


def _block_edges(windows: list[np.ndarray]) -> np.ndarray:
    """Times that cut the changes of `windows` (ascending times, one array per
    signal) into blocks of time [edge, next edge) of about _BLOCK_CHANGES
    changes each; none for a window of fewer."""
    if sum(len(w) for w in windows) <= _BLOCK_CHANGES:
        return np.empty(0, dtype=np.uint64)
    every = np.concatenate(windows)
    every.sort()
    return np.unique(every[_BLOCK_CHANGES::_BLOCK_CHANGES])


def _write_changes(out: TextIO, times: list[np.ndarray], lines: list[str]) -> int:
    """Writes the value change lines of `lines` (times[k] the times of signal
    k's lines, in the order of `lines`) under their times, in order of time
    and then of the signals. Returns the number of lines."""
    if not lines:
        return 0
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
    return len(ordered)


def _changes(signal: Signal, values: list, code: str) -> list[Optional[str]]:
    """The value change lines of `values`, None for those with no line. Two-
    state values, by far the most, are formatted in place."""
    if signal.kind == "bits" and signal.width == 1:
        return [f"{v}{code}" if type(v) is int else _text(signal, v) + code for v in values]
    if signal.kind == "bits":
        return [f"b{v:b} {code}" if type(v) is int else _text(signal, v) + code for v in values]
    texts = [_text(signal, v) for v in values]
    return [None if t is None else t + code for t in texts]
