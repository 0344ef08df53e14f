"""trelm: waveform analysis for logic-simulator dumps.

    import trelm
    w = trelm.open("run.vcd")          # or .vcd.gz, .fst, .fsdb, .wlf, .vpd, an SHM database
    w["top.cpu.pc"].at(1200)           # the exact value in force at a time
    w.find("top.cpu.valid && top.cpu.state == 3")

``trelm.PyTrace`` and ``trelm.PyExpr`` are the engine's own classes.
"""

from trelm._core import PyExpr, PyTrace
from trelm.errors import FormatError, LoadError, SignalNotFound
from trelm.loading import loads, open
from trelm.query import QueryError
from trelm.scope import Scope
from trelm.signal import Changes, Signal
from trelm.waveform import Waveform


__all__ = ["PyTrace", "PyExpr", "open", "loads", "Waveform", "Signal", "Scope", "Changes", "FormatError",
           "LoadError", "QueryError", "SignalNotFound"]
