"""Values of chosen signals handed on: a pandas DataFrame, CSV, JSON lines,
Parquet, or a VCD file of just those signals."""

from __future__ import annotations

from typing import TYPE_CHECKING, Optional

from trelm.export import files
from trelm.export.files import WRITERS
from trelm.export.table import ROWS, sample_blocks, sample_table
from trelm.export.vcd import write_vcd
from trelm.extras import require
from trelm.selection import Signals, select

if TYPE_CHECKING:
    import pandas

    from trelm.waveform import Waveform

FORMATS = ("csv", "parquet", "jsonl", "vcd")


def to_pandas(w: "Waveform", signals: Signals, start: Optional[int] = None, stop: Optional[int] = None, *,
              on: str = "change") -> "pandas.DataFrame":
    """See ``Waveform.to_pandas``."""
    pd = require("pandas", "DataFrames", "pandas")
    table = sample_table(w, select(w, signals), start, stop, on)
    if table.indices is None:
        return pd.DataFrame(table.columns, index=pd.Index(table.times, name="time"))
    frame = pd.DataFrame(table.columns, index=pd.Index(table.indices, name="index"))
    frame.insert(0, "time", table.times)
    return frame


def export(w: "Waveform", signals: Signals, path: str, format: str, start: Optional[int] = None,
           stop: Optional[int] = None, *, on: str = "change") -> int:
    """Writes the chosen signals over [start, stop] to `path` in `format`
    (one of FORMATS; `on` as for to_pandas, for the table formats). Returns
    the number of rows written, or of value changes for VCD."""
    if format not in FORMATS:
        raise ValueError(f"unknown export format {format!r}: expected one of {', '.join(FORMATS)}")
    chosen = select(w, signals)
    if format == "vcd":
        with open(path, "w", encoding="utf-8") as out:
            return write_vcd(w, chosen, out, start, stop)
    if format == "parquet":  # one Arrow type per column: the whole window at once
        tables = [sample_table(w, chosen, start, stop, on)]
    else:
        tables = sample_blocks(w, chosen, start, stop, on, max(files.BLOCK_CELLS // (len(chosen) + 2), 1))
    return WRITERS[format](tables, path)


__all__ = ["FORMATS", "ROWS", "export", "sample_table", "to_pandas", "write_vcd"]
