"""Values of a table's columns as plain Python values for the text formats."""

from __future__ import annotations

import math

import numpy as np


def cells(column: np.ndarray) -> list:
    """The values of a column as Python objects; None for no value (a
    float column's NaN)."""
    values = column.tolist()
    if column.dtype == np.float64:
        return [None if v != v else v for v in values]
    return values


def json_value(value):
    """A value as JSON holds it: a real that is not finite becomes the text
    "inf", "-inf" or "nan" (JSON has no such numbers)."""
    if isinstance(value, float) and not math.isfinite(value):
        return "nan" if value != value else ("inf" if value > 0 else "-inf")
    return value
