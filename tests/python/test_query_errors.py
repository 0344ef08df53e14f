"""Every fault of a query text is a QueryError that names it and points at it."""

import pickle

import pytest

from trelm import QueryError
from trelm.query import TraceNames, compile_query
from trelm.query.tokens import UNSUPPORTED_OPERATORS

from query_support import DictNames


def error(text, query_names):
    with pytest.raises(QueryError) as caught:
        compile_query(text, query_names)
    return caught.value


@pytest.mark.parametrize(
    "text, reason, position",
    [
        ("", "empty query", 0),
        (" \t\n", "empty query", 0),
        ("(top.a", "'(' is not closed", 0),
        ("((top.a)", "'(' is not closed", 0),
        ("top.a)", "')' has no matching '('", 5),
        ("top.a]", "']' has no matching '['", 5),
        ("top.a[3", "'[' is not closed", 5),
        ("$past(top.a", "'(' of $past is not closed", 5),
        ("top.a &&", "'&&' needs an operand on its right", 6),
        ("top.a + !", "'!' needs an operand on its right", 8),
        ("(top.a ||)", "'||' needs an operand on its right", 7),
        ("&& top.a", "'&&' needs an operand on its left", 0),
        ("top.a && || top.b", "expected an operand after '&&', found '||'", 9),
        ("top.a top.b", "expected an operator, found name 'top.b'", 6),
        ("top.a (top.b)", "expected an operator, found '('", 6),
        ("()", "empty parentheses", 0),
        ("top.a, top.b", "',' outside the arguments of a function", 5),
        ("top.a : 3", "':' outside a bit selection", 6),
        ("18446744073709551616", "bad literal 18446744073709551616: too large", 0),
        ("top.a == 0x1_0000_0000_0000_0000", "bad literal 0x1_0000_0000_0000_0000: too large", 9),
        ("8'hx1", "bad literal 8'hx1: x and z digits have no value", 0),
        ("4'bz", "bad literal 4'bz: x and z digits", 0),
        ("'b1?", "bad literal 'b1?: x and z digits", 0),
        ("0b2", "bad literal 0b2: '2' is not a digit in binary", 0),
        ("'o8", "bad literal 'o8: '8' is not a digit in octal", 0),
        ("4'hFF", "bad literal 4'hFF: the value needs 8 bits, more than its size 4", 0),
        ("0'h0", "bad literal 0'h0: a size of 0 bits", 0),
        ("0" * 5000 + "'h0", "bad literal " + "0" * 37 + "...: a size of 0 bits", 0),
        ("0" * 5000 + "4'hFF", "bad literal " + "0" * 37 + "...: the value needs 8 bits, more "
         "than its size 4", 0),
        ("0" * 5000 + "18446744073709551616", "bad literal " + "0" * 37 + "...: too large", 0),
        ("8'sh7F", "bad literal 8'sh7F: signed literals are not supported", 0),
        ("'q1", "bad literal 'q1: expected a base b, o, d or h after the quote, found 'q'", 0),
        ("0x", "bad literal 0x: no digits", 0),
        ("12ab", "bad literal 12ab: not a number", 0),
        ("1.", "bad literal 1.: not a number", 0),
        ("1e999", "bad literal 1e999: too large for a real number", 0),
        ('"abc', "string is not closed", 0),
        ('"a\\n"', "unknown escape '\\n' in a string", 2),
        ("`top.a", "backquoted name is not closed", 0),
        ("``", "empty backquoted name", 0),
        ("top.a § 1", "unexpected character '§'", 6),
        ("$foo(top.a)", "unknown function '$foo' (the functions are $past, $future,", 0),
        ("$rose()", "$rose is missing its argument", 6),
        ("$rose(top.a, 1)", "$rose takes 1 argument, found 2", 13),
        ("$past(top.a, 1, 2)", "$past takes 1 or 2 arguments, found 3", 16),
        ("$past(top.a, top.b)", "argument 2 of $past must be an integer literal", 13),
        ("$past(top.a, 1 + 1)", "argument 2 of $past must be an integer literal", 13),
        ("$past(top.a,)", "argument 2 of $past is missing", 12),
        ("$past(, top.a)", "argument 1 of $past is missing", 6),
        ("$past top.a", "$past needs its arguments in parentheses, found name 'top.a'", 6),
        ("$future(top.a, 9223372036854775808)", "argument 2 of $future is too large", 15),
        ("top.a && top.zz", "unknown name 'top.zz'", 9),
        ("top.zz[3][1]", "unknown name 'top.zz[3][1]' (nor 'top.zz[3]' or 'top.zz')", 0),
        ("`top.a `", "unknown name 'top.a '", 0),
        ("top.a[top.b]", "a bit index must be an integer literal, found name 'top.b'", 6),
        ("top.a[1.5]", "a bit index must be an integer literal, found number '1.5'", 6),
        ("top.a[]", "empty bit selection '[]'", 5),
        ("top.a[1:3]", "bit range [1:3] has its high bit below its low bit", 5),
        ("top.a[3 top.b]", "expected ']' or ':' in the bit selection, found name 'top.b'", 8),
        ("-top.a", "unary '-' is not supported: the engine has no negation", 0),
        ("top.a < +1", "unary '+' is not supported", 8),
        ("&top.a", "reduction operator '&' is not supported", 0),
        ("~top.a", "operator '~' is not supported: the engine has no bitwise negation", 0),
    ],
)
def test_faults_are_named_and_placed(query_names, text, reason, position):
    caught = error(text, query_names)
    assert isinstance(caught, ValueError)
    assert caught.reason.startswith(reason), caught.reason
    assert (caught.text, caught.position) == (text, position)


@pytest.mark.parametrize("op", list(UNSUPPORTED_OPERATORS))
def test_unsupported_operators_are_refused_by_name(query_names, op):
    caught = error(f"top.a {op} top.b", query_names)
    assert caught.reason.startswith(f"operator '{op}' is not supported: ")
    assert caught.position == 6


def test_message_shows_the_text_and_a_caret():
    caught = error("top.a &&\n\ttop.zz", DictNames({"top.a": 0}, close=["top.z", "top.zzz"]))
    assert str(caught) == "unknown name 'top.zz'; close names: top.z, top.zzz\n  \ttop.zz\n  \t^"
    assert pickle.loads(pickle.dumps(caught)).position == caught.position == 10


def test_message_of_a_long_text_shows_a_window():
    text = "top.a && " * 2000 + "top.zz" + " && top.a" * 2000
    caught = error(text, DictNames({"top.a": 0}))
    reason, shown, caret = str(caught).split("\n")
    assert len(shown) < 100 and shown.startswith("  ...") and shown.endswith("...")
    assert shown[caret.index("^") :].startswith("top.zz")


@pytest.mark.parametrize(
    "scope, text, close",
    [
        (None, "top.bb", "top.b"),
        ("top.u", "ff", "f"),  # suggested as written in the scope
        ("top.u", "top.u.g", "top.u.f"),
    ],
)
def test_unknown_names_suggest_close_ones(query_trace, scope, text, close):
    caught = error(text, TraceNames(query_trace, scope))
    assert close in caught.reason.split("close names: ")[1].split(", ")
