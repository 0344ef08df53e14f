"""Set-up of the worker processes a local cluster starts (a Dask preload
module: ``dask worker --preload trelm.batch.worker`` does the same elsewhere).

Dask starts workers with glibc's malloc told to give freed memory back at
once. A worker that loads dump after dump then maps every load's buffers
afresh and page-faults them in again, which costs some 40 % more CPU per load.
Here malloc keeps freed memory up to the limits glibc itself adapts to at
most. The setting has to be made in the running process: malloc reads its
environment variables once, when the process starts, before Dask sets them."""

import ctypes

_M_TRIM_THRESHOLD = -1
_M_MMAP_THRESHOLD = -3


def keep_freed_memory() -> None:
    try:
        mallopt = ctypes.CDLL(None).mallopt
    except (OSError, AttributeError):  # a C library without mallopt: nothing to set
        return
    mallopt(_M_TRIM_THRESHOLD, 64 << 20)
    mallopt(_M_MMAP_THRESHOLD, 32 << 20)


def dask_setup(worker) -> None:
    keep_freed_memory()
