"""Shared fixtures for the tests of the Python surface of trelm."""

import pytest

import query_support
import trelm
from trelm.query import TraceNames

# Four sample indices (times 0, 10, 20, 30). Scopes top, top.sub and topx;
# top.sub.clk_alias shares the identifier code of top.clk; top.bus holds X and
# Z bits until index 2; top.sub.b becomes unknown (x) at index 2; topx.d turns
# to z at index 3; top.temp is real; rst is declared but never written; .dot
# is declared outside every scope under a name that begins with a dot.
VCD_TEXT = """\
$timescale 1ns $end
$scope module top $end
$var wire 1 ! clk $end
$var wire 8 " data [7:0] $end
$var real 64 # temp $end
$var wire 4 $ bus $end
$scope module sub $end
$var wire 1 % b $end
$var wire 1 ! clk_alias $end
$upscope $end
$upscope $end
$var wire 1 ( rst $end
$scope module topx $end
$var wire 1 & d $end
$upscope $end
$var wire 1 ' .dot $end
$enddefinitions $end
#0
0!
b00000101 "
r2.5 #
bx01z $
1%
0&
0'
#10
1!
b00001111 "
#20
0!
x%
r-1.5 #
b1010 $
#30
z&
"""

SIGNAL_NAMES = [
    "top.clk",
    "top.data",
    "top.temp",
    "top.bus",
    "top.sub.b",
    "top.sub.clk_alias",
    "rst",
    "topx.d",
    ".dot",
]

# Value of every signal at indices 0..3, as Python sees it.
VALUES = {
    "top.clk": [0, 1, 0, 0],
    "top.data": [5, 15, 15, 15],
    "top.temp": [2.5, 2.5, -1.5, -1.5],
    "top.bus": [None, None, 10, 10],
    "top.sub.b": [1, 1, None, None],
    "top.sub.clk_alias": [0, 1, 0, 0],
    "rst": [None, None, None, None],
    "topx.d": [0, 0, 0, None],
    ".dot": [0, 0, 0, 0],
}


@pytest.fixture(scope="session")
def vcd_text():
    return VCD_TEXT


@pytest.fixture(scope="session")
def trace():
    return trelm.PyTrace.from_vcd_string(VCD_TEXT)


@pytest.fixture
def vcd_path(tmp_path):
    path = tmp_path / "dump.vcd"
    path.write_text(VCD_TEXT)
    return path


@pytest.fixture(scope="session")
def empty_trace():
    return trelm.PyTrace.from_vcd_string("")


@pytest.fixture(scope="session")
def query_trace():
    """A generated trace of several widths for the query tests."""
    return query_support.random_trace()


@pytest.fixture(scope="session")
def query_names(query_trace):
    return TraceNames(query_trace)
