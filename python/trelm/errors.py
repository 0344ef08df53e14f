"""The exceptions of the front door. All derive from ValueError, so code that
already catches ValueError around the PyTrace loaders keeps working."""

from __future__ import annotations

from typing import Optional, Sequence


class FormatError(ValueError):
    """No reader recognises the input: its content matches no dump format and
    its extension names none. ``path`` is the input, ``tried`` what was looked
    for."""

    def __init__(self, path: str, reason: str, tried: Sequence[str] = ()):
        self.path = path
        self.reason = reason
        self.tried = tuple(tried)
        message = f"{path}: {reason}"
        if self.tried:
            message += f" (tried: {', '.join(self.tried)})"
        super().__init__(message)


class LoadError(ValueError):
    """A reader recognised the input but could not load it; ``reason`` is the
    reader's own text."""

    def __init__(self, path: Optional[str], format: str, reason: str):
        self.path = path
        self.format = format
        self.reason = reason
        where = f"{path}: " if path else ""
        super().__init__(f"{where}cannot load as {format.upper()}: {reason}")


class SignalNotFound(KeyError):
    """A signal name the waveform does not hold. A KeyError whose text names
    close names, when there are any."""

    def __init__(self, name: str, where: str, close: Sequence[str] = ()):
        self.name = name
        self.close = tuple(close)
        message = f"no signal {name!r} in {where}"
        if self.close:
            message += "; did you mean " + ", ".join(repr(c) for c in self.close) + "?"
        self.message = message
        super().__init__(name)

    def __str__(self) -> str:
        return self.message
