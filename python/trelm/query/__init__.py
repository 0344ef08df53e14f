"""Queries as text: a Verilog-flavoured expression language compiled to PyExpr trees."""

from trelm.query.compile import compile_query
from trelm.query.errors import QueryError
from trelm.query.names import NameLookup, TraceNames
from trelm.query.spans import spans

__all__ = ["compile_query", "NameLookup", "QueryError", "TraceNames", "spans"]
