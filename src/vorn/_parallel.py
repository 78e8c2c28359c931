"""One function applied to many clouds: on local threads, or as tasks of a Dask cluster.

Nothing here keeps state between calls; the function and its keyword arguments travel with
each batch, so a batch pickles wherever the function does.
"""

from __future__ import annotations

import functools
import importlib
import itertools
import os
import threading
from collections.abc import Iterable, Sequence
from concurrent.futures import ThreadPoolExecutor, as_completed
from typing import Any, Callable, List, NoReturn, Optional, SupportsIndex, Tuple, TypeVar, Union

from vorn import _core
from vorn._checks import as_index
from vorn._core import PanicException

R = TypeVar("R")

# Batches per worker: enough to even out clouds of unequal cost and to move a progress bar,
# few enough that the per-task cost stays small next to the work.
_BATCHES_PER_WORKER = 16
# Without progress=True, a bar appears only once the work has run this long (seconds).
_PROGRESS_DELAY = 2.0


def map_clouds(
    func: Callable[..., R],
    clouds: Iterable[Any],
    *,
    threads: Optional[SupportsIndex] = None,
    client: Any = None,
    progress: Optional[bool] = None,
    **kwargs: Any,
) -> List[R]:
    """Apply `func` to every cloud of a collection, in parallel; results in input order.

    Parameters
    ----------
    func : callable
        Called as ``func(cloud, **kwargs)``: any of vorn's measures or samplers, or a
        function of one's own. On a cluster it must pickle (module-level functions do).
    clouds : iterable of array_like
        The point clouds; read into a list before the work starts.
    threads : int, optional
        Local threads to use, an integer of any type >= 1; by default one per processor
        available to the process. Each runs its calls on one thread (``num_threads(1)``).
        1 runs a plain loop in the calling thread. Ignored when `client` is given.
    client : dask.distributed.Client, optional
        Run the work as tasks of this Dask cluster instead of on local threads. Clouds
        are sent with their tasks, in batches.
    progress : bool, optional
        True shows a progress bar at once, False never; by default a bar appears when the
        work takes longer than two seconds. Needs tqdm; without it no bar is shown.
    **kwargs
        Keyword arguments for every call of `func`, such as ``seed=7``.

    Returns
    -------
    list
        ``[func(cloud, **kwargs) for cloud in clouds]``, the same values in the same order.

    Raises
    ------
    Exception or PanicException
        What `func` raised on the first failing cloud in input order, of its own type, with
        ``cloud i: `` put before its message. The work not yet started is dropped; on
        threads the failure (or Ctrl-C) is raised at once, without waiting for calls that
        run on clouds after it.

    Notes
    -----
    The compiled functions hold no state between calls, so threads need no locking. Their
    speed-up depends on the compiled core letting other threads run while it computes.

    Examples
    --------
    >>> import numpy as np, vorn
    >>> clouds = [np.random.default_rng(i).normal(size=(100, 3)) for i in range(8)]
    >>> volumes = vorn.map_clouds(vorn.bbox_volume, clouds, threads=2)
    >>> volumes == [vorn.bbox_volume(c) for c in clouds]
    True
    >>> firsts = vorn.map_clouds(vorn.sample_uniform, clouds, count=5, seed=1)
    >>> len(firsts), firsts[0].shape
    (8, (5,))
    """
    items = list(clouds)
    call = functools.partial(func, **kwargs) if kwargs else func
    if client is not None:
        batches = _batches(items, max(1, sum(client.nthreads().values())))
        with _progress_bar(progress, len(items)) as bar:
            return _run_on_dask(client, call, batches, bar)
    workers = _thread_count(threads)
    with _progress_bar(progress, len(items)) as bar:
        if workers == 1 or len(items) <= 1:
            # One cloud per batch, run as the loop asks for it: nothing runs after a failure.
            singles = [[cloud] for cloud in items]
            finished = ((k, _run_batch(call, single, k)) for k, single in enumerate(singles))
            return _in_order(finished, singles, bar)
        return _run_on_threads(call, _batches(items, workers), workers, bar)


def _thread_count(threads: Optional[SupportsIndex]) -> int:
    if threads is None:
        if hasattr(os, "sched_getaffinity"):
            return len(os.sched_getaffinity(0))  # the processors this process may run on
        return os.cpu_count() or 1
    return as_index(threads, "threads", minimum=1)


def _batches(items: List[Any], workers: int) -> List[List[Any]]:
    size = max(1, -(-len(items) // (workers * _BATCHES_PER_WORKER)))
    return [items[start : start + size] for start in range(0, len(items), size)]


class _Failure:
    """The exception of the call on cloud `index`, returned as a batch's outcome instead of
    raised: a Dask worker keeps what is not an ``Exception`` to itself (its task never ends),
    while a returned value travels whatever the exception's type."""

    def __init__(self, index: int, error: BaseException) -> None:
        self.index = index
        self.error = error

    def reraise(self) -> NoReturn:
        error = self.error
        if isinstance(error, (Exception, PanicException)):
            # The same type and traceback, with the cloud named first in the message.
            head = f"cloud {self.index}"
            text = error.args[0] if len(error.args) == 1 else str(error) if error.args else ""
            error.args = (f"{head}: {text}" if text != "" else head,)
        raise error


_Outcome = Union[List[R], _Failure]


def _run_batch(
    call: Callable[[Any], R],
    batch: Sequence[Any],
    first: int,
    stop: Optional[threading.Event] = None,
) -> _Outcome[R]:
    """The results of `call` on each cloud of `batch` (cloud `first` first), or the failure
    of the first call that raised; stops early once `stop` is set."""
    results: List[R] = []
    for offset, cloud in enumerate(batch):
        if stop is not None and stop.is_set():
            break
        try:
            results.append(call(cloud))
        except BaseException as error:  # whatever it is, the caller re-raises it
            return _Failure(first + offset, error)
    return results


def _in_order(
    finished: Iterable[Tuple[int, _Outcome[R]]], batches: List[List[Any]], bar: Any
) -> List[R]:
    """The results of all batches in input order, from outcomes in the order they finish.

    On a failure, only the batches before it are still awaited (one of them may fail too):
    the failure raised is the first in input order. Stopping the rest is the caller's part.
    """
    outcomes: List[Optional[_Outcome[R]]] = [None] * len(batches)
    failed: Optional[int] = None
    for k, outcome in finished:
        outcomes[k] = outcome
        if isinstance(outcome, _Failure):
            failed = k if failed is None else min(failed, k)
        else:
            bar.update(len(outcome))
        if failed is not None and all(done is not None for done in outcomes[:failed]):
            failure = outcomes[failed]
            assert isinstance(failure, _Failure)
            failure.reraise()
    return [result for outcome in outcomes if isinstance(outcome, list) for result in outcome]


def _run_on_threads(
    call: Callable[[Any], R], batches: List[List[Any]], workers: int, bar: Any
) -> List[R]:
    stop = threading.Event()
    # One pool thread per worker: each call runs on its worker's thread alone.
    pool = ThreadPoolExecutor(max_workers=workers, initializer=_single_threaded)
    try:
        firsts = _firsts(batches)
        futures = {
            pool.submit(_run_batch, call, batch, first, stop): k
            for k, (batch, first) in enumerate(zip(batches, firsts))
        }
        finished = ((futures[future], future.result()) for future in as_completed(futures))
        return _in_order(finished, batches, bar)
    finally:
        # On a failure or Ctrl-C, batches not yet started are dropped and running ones stop
        # after their current cloud, without being waited for.
        stop.set()
        pool.shutdown(wait=False, cancel_futures=True)


def _single_threaded() -> None:
    # Each worker thread keeps this setting for its life; it ends with the pool.
    _core._set_thread_num_threads(1)  # pyright: ignore[reportPrivateUsage]


def _firsts(batches: List[List[Any]]) -> List[int]:
    """The index of the first cloud of each batch."""
    return list(itertools.accumulate([0] + [len(batch) for batch in batches]))[:-1]


def _run_on_dask(
    client: Any, call: Callable[[Any], R], batches: List[List[Any]], bar: Any
) -> List[R]:
    distributed: Any = importlib.import_module("distributed")  # optional: needed with a client only
    n = len(batches)
    futures = client.map(_run_batch, [call] * n, batches, _firsts(batches), pure=False)
    index = {future.key: k for k, future in enumerate(futures)}
    try:
        # result() raises only for a failure of Dask's own, such as a lost worker.
        finished = (
            (index[future.key], future.result()) for future in distributed.as_completed(futures)
        )
        return _in_order(finished, batches, bar)
    except BaseException:
        client.cancel(futures)
        raise


class _NoBar:
    def update(self, n: int) -> None:
        pass

    def __enter__(self) -> _NoBar:
        return self

    def __exit__(self, *exc: object) -> None:
        pass


def _progress_bar(progress: Optional[bool], total: int) -> Any:
    if progress is False or total == 0:
        return _NoBar()
    try:
        tqdm: Any = importlib.import_module("tqdm.auto").tqdm
    except ImportError:
        return _NoBar()
    return tqdm(total=total, unit="cloud", delay=0.0 if progress else _PROGRESS_DELAY)
