"""trelm: waveform analysis for logic-simulator dumps."""

from trelm._core import PyExpr, PyTrace

__all__ = ["PyTrace", "PyExpr"]
