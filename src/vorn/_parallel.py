"""One function applied to many clouds: on local threads, or as tasks of a Dask cluster.

Nothing here keeps state between calls; the function and its keyword arguments travel with
each batch, so a batch pickles wherever the function does.
"""

from __future__ import annotations

import functools
import importlib
import operator
import os
from collections.abc import Iterable, Sequence
from concurrent.futures import ThreadPoolExecutor, as_completed
from typing import Any, Callable, List, Optional, TypeVar

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
    threads: Optional[int] = None,
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
        Local threads to use, >= 1; by default one per processor available to the process.
        1 runs a plain loop in the calling thread.
        Ignored when `client` is given.
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
    Exception
        The first exception raised by `func`; the work not yet started is dropped.

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
            results: List[R] = []
            for cloud in items:
                results.append(call(cloud))
                bar.update(1)
            return results
        return _run_on_threads(call, _batches(items, workers), workers, bar)


def _thread_count(threads: Optional[int]) -> int:
    if threads is None:
        if hasattr(os, "sched_getaffinity"):
            return len(os.sched_getaffinity(0))  # the processors this process may run on
        return os.cpu_count() or 1
    count = operator.index(threads)
    if count < 1:
        raise ValueError(f"threads must be an integer >= 1, got {count}")
    return count


def _batches(items: List[Any], workers: int) -> List[List[Any]]:
    size = max(1, -(-len(items) // (workers * _BATCHES_PER_WORKER)))
    return [items[start : start + size] for start in range(0, len(items), size)]


def _run_batch(call: Callable[[Any], R], batch: Sequence[Any]) -> List[R]:
    return [call(cloud) for cloud in batch]


def _run_on_threads(
    call: Callable[[Any], R], batches: List[List[Any]], workers: int, bar: Any
) -> List[R]:
    with ThreadPoolExecutor(max_workers=workers) as pool:
        futures = [pool.submit(_run_batch, call, batch) for batch in batches]
        for future in as_completed(futures):
            error = future.exception()
            if error is not None:
                for waiting in futures:
                    waiting.cancel()  # batches not yet started are dropped
                raise error
            bar.update(len(future.result()))
    return [result for future in futures for result in future.result()]


def _run_on_dask(
    client: Any, call: Callable[[Any], R], batches: List[List[Any]], bar: Any
) -> List[R]:
    distributed: Any = importlib.import_module("distributed")  # optional: needed with a client only
    futures = client.map(_run_batch, [call] * len(batches), batches, pure=False)
    sizes = {future.key: len(batch) for future, batch in zip(futures, batches)}
    try:
        future: Any
        for future in distributed.as_completed(futures):
            if future.status == "error":
                future.result()  # raises the task's exception here
            bar.update(sizes[future.key])
        return [result for batch in client.gather(futures) for result in batch]
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
