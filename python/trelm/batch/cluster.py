"""The Dask cluster a batch runs on: the caller's, one at an address, or a
local one started for the run and closed after it."""

from __future__ import annotations

import logging
import os
from contextlib import contextmanager
from typing import Any, Iterator, Optional

from trelm.extras import require

def distributed() -> Any:
    """dask.distributed, imported when a batch first runs."""
    return require("dask.distributed", "trelm.batch", "batch")


# One task per core already keeps the cores busy, so each worker reads its
# dump on its own thread (the engine's pool of one: the caller) and numpy's
# BLAS starts no threads of its own; more threads per worker would only
# compete for the same cores.
WORKER_ENVIRONMENT = {"RAYON_NUM_THREADS": "1", "OPENBLAS_NUM_THREADS": "1"}


def local_cores() -> int:
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


def local_cluster(workers: Optional[int] = None) -> Any:
    """A LocalCluster of `workers` (default: one per core) single-threaded
    worker processes, the kind a run without a client starts. Close it when
    done (it is a context manager)."""
    # Its log says only what went wrong: the warnings of a run broken off
    # (tasks cancelled, workers closed mid-task) are expected here.
    return distributed().LocalCluster(n_workers=workers or local_cores(), threads_per_worker=1, processes=True,
                                      dashboard_address=":0", env=WORKER_ENVIRONMENT,
                                      preload=["trelm.batch.worker"], silence_logs=logging.ERROR)


@contextmanager
def connected(client: Any) -> Iterator[Any]:
    """A dask.distributed.Client for `client`: that client itself; a new one
    connected to that cluster object, or to the scheduler at that address (a
    str); or, for None, one of a LocalCluster of this machine's cores, one single-threaded worker process
    each. What is started here is closed here."""
    dd = distributed()
    if client is None:
        with local_cluster() as cluster:
            with dd.Client(cluster) as local:
                yield local
    elif isinstance(client, str):
        with dd.Client(client) as remote:
            yield remote
    elif isinstance(client, dd.Client):
        yield client
    elif hasattr(client, "scheduler_address"):  # a cluster object: LocalCluster, dask-jobqueue's
        with dd.Client(client) as own:
            yield own
    else:
        raise TypeError(f"client must be a dask.distributed.Client, a cluster, a scheduler address or None, "
                        f"not {type(client).__name__}")
