"""A table written as CSV, JSON lines or Parquet."""

from __future__ import annotations

import csv
import json

import numpy as np

from trelm.export.cells import cells, json_value
from trelm.export.table import Table
from trelm.extras import require


def _key_columns(table: Table) -> dict[str, np.ndarray]:
    keys = {"time": table.times}
    if table.indices is not None:
        keys["index"] = table.indices
    return keys


# Rows made into Python values at a time: the text of a long table is written
# a block at a time instead of holding every cell as a Python object at once.
_BLOCK_ROWS = 1 << 16


def _rows(table: Table):
    """The header and an iterator over the rows, as tuples of Python values."""
    columns = {**_key_columns(table), **table.columns}

    def rows():
        for at in range(0, len(table.times), _BLOCK_ROWS):
            yield from zip(*(cells(c[at:at + _BLOCK_ROWS]) for c in columns.values()))

    return list(columns), rows()


def write_csv(table: Table, path: str) -> None:
    """A header line of ``time`` (``index``) and the signal names, then a line
    per row; no value is an empty field."""
    header, rows = _rows(table)
    with open(path, "w", newline="", encoding="utf-8") as f:
        out = csv.writer(f)
        out.writerow(header)
        out.writerows(["" if v is None else v for v in row] for row in rows)


def write_jsonl(table: Table, path: str) -> None:
    """A JSON object per row: {"time": ..., name: value, ...}; null for no value."""
    header, rows = _rows(table)
    with open(path, "w", encoding="utf-8") as f:
        for row in rows:
            f.write(json.dumps(dict(zip(header, map(json_value, row))), allow_nan=False))
            f.write("\n")


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


def write_parquet(table: Table, path: str) -> None:
    pa = require("pyarrow", "Parquet export", "parquet")
    parquet = require("pyarrow.parquet", "Parquet export", "parquet")
    columns = {**_key_columns(table), **table.columns}
    parquet.write_table(pa.table({name: _arrow_column(pa, c) for name, c in columns.items()}), path)


WRITERS = {"csv": write_csv, "jsonl": write_jsonl, "parquet": write_parquet}
