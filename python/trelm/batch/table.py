"""Rows of a batch (one per dump) and the DataFrame they make."""

from __future__ import annotations

from numbers import Integral
from typing import Any, Mapping, Optional, Sequence

from trelm.batch.tasks import Outcome
from trelm.extras import require

TIMES_AND_ERROR = ("load_seconds", "call_seconds", "error")
_OWN = ("path",) + TIMES_AND_ERROR


def pandas_module() -> Any:
    return require("pandas", "trelm.batch", "batch")


def result_fields(result: Any) -> dict:
    """A dict result's items, or the result under "result". A key that is
    one of the row's own columns gets "result_" before it."""
    if not isinstance(result, dict):
        return {"result": result}
    return {(f"result_{key}" if key in _OWN else key): value for key, value in result.items()}


def make_row(path: str, outcome: Outcome) -> dict:
    result, load_seconds, call_seconds, error = outcome
    row = {"path": path}
    if error is None:
        row.update(result_fields(result))
    row.update(load_seconds=load_seconds, call_seconds=call_seconds, error=error)
    return row


def frame(rows: Sequence[dict], typed: Optional[Mapping[str, str]] = None) -> Any:
    """The DataFrame of the rows, in their order: path, the result fields,
    the times, the error. The result fields are those of `typed` (column to
    pandas dtype) when given, else every one found, in the order first seen."""
    pandas = pandas_module()
    if typed is None:
        seen: dict = {}
        for row in rows:
            for key in row:
                if key not in _OWN:
                    seen[key] = None
        result_columns = list(seen)
    else:
        result_columns = list(typed)
    table = pandas.DataFrame(list(rows), columns=["path", *result_columns, *TIMES_AND_ERROR])
    for column in result_columns:
        values = [row.get(column) for row in rows]
        dtype = typed[column] if typed is not None else _integer_dtype(values)
        if dtype is not None:
            # From the Python values, not from the floats pandas makes of
            # integers around a missing value (which would round large times).
            table[column] = pandas.array(values, dtype=dtype)
    return table


def _integer_dtype(values: Sequence[Any]) -> Optional[str]:
    """A nullable integer dtype for a column of ints with missing values."""
    numbers = [v for v in values if v is not None]
    if not numbers or len(numbers) == len(values):
        return None
    if not all(isinstance(v, Integral) and not isinstance(v, bool) for v in numbers):
        return None
    numbers = [int(v) for v in numbers]
    if all(-(2**63) <= v < 2**63 for v in numbers):
        return "Int64"
    return "UInt64" if all(0 <= v < 2**64 for v in numbers) else None
