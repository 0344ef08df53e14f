"""trelm: waveform analysis for logic-simulator dumps."""

from trelm._core import PyExpr, PyTrace
from trelm.query import QueryError

__all__ = ["PyTrace", "PyExpr", "QueryError"]
