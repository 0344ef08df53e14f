"""Scope: one level of the design hierarchy of a waveform."""

from __future__ import annotations

from types import MappingProxyType
from typing import TYPE_CHECKING, Iterator, Mapping, Sequence

if TYPE_CHECKING:
    from trelm.signal import Signal


class Scope:
    """A scope of the design: ``name`` (its own name, "" for the root),
    ``path`` (its full dotted path, "" for the root), and read-only mappings
    ``scopes`` and ``signals`` from local name to the scopes and signals
    directly inside it, in dump order."""

    __slots__ = ("name", "path", "_scopes", "_signals")

    def __init__(self, name: str, path: str):
        self.name = name
        self.path = path
        self._scopes: dict[str, Scope] = {}
        self._signals: dict[str, Signal] = {}

    @property
    def scopes(self) -> Mapping[str, "Scope"]:
        return MappingProxyType(self._scopes)

    @property
    def signals(self) -> Mapping[str, "Signal"]:
        return MappingProxyType(self._signals)

    def walk(self) -> Iterator["Scope"]:
        """This scope and every scope below it, depth first, parents before
        their children."""
        stack = [self]
        while stack:
            scope = stack.pop()
            yield scope
            stack.extend(reversed(list(scope._scopes.values())))

    def __repr__(self) -> str:
        return f"<Scope {self.path or '(root)'}: {len(self._scopes)} scopes, {len(self._signals)} signals>"


def build_tree(scope_paths: Sequence[str], signals: Sequence["Signal"]) -> Scope:
    """The scope tree of a dump from its scope paths and signals. A scope's
    parent is the longest listed path that is a dotted prefix of it; a
    signal's scope the longest listed path before one of its dots, so names
    whose last part holds a dot (escaped identifiers) still find their scope."""
    root = Scope("", "")
    by_path: dict[str, Scope] = {"": root}
    # Only a dot at the length of a listed path can end a scope: the others are
    # passed over without cutting and hashing the text before them, so a name
    # of many dots (an escaped identifier) costs time linear in its length.
    lengths = {len(p) for p in scope_paths}

    def owner(full: str) -> tuple[Scope, str]:
        end = full.rfind(".")
        while end > 0:
            scope = by_path.get(full[:end]) if end in lengths else None
            if scope is not None:
                return scope, full[end + 1:]
            end = full.rfind(".", 0, end)
        return root, full

    for path in sorted(set(scope_paths), key=lambda p: p.count(".")):
        parent, local = owner(path)
        scope = Scope(local, path)
        by_path[path] = scope
        parent._scopes.setdefault(local, scope)
    # Children in dump order rather than by depth.
    order = {p: k for k, p in enumerate(scope_paths)}
    for scope in by_path.values():
        if len(scope._scopes) > 1:
            scope._scopes = dict(sorted(scope._scopes.items(), key=lambda item: order.get(item[1].path, 0)))
    for signal in signals:
        scope, local = owner(signal.name)
        scope._signals.setdefault(local, signal)
    return root
