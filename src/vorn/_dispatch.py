"""The common body of every measure and sampler: read the points, run the core's kernel on
them, and convert its result. A 3-d array is a batch of clouds: the kernel runs on each cloud,
on threads, and the results come back as one array in the clouds' order."""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, Callable, List, Sequence, Tuple

from vorn._checks import as_indices, as_points, call_core, numpy_or_raise
from vorn._parallel import map_clouds
from vorn._threads import get_num_threads

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt


def measure(
    caller: str, kernel: Callable[..., float], points: Any, check_finite: bool
) -> float | npt.NDArray[np.float64]:
    """`kernel` of the points: a float, or a float64 array of one value per cloud."""
    array = as_points(points, check_finite, caller)
    if array.ndim == 2:
        return call_core(caller, kernel, array)
    numpy = numpy_or_raise(caller)
    values = numpy.array(_each_cloud(caller, kernel, array, ()), dtype=numpy.float64)
    return values.reshape(len(array))  # type: ignore[no-any-return]  # also for no clouds


def sample(
    caller: str,
    kernel: Callable[..., List[int]],
    points: Any,
    check_finite: bool,
    count: int,
    *args: Any,
) -> npt.NDArray[np.intp]:
    """The indices `kernel` chooses: one array, or a row per cloud padded with -1."""
    array = as_points(points, check_finite, caller)
    if array.ndim == 2:
        return as_indices(call_core(caller, kernel, array, count, *args), caller)
    numpy = numpy_or_raise(caller)
    chosen = _each_cloud(caller, kernel, array, (count, *args))
    # No cloud gives more than its n points; a cloud that gives fewer is padded.
    rows: npt.NDArray[np.intp] = numpy.full((len(array), min(count, array.shape[1])), -1)
    for row, indices in zip(rows, chosen):
        row[: len(indices)] = indices
    return rows


def sample_labelled(
    caller: str,
    kernel: Callable[..., Sequence[Any]],
    points: Any,
    check_finite: bool,
    count: int,
    *args: Any,
) -> Tuple[Any, ...]:
    """What `kernel` gives for one cloud, (indices, labels, *values), the two lists as arrays of
    np.intp. A batch is refused: each cloud's labels and values would need their own rows."""
    array = as_points(points, check_finite, caller)
    if array.ndim == 3:
        raise ValueError(
            f"{caller}(..., return_labels=True) takes one cloud (a 2-d array), got an array of "
            f"shape {array.shape}; for a batch, call it on each cloud, as map_clouds does"
        )
    chosen, labels, *values = call_core(caller, kernel, array, count, *args)
    return (as_indices(chosen, caller), as_indices(labels, caller), *values)


def _each_cloud(caller: str, kernel: Callable[..., Any], array: Any, args: Any) -> List[Any]:
    # One thread per cloud at a time, each call on its own thread: the results are the bits
    # of separate calls, whatever the thread count.
    def on_cloud(cloud: Any) -> Any:
        return call_core(caller, kernel, cloud, *args)

    threads = max(1, min(get_num_threads(), len(array)))
    return map_clouds(on_cloud, list(array), threads=threads, progress=False)
