"""How many threads one vorn call may use.

Each call releases the interpreter lock while it computes and may split its work over a pool of
threads. Results are the same bits for every thread count.
"""

from collections.abc import Generator
from contextlib import contextmanager
from typing import SupportsIndex

from vorn import _core
from vorn._checks import as_index


def get_num_threads() -> int:
    """Return the number of threads a call made now, on this thread, may use.

    >>> import vorn
    >>> vorn.get_num_threads() >= 1
    True
    """
    return _core._num_threads()  # pyright: ignore[reportPrivateUsage]


def set_num_threads(threads: SupportsIndex) -> None:
    """Set the process-wide number of threads per call.

    ``0`` restores the default: the ``VORN_NUM_THREADS`` environment variable when set,
    else every hardware thread. ``1`` runs each call on its caller's thread, with no pool.
    Any integer type is taken.

    >>> import vorn
    >>> vorn.set_num_threads(1)
    >>> vorn.get_num_threads()
    1
    >>> vorn.set_num_threads(0)  # back to the default
    """
    _core._set_num_threads(as_index(threads, "threads"))  # pyright: ignore[reportPrivateUsage]


@contextmanager
def num_threads(threads: SupportsIndex) -> Generator[None, None, None]:
    """Limit the calls made by this thread, inside the ``with`` block, to ``threads`` threads.

    Other threads keep their own setting, so worker threads of a pool can each use
    ``num_threads(1)`` without touching one another.

    >>> import vorn
    >>> cloud = [[0.0, 0.0], [3.0, 4.0]]
    >>> with vorn.num_threads(1):
    ...     vorn.mean_dispersion(cloud)
    5.0
    """
    count = as_index(threads, "threads", minimum=1)
    previous = _core._set_thread_num_threads(count)  # pyright: ignore[reportPrivateUsage]
    try:
        yield
    finally:
        _core._set_thread_num_threads(previous)  # pyright: ignore[reportPrivateUsage]
