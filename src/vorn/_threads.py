"""How many threads one vorn call may use.

Each call releases the interpreter lock while it computes and may split its work over a pool of
threads. Results are the same bits for every thread count.
"""

from collections.abc import Generator
from contextlib import contextmanager

from vorn import _core


def get_num_threads() -> int:
    """Return the number of threads a call made now, on this thread, may use."""
    return _core._num_threads()  # pyright: ignore[reportPrivateUsage]


def set_num_threads(threads: int) -> None:
    """Set the process-wide number of threads per call.

    ``0`` restores the default: the ``VORN_NUM_THREADS`` environment variable when set,
    else every hardware thread. ``1`` runs each call on its caller's thread, with no pool.
    """
    _core._set_num_threads(_count(threads, allow_zero=True))  # pyright: ignore[reportPrivateUsage]


@contextmanager
def num_threads(threads: int) -> Generator[None, None, None]:
    """Limit the calls made by this thread, inside the ``with`` block, to ``threads`` threads.

    Other threads keep their own setting, so worker threads of a pool can each use
    ``num_threads(1)`` without touching one another.

    >>> with vorn.num_threads(1):
    ...     vorn.mean_dispersion(cloud)
    """
    previous = _core._set_thread_num_threads(_count(threads, allow_zero=False))  # pyright: ignore[reportPrivateUsage]
    try:
        yield
    finally:
        _core._set_thread_num_threads(previous)  # pyright: ignore[reportPrivateUsage]


def _count(threads: object, allow_zero: bool) -> int:
    if isinstance(threads, bool) or not isinstance(threads, int):
        raise TypeError(f"threads must be an int, not {type(threads).__name__}")
    if threads < (0 if allow_zero else 1):
        lowest = 0 if allow_zero else 1
        raise ValueError(f"threads must be at least {lowest}, got {threads}")
    return threads
