"""Choosing signals of a waveform by name, glob pattern or Signal object."""

from __future__ import annotations

from typing import TYPE_CHECKING, Iterable, Union

from trelm.signal import Signal

if TYPE_CHECKING:
    from trelm.waveform import Waveform

Signals = Union[str, Signal, Iterable[Union[str, Signal]]]


def is_pattern(text: str) -> bool:
    return "*" in text or "?" in text


def select(waveform: "Waveform", signals: Signals) -> list[Signal]:
    """The signals named by `signals`: one or several full names, glob
    patterns (``*`` and ``?``, used when no signal has that very name) or
    Signal objects of this waveform; in the order given, each once. A name
    that is not there, or a pattern that matches nothing, raises
    SignalNotFound."""
    items = [signals] if isinstance(signals, (str, Signal)) else list(signals)
    chosen: dict[str, Signal] = {}
    for item in items:
        if isinstance(item, Signal):
            if item.waveform is not waveform:
                raise ValueError(f"signal {item.name!r} belongs to another waveform")
            found = [item]
        elif not isinstance(item, str):
            raise TypeError(f"signals must be names, patterns or Signal objects, not {type(item).__name__}")
        elif item in waveform or not is_pattern(item):
            found = [waveform[item]]
        else:
            found = waveform.glob(item)
            if not found:
                raise waveform._not_found(item)
        for signal in found:
            chosen.setdefault(signal.name, signal)
    return list(chosen.values())
