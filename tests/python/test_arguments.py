"""Argument binding and conversion: the shared parser behind every method."""

import pytest

from trelm import PyExpr, PyTrace

E = PyExpr.always_true()


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Floaty:
    def __float__(self):
        return 2.5


class ClaimsHugeLength:
    """A sequence whose length claim is absurd; only two items exist."""

    def __len__(self):
        return 2**62

    def __getitem__(self, i):
        if i >= 2:
            raise IndexError(i)
        return "top.clk"


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda t: PyTrace.from_vcd(), "PyTrace.from_vcd() missing 1 required positional argument: 'path'"),
        (lambda t: t.signal_value(), "PyTrace.signal_value() missing 2 required positional arguments: 'name' and 'index'"),
        (lambda t: t.signal_value(index=0), "PyTrace.signal_value() missing 1 required positional argument: 'name'"),
        (
            lambda t: t.signal_values_range(),
            "PyTrace.signal_values_range() missing 3 required positional arguments: 'name', 'start', and 'end'",
        ),
        (
            lambda t: t.bit_slice_val(1),
            "PyTrace.bit_slice_val() missing 2 required positional arguments: 'high' and 'low'",
        ),
        (lambda t: PyExpr.const_int(), "PyExpr.const_int() missing 1 required positional argument: 'val'"),
        (lambda t: E.and_(), "PyExpr.and_() missing 1 required positional argument: 'other'"),
        (lambda t: PyTrace.from_vcd(paht="x"), "PyTrace.from_vcd() got an unexpected keyword argument 'paht'"),
        (lambda t: t.max_index(index=1), "PyTrace.max_index() got an unexpected keyword argument 'index'"),
        (lambda t: t.timestamp(0, index=0), "PyTrace.timestamp() got multiple values for argument 'index'"),
        (lambda t: t.signal_value("a", 0, name="b"), "PyTrace.signal_value() got multiple values for argument 'name'"),
        (lambda t: PyExpr.always_true(1), "PyExpr.always_true() takes 0 positional arguments but 1 was given"),
        (lambda t: t.signal_names(1, 2), "PyTrace.signal_names() takes 0 positional arguments but 2 were given"),
        (lambda t: t.timestamp(1, 2), "PyTrace.timestamp() takes 1 positional arguments but 2 were given"),
        (lambda t: E.slice(1, 2, 3), "PyExpr.slice() takes 2 positional arguments but 3 were given"),
        (lambda t: PyTrace.from_vcd(1), "argument 'path': 'int' object cannot be converted to 'PyString'"),
        (lambda t: t.signal_value(b"top.clk", 0), "argument 'name': 'bytes' object cannot be converted to 'PyString'"),
        (lambda t: t.snapshot_scope(0, None), "argument 'scope': 'NoneType' object cannot be converted to 'PyString'"),
        (lambda t: PyExpr.const_str(1), "argument 'val': 'int' object cannot be converted to 'PyString'"),
        (lambda t: t.timestamp("1"), "argument 'index': 'str' object cannot be interpreted as an integer"),
        (lambda t: t.timestamp(1.0), "argument 'index': 'float' object cannot be interpreted as an integer"),
        (lambda t: E.rel_eval("1"), "argument 'offset': 'str' object cannot be interpreted as an integer"),
        (lambda t: PyExpr.const_float("1"), "argument 'val': must be real number, not str"),
        (lambda t: t.find(5), "argument 'expr': 'int' object cannot be converted to 'PyExpr'"),
        (lambda t: E.and_(5), "argument 'other': 'int' object cannot be converted to 'PyExpr'"),
        (lambda t: t.eval_expr(t, 0), "argument 'expr': 'PyTrace' object cannot be converted to 'PyExpr'"),
        (lambda t: t.find_with_values(E, "top.clk"), "argument 'signal_names': Can't extract `str` to `Vec`"),
        (lambda t: t.find_with_values(E, 5), "argument 'signal_names': 'int' object cannot be converted to 'Sequence'"),
        (
            lambda t: t.find_with_values(E, {"a": 1}),
            "argument 'signal_names': 'dict' object cannot be converted to 'Sequence'",
        ),
        (
            lambda t: t.find_with_values(E, (x for x in ["a"])),
            "argument 'signal_names': 'generator' object cannot be converted to 'Sequence'",
        ),
        (
            lambda t: t.find_with_values(E, ["a", 5]),
            "argument 'signal_names': 'int' object cannot be converted to 'PyString'",
        ),
        (
            lambda t: t.find_with_values(E, b"ab"),
            "argument 'signal_names': 'int' object cannot be converted to 'PyString'",
        ),
    ],
)
def test_type_errors(trace, call, message):
    with pytest.raises(TypeError) as info:
        call(trace)
    assert str(info.value) == message


def test_binding_errors_come_before_conversion_errors(trace):
    # A bad value for the first parameter is not reported while one is missing.
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'index'"):
        trace.signal_value(5)
    # Parameters convert in order: the first bad one is named.
    with pytest.raises(TypeError, match="argument 'name'"):
        trace.signal_value(5, "x")


@pytest.mark.parametrize(
    "call",
    [
        lambda t: t.timestamp(-1),
        lambda t: t.signal_value("top.clk", -1),
        lambda t: t.signal_value_raw("top.clk", -1),
        lambda t: t.signal_values_range("top.clk", -1, 2),
        lambda t: t.signal_values_range("top.clk", 0, -1),
        lambda t: t.snapshot(-1),
        lambda t: t.snapshot_scope(-1, "top"),
        lambda t: t.changed_at(-1),
        lambda t: t.changed_at_scope(-1, "top"),
        lambda t: t.eval_expr(E, -1),
        lambda t: t.eval_expr_bool(E, -1),
        lambda t: t.bit_slice_val(-1, 0, 0),
        lambda t: t.bit_slice_val(2**64, 0, 0),
        lambda t: t.bit_slice_val(1, -1, 0),
        lambda t: t.bit_slice_val(1, 0, -1),
        lambda t: t.sign_extend_val(-1, 8),
        lambda t: t.sign_extend_val(1, -1),
        lambda t: t.timestamp(2**64),
        lambda t: PyExpr.signal(-1),
        lambda t: PyExpr.const_int(-1),
        lambda t: PyExpr.const_int(2**64),
        lambda t: E.slice(-1, 0),
        lambda t: E.slice(0, -1),
        lambda t: E.rel_eval(2**63),
        lambda t: E.rel_eval(-(2**63) - 1),
        lambda t: PyExpr.const_float(10**400),
    ],
)
def test_out_of_range_integers_raise_overflow_error_unprefixed(trace, call):
    with pytest.raises(OverflowError) as info:
        call(trace)
    assert not str(info.value).startswith("argument")


def test_keywords_work_like_positions(trace, vcd_path):
    assert trace.signal_value(index=1, name="top.data") == trace.signal_value("top.data", 1) == 15
    assert trace.signal_values_range("top.clk", end=3, start=1) == [1, 0]
    assert PyTrace.from_vcd(path=str(vcd_path)).signal_names() == PyTrace.from_vcd(str(vcd_path)).signal_names()
    assert trace.find_with_values(signal_names=["top.clk"], expr=E) == trace.find_with_values(E, ["top.clk"])


def test_accepted_argument_types(trace):
    # Integers through __index__ and bool; floats through __float__ and int.
    assert trace.signal_value("top.data", Index(1)) == 15
    assert trace.signal_value("top.data", True) == 15
    assert trace.bit_slice_val(2**64 - 1, 63, 0) == 2**64 - 1
    assert trace.eval_expr(PyExpr.const_float(Floaty()), 0) == 2.5
    assert trace.eval_expr(PyExpr.const_float(3), 0) == 3.0
    assert type(trace.eval_expr(PyExpr.const_float(3), 0)) is float
    # Any sequence of str: tuple, list, str subclass items.
    class Name(str):
        pass

    rows = trace.find_with_values(E, (Name("top.data"),))
    assert rows[1] == (1, [15])
    # A sequence's length claim only sizes the first allocation.
    assert trace.find_with_values(E, ClaimsHugeLength())[0] == (0, [0, 0])


def test_text_that_cannot_be_encoded_raises_unchanged(trace):
    with pytest.raises(UnicodeEncodeError):
        trace.signal_value("\ud800", 0)


class CustomTypeError(TypeError):
    pass


class Raising:
    def __init__(self, error):
        self.error = error

    def __index__(self):
        raise self.error

    __float__ = __index__


class BrokenSequence:
    def __len__(self):
        return 2

    def __getitem__(self, i):
        if i == 0:
            return "top.clk"
        raise TypeError("broken item")


@pytest.mark.parametrize(
    "call, error, message",
    [
        # A plain TypeError from a conversion gets the prefix ...
        (lambda t: t.timestamp(Raising(TypeError("bad"))), TypeError, "argument 'index': bad"),
        (lambda t: PyExpr.const_float(Raising(TypeError("bad"))), TypeError, "argument 'val': bad"),
        (lambda t: t.find_with_values(E, BrokenSequence()), TypeError, "argument 'signal_names': broken item"),
        # ... any other error, a TypeError subclass included, passes unchanged.
        (lambda t: t.timestamp(Raising(CustomTypeError("mine"))), CustomTypeError, "mine"),
        (lambda t: t.timestamp(Raising(ValueError("value"))), ValueError, "value"),
        (lambda t: PyExpr.const_float(Raising(ZeroDivisionError("zero"))), ZeroDivisionError, "zero"),
    ],
)
def test_errors_raised_by_conversions(trace, call, error, message):
    with pytest.raises(error) as info:
        call(trace)
    assert type(info.value) is error
    assert str(info.value) == message


def test_any_argument_combination_fails_cleanly(trace):
    """Every method, every combination of awkward values: a result or an argument/reader error, never a crash."""
    import inspect
    import itertools

    pool = [None, 0, -1, 2**64 - 1, 2**64, 1.5, "top.clk", "", b"x", ["top.clk"], E, trace]
    allowed = (TypeError, OverflowError, ValueError, MemoryError)
    for cls, receiver in ((PyTrace, trace), (PyExpr, E)):
        for name in [n for n in vars(cls) if not n.startswith("__")]:
            method = getattr(receiver, name)
            arity = len([p for p in inspect.signature(method).parameters if p != "self"])
            for args in itertools.product(pool, repeat=arity):
                try:
                    method(*args)
                except allowed:
                    pass
