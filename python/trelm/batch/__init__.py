"""Many dumps at once, on a Dask cluster.

    from trelm import batch
    table = batch.find(paths, "$rose(top.err)")                  # count, first and last match per dump
    table = batch.run(paths, lambda w: {"end": w.time_of(-1)})   # any question, a row per dump

Each dump is opened on a worker; only its path goes out and only the answer
comes back. Needs the ``batch`` extra (dask.distributed and pandas)."""

from trelm.batch.cluster import local_cluster
from trelm.batch.runner import as_completed, find, run

__all__ = ["run", "find", "as_completed", "local_cluster"]
