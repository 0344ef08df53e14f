"""Values of number literals: decimal, 0x/0b, Verilog based (8'hFF, 'd10) and reals."""

from __future__ import annotations

import math
import re
from typing import Union

LARGEST = 2**64 - 1

_DECIMAL = re.compile(r"[0-9][0-9_]*")
_PREFIXED = re.compile(r"0([xXbB])(.*)", re.S)
_BASED = re.compile(r"([0-9][0-9_]*)?'(.?)(.*)", re.S)
_REAL = re.compile(
    r"[0-9][0-9_]*\.[0-9][0-9_]*(?:[eE][+-]?[0-9][0-9_]*)?|[0-9][0-9_]*[eE][+-]?[0-9][0-9_]*"
)

# Base letter -> (radix, bits per digit where a power of two, name used in messages).
_BASES = {
    "b": (2, 1, "binary"),
    "o": (8, 3, "octal"),
    "d": (10, 0, "decimal"),
    "h": (16, 4, "hexadecimal"),
}
_DIGITS = "0123456789abcdef"


class BadLiteral(Exception):
    """A literal with no value; the argument says why."""


def number_value(text: str) -> Union[int, float]:
    """The value of a number literal as written, or BadLiteral saying what is wrong."""
    if len(text) < 20 and text.isdigit():
        return int(text)
    if _DECIMAL.fullmatch(text):
        return _digits_value(text, "d")
    match = _PREFIXED.fullmatch(text)
    if match:
        return _digits_value(match.group(2), "h" if match.group(1) in "xX" else "b")
    match = _BASED.fullmatch(text)
    if match:
        return _based_value(*match.groups())
    if _REAL.fullmatch(text):
        value = float(text.replace("_", ""))
        if math.isinf(value):
            raise BadLiteral("too large for a real number")
        return value
    raise BadLiteral("not a number")


def _based_value(size_text, base, digits) -> int:
    if base in ("s", "S"):
        raise BadLiteral("signed literals are not supported (the engine compares unsigned)")
    if base.lower() not in _BASES:
        shown = f"'{base}'" if base else "nothing"
        raise BadLiteral(f"expected a base b, o, d or h after the quote, found {shown}")
    value = _digits_value(digits, base.lower())
    if size_text is not None:
        size_digits = size_text.replace("_", "").lstrip("0")
        if not size_digits:
            raise BadLiteral("a size of 0 bits")
        # A size of over 20 digits is more bits than any value has; it is not
        # converted (the interpreter refuses decimal texts of thousands of digits).
        if len(size_digits) <= 20 and value.bit_length() > int(size_digits):
            raise BadLiteral(f"the value needs {value.bit_length()} bits, more than its size {int(size_digits)}")
    return value


def _digits_value(digits: str, base: str) -> int:
    radix, bits_per_digit, name = _BASES[base]
    plain = digits.replace("_", "")
    if not plain:
        raise BadLiteral("no digits")
    for c in plain:
        lower = c.lower()
        if lower in "xz?":
            raise BadLiteral("x and z digits have no value (test them with $isx, $isz or $isunknown)")
        if lower not in _DIGITS[:radix]:
            raise BadLiteral(f"'{c}' is not a digit in {name}")
    significant = plain.lstrip("0")
    # Checked before converting, so that a huge literal costs no big-number work;
    # only the significant digits are converted, as the interpreter refuses
    # decimal texts of thousands of digits (leading zeros included).
    if radix == 10:
        too_large = len(significant) > 20
    else:
        too_large = len(significant) * bits_per_digit > 64 + bits_per_digit
    if not too_large:
        value = int(significant or "0", radix)
        if value <= LARGEST:
            return value
    raise BadLiteral("too large (the largest integer is 2**64 - 1)")
