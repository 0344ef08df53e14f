"""Optional libraries: imported only when a feature needs them, with a message
that names the extra to install when one is missing."""

from __future__ import annotations

import importlib
from types import ModuleType


class MissingExtra(ImportError):
    """A feature's optional library is not installed; the message says which
    extra of the package brings it."""


def require(module: str, feature: str, extra: str) -> ModuleType:
    """`module` imported, for `feature` ("plotting", "parquet export", ...)."""
    try:
        return importlib.import_module(module)
    except ImportError:
        top = module.split(".")[0]
        raise MissingExtra(f"{feature} needs {top}: pip install 'trelm[{extra}]'") from None
