"""Name look-ups shared by the front door: close names for a name that is not
there, without comparing it with every name of a large design."""

from __future__ import annotations

import difflib
from typing import Sequence

# Up to this many names, every name is compared; above it only names of the
# same scope or with the same last component, then the distinct last
# components, which a design has far fewer of than names.
_COMPARE_ALL = 2000


def _local(name: str) -> str:
    return name.rsplit(".", 1)[-1]


def close_names(name: str, names: Sequence[str], count: int = 3) -> list[str]:
    """Up to `count` names of `names` that look like `name`, best first."""
    if len(names) <= _COMPARE_ALL:
        return difflib.get_close_matches(name, names, n=count, cutoff=0.6)
    scope, _, local = name.rpartition(".")
    near = [n for n in names if n.rpartition(".")[0] == scope or _local(n) == local]
    found = difflib.get_close_matches(name, near[:_COMPARE_ALL], n=count, cutoff=0.6)
    if len(found) < count:
        locals_ = {}
        for n in names:
            locals_.setdefault(_local(n), n)
        for similar in difflib.get_close_matches(local, list(locals_), n=count, cutoff=0.7):
            candidate = locals_[similar]
            if candidate not in found:
                found.append(candidate)
    return found[:count]

