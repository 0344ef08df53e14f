"""trelm: waveform analysis for logic-simulator dumps.

    import trelm
    w = trelm.open("run.vcd")          # or .vcd.gz, .fst, .fsdb, .wlf, .vpd, an SHM database
    w["top.cpu.pc"].at(1200)           # the exact value in force at a time
    w.find("top.cpu.valid && top.cpu.state == 3")
    w.plot(["top.clk", "top.cpu.pc"])  # a timing diagram (matplotlib)
    w.to_pandas("top.cpu.*")           # a DataFrame, a row per change
    trelm.diff("golden.vcd", "run.fst")

``trelm.PyTrace`` and ``trelm.PyExpr`` are the engine's own classes.
"""

from trelm._core import PyExpr, PyTrace
from trelm.compare import Differences, SignalDifference, diff
from trelm.errors import FormatError, LoadError, SignalNotFound
from trelm.loading import loads, open
from trelm.query import QueryError
from trelm.scope import Scope
from trelm.signal import Changes, Signal
from trelm.waveform import Waveform


__all__ = ["PyTrace", "PyExpr", "open", "loads", "diff", "Waveform", "Signal", "Scope", "Changes", "Differences",
           "SignalDifference", "FormatError", "LoadError", "QueryError", "SignalNotFound"]
