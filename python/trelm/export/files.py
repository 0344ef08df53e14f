"""A table written as CSV, JSON lines or Parquet."""

from __future__ import annotations

import csv
import json
from typing import Iterable

import numpy as np

from trelm.export.cells import cells, json_value
from trelm.export.table import Table
from trelm.extras import require


def _key_columns(table: Table) -> dict[str, np.ndarray]:
    keys = {"time": table.times}
    if table.indices is not None:
        keys["index"] = table.indices
    return keys


# Cells of a long table made and written at a time (as rows of all its
# columns), so that the text formats never hold a whole window's cells as
# Python objects.
BLOCK_CELLS = 1 << 20


def _header(table: Table) -> list[str]:
    return list({**_key_columns(table), **table.columns})


def _rows(table: Table):
    """The rows of a table as tuples of Python values."""
    return zip(*(cells(c) for c in {**_key_columns(table), **table.columns}.values()))


def write_csv(tables: Iterable[Table], path: str) -> int:
    """A header line of ``time`` (``index``) and the signal names, then a line
    per row of the consecutive `tables`; no value is an empty field. Returns
    the number of rows."""
    written = 0
    with open(path, "w", newline="", encoding="utf-8") as f:
        out = csv.writer(f)
        for k, table in enumerate(tables):
            if k == 0:
                out.writerow(_header(table))
            out.writerows(["" if v is None else v for v in row] for row in _rows(table))
            written += len(table.times)
    return written


def write_jsonl(tables: Iterable[Table], path: str) -> int:
    """A JSON object per row of the consecutive `tables`: {"time": ..., name:
    value, ...}; null for no value. Returns the number of rows."""
    written = 0
    with open(path, "w", encoding="utf-8") as f:
        for table in tables:
            header = _header(table)
            for row in _rows(table):
                f.write(json.dumps(dict(zip(header, map(json_value, row))), allow_nan=False))
                f.write("\n")
            written += len(table.times)
    return written


def _arrow_column(pa, column: np.ndarray):
    if column.dtype != object:
        return pa.array(column)
    values = column.tolist()
    if all(v is None or (isinstance(v, int) and 0 <= v < 2**64) for v in values):
        return pa.array(values, type=pa.uint64())
    # Values that no one Arrow type holds (digits beside integers, integers
    # wider than 64 bits) become text: integers in decimal, the rest as
    # written. Digits other than 0 and 1 make the two kinds tell apart.
    return pa.array([None if v is None else str(v) for v in values], type=pa.string())


def write_parquet(tables: Iterable[Table], path: str) -> int:
    """One Parquet table of the rows of `tables`, which must be one table:
    a column's Arrow type is that of the whole window. Returns the number of
    rows."""
    pa = require("pyarrow", "Parquet export", "parquet")
    parquet = require("pyarrow.parquet", "Parquet export", "parquet")
    (table,) = tables
    columns = {**_key_columns(table), **table.columns}
    parquet.write_table(pa.table({name: _arrow_column(pa, c) for name, c in columns.items()}), path)
    return len(table.times)


WRITERS = {"csv": write_csv, "jsonl": write_jsonl, "parquet": write_parquet}
