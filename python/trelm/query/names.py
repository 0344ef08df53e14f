"""How a query finds the signals it names."""

from __future__ import annotations

from typing import Optional, Protocol

from trelm._core import PyTrace
from trelm.names import close_names

CLOSE_NAMES = 5


class NameLookup(Protocol):
    """What compile_query asks about names.

    ``signal_id`` gives the id of a name as the query writes it (any scope rule
    already applied), or None; ``close_names`` suggests names for an unknown one.
    """

    def signal_id(self, name: str) -> Optional[int]: ...

    def close_names(self, name: str) -> list[str]: ...


class TraceNames:
    """The names of a PyTrace; with a scope, a name is looked up there first."""

    def __init__(self, trace: PyTrace, scope: Optional[str] = None) -> None:
        self._trace = trace
        self._scope = scope or None
        self._names: Optional[list[str]] = None

    def signal_id(self, name: str) -> Optional[int]:
        if self._scope is not None:
            full = self._trace.resolve(self._scope, name)
            if full is not None:
                return self._trace.signal_id(full)
        return self._trace.signal_id(name)

    def close_names(self, name: str) -> list[str]:
        if self._names is None:
            self._names = self._trace.signal_names()
        found = []
        if self._scope is not None:
            # Suggest names as they would be written in the scope.
            prefix = self._scope + "."
            local = [n[len(prefix) :] for n in self._names if n.startswith(prefix)]
            found = close_names(name, local, CLOSE_NAMES)
        found += close_names(name, self._names, CLOSE_NAMES)
        return list(dict.fromkeys(found))[:CLOSE_NAMES]
