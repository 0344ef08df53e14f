"""trelm.open and trelm.loads: a dump of any format becomes a Waveform."""

from __future__ import annotations

import os
from typing import Iterable, Optional, Union

from trelm import _native
from trelm.detect import detect, source_path
from trelm.errors import LoadError
from trelm.progress import Progress, progress_callback
from trelm.waveform import Waveform


def _patterns(signals: Optional[Iterable[str]]) -> Optional[list[str]]:
    if signals is None:
        return None
    if isinstance(signals, str):
        return [signals]
    patterns = list(signals)
    for p in patterns:
        if not isinstance(p, str):
            raise TypeError(f"signals must be names or glob patterns (str), not {type(p).__name__}")
    return patterns


def open(source: Union[str, "os.PathLike[str]"], *, format: Optional[str] = None,
         signals: Optional[Iterable[str]] = None, progress: Progress = False) -> Waveform:
    """Loads the dump at `source` (a path: a VCD file, a gzip-compressed VCD
    such as ``run.vcd.gz``, an FST, FSDB, WLF or VPD file, or an SHM directory,
    ``.dsn`` or ``.trn`` file) and returns its Waveform.

    The format is found from the content first, the file name second;
    ``format="vcd"`` (or "fst", "fsdb", "wlf", "shm", "vpd") skips that.
    ``signals``: names or glob patterns; only the matching signals are loaded
    (an FST load then reads only their value changes). ``progress=True`` shows
    a bar on stderr when it is a terminal and the load lasts over a second; a
    callable receives (bytes done, bytes in all) instead.

    Raises FileNotFoundError for a missing path, trelm.FormatError when no
    reader recognises the input, trelm.LoadError when its reader cannot load
    it (both are ValueError)."""
    path = source_path(source)
    found, compressed = detect(path, format)
    callback, bar = progress_callback(progress, os.path.basename(path))
    try:
        trace, info = _native.load(path, "vcd.gz" if compressed else found, _patterns(signals), callback)
    except ValueError as error:
        raise LoadError(path, found, str(error)) from None
    finally:
        if bar is not None:
            bar.close()
    return Waveform(trace, info, path, found)


def loads(text: str, *, signals: Optional[Iterable[str]] = None) -> Waveform:
    """The Waveform of VCD text held in a str."""
    if not isinstance(text, str):
        raise TypeError(f"text must be a str of VCD text, not {type(text).__name__}")
    trace, info = _native.loads(text, _patterns(signals))
    return Waveform(trace, info, None, "vcd")
