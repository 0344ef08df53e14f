"""batch.run, batch.find and batch.as_completed: one task per dump on a Dask
cluster; only paths go out and only small results come back."""

from __future__ import annotations

import os
import sys
from typing import Any, Callable, Iterable, Iterator, Optional, Union

from trelm.batch.cluster import connected, distributed
from trelm.batch.table import frame, make_row, pandas_module
from trelm.batch.tasks import FindQuery, error_text, open_and_call
from trelm.loading import _patterns
from trelm.progress import Progress
from trelm.query.mentions import mentioned_names

Paths = Iterable[Union[str, "os.PathLike[str]"]]

# Nullable integer columns: a dump without a match (or without a result) has
# no first time, and times need all 64 bits.
FIND_COLUMNS = {"count": "Int64", "first_time": "UInt64", "last_time": "UInt64"}


def _path_list(paths: Paths) -> list[str]:
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("paths must be a list of paths; for one dump, pass [path]")
    return [os.fspath(p) for p in paths]


def as_completed(paths: Paths, fn: Callable[[Any], Any], *, client: Any = None,
                 signals: Optional[Iterable[str]] = None) -> Iterator[tuple[int, dict]]:
    """Yields (position in `paths`, row) for each dump as soon as its task
    ends, fastest first; see ``run`` for the arguments and the row. Leaving
    the loop early cancels the tasks not yet done (and closes a cluster
    started for the run)."""
    given = _path_list(paths)
    patterns = _patterns(signals)
    if not given:
        return
    dd = distributed()
    pandas_module()  # a missing pandas is found before any work is done
    with connected(client) as c:
        # Absolute paths: a worker's working directory need not be the caller's.
        futures = c.map(open_and_call, [os.path.abspath(p) for p in given], fn=fn, signals=patterns, pure=False)
        positions = {future.key: i for i, future in enumerate(futures)}
        try:
            for future in dd.as_completed(futures):
                i = positions[future.key]
                try:
                    outcome = future.result()
                except Exception as error:  # the task never ran through: a lost worker, an unpicklable result
                    outcome = (None, None, None, error_text(error))
                future.release()
                yield i, make_row(given[i], outcome)
        finally:
            c.cancel(futures)


def run(paths: Paths, fn: Callable[[Any], Any], *, client: Any = None, signals: Optional[Iterable[str]] = None,
        progress: Progress = False) -> Any:
    """Opens every dump of `paths` on a Dask worker, calls ``fn(waveform)``
    there, and returns a pandas DataFrame with a row per dump, in the order
    of `paths`.

    Only the path travels to the worker and only fn's result travels back;
    the dump is read where the worker runs, so every worker must see the
    paths (a shared disk). `fn` travels by cloudpickle: a lambda, a local
    function or a callable object is fine, as long as whatever it uses can be
    pickled; its result must pickle too, and should be small.

    Columns: ``path``; the result's fields (a dict result gives a column per
    key, any other result the column ``result``); ``load_seconds`` and
    ``call_seconds``; ``error``: None, or the text of what went wrong (a
    missing or unreadable dump, an exception in fn, a lost worker), in which
    case the row has no result. A failing dump never stops the others.

    `client`: a ``dask.distributed.Client``; a cluster object (a
    LocalCluster, a dask-jobqueue SLURMCluster, ...); a scheduler address
    such as "tcp://10.0.0.1:8786"; or None: a LocalCluster of one single-threaded
    worker process per core of this machine is started for the run and
    closed after it (a script doing so needs the ``if __name__ ==
    "__main__":`` guard, as worker processes import the main module).
    `signals`: names or glob patterns, as for ``trelm.open``: only those
    signals are loaded. `progress`: True draws a bar of dumps done on
    stderr (with tqdm, when installed); a callable receives (done, total)."""
    return frame(_rows(paths, fn, client, signals, progress))


def find(paths: Paths, query: str, *, client: Any = None, progress: Progress = False) -> Any:
    """Runs a query text (see docs/queries.md) over every dump: a DataFrame
    with a row per dump of ``path``, ``count`` (matching sample indices),
    ``first_time`` and ``last_time`` (of the first and last match; missing
    when nothing matches), the times and ``error``, as ``run`` gives them.
    Each dump loads only the signals the query names. A text that is not a
    query raises trelm.QueryError before any dump is opened."""
    names = mentioned_names(query)
    rows = _rows(paths, FindQuery(query), client, names or None, progress)
    return frame(rows, FIND_COLUMNS)


def _rows(paths: Paths, fn: Callable[[Any], Any], client: Any, signals: Optional[Iterable[str]],
          progress: Progress) -> list[dict]:
    """The row of every dump, in the order of `paths`."""
    given = _path_list(paths)
    rows: list = [None] * len(given)
    tick, close = _progress(progress, len(given))
    try:
        for i, row in as_completed(given, fn, client=client, signals=signals):
            rows[i] = row
            tick()
    finally:
        close()
    return rows


def _progress(progress: Progress, total: int) -> tuple[Callable[[], None], Callable[[], None]]:
    """A tick per dump done, and what closes the bar."""
    if progress is None or progress is False:
        return (lambda: None), (lambda: None)
    if callable(progress):
        done = [0]

        def tell() -> None:
            done[0] += 1
            progress(done[0], total)

        return tell, (lambda: None)
    if progress is not True:
        raise TypeError(f"progress must be True, False or a callable(done, total), not {type(progress).__name__}")
    try:
        from tqdm import tqdm
    except ImportError:  # the bar is a nicety; the run goes on without it
        return (lambda: None), (lambda: None)
    bar = tqdm(total=total, unit="dump", file=sys.stderr)
    return (lambda: bar.update(1)), bar.close
