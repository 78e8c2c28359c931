"""Validation and conversion at the edge of the package: anything array-like in, one float64
array out, and every parameter checked before the compiled core sees it.

NumPy is imported on first use, never at import time: ``import vorn`` must work without it.
"""

from __future__ import annotations

import math
import operator
import sys
from typing import TYPE_CHECKING, Any, Callable, List, Optional, Tuple, TypeVar, Union

from vorn._core import PanicException

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt

_U64_LIMIT = 1 << 64
T = TypeVar("T")

# What the core's private `_*_array` functions read.
Points = Union["npt.NDArray[np.float64]", "npt.NDArray[np.float32]"]


def numpy_or_raise(caller: str) -> Any:
    """The numpy module, or ImportError naming the function that needs it."""
    try:
        import numpy
    except ImportError:
        raise ImportError(
            f"vorn.{caller}() needs NumPy (pip install numpy); without NumPy, "
            f"vorn._core.{caller}() takes a list of lists"
        ) from None
    return numpy


def as_points(points: Any, check_finite: bool, caller: str) -> Points:
    """`points` as a 2-d float64 or float32 array with at least one column, rows being points,
    or as a 3-d one: a batch of clouds of equal shape.

    A float64 or float32 array in native byte order is returned as it is, whatever its
    strides (the core reads any strides and widens float32 exactly); anything else is
    converted to float64 once.
    """
    numpy = numpy_or_raise(caller)
    if isinstance(points, numpy.ndarray) and type(points) is not numpy.ndarray:
        _refuse_masked(numpy, points)
    array: Points = points if isinstance(points, numpy.ndarray) else _asarray(numpy, points)
    if array.dtype != numpy.float64 and array.dtype != numpy.float32:  # also other byte orders
        array = _as_float64(numpy, array)
    if array.ndim not in (2, 3):
        if array.ndim == 1 and array.size == 0:
            return numpy.empty((0, 1))  # type: ignore[no-any-return]  # an empty list: no points
        hint = (
            " (use points.reshape(-1, 1) for one-dimensional points)"
            if array.ndim == 1
            else " (or 3-d for a batch of clouds)"
        )
        raise ValueError(
            f"points must be 2-d, one row per point: got an array of shape {array.shape}{hint}"
        )
    if array.shape[-1] == 0:
        raise ValueError(f"points must have at least one coordinate each: got shape {array.shape}")
    # One pass: a sum is NaN or infinite when any term is (and, rarely, when it overflows).
    if check_finite and not math.isfinite(array.sum()):
        _raise_first_non_finite(numpy, array)
    return array


def _asarray(numpy: Any, points: Any) -> Any:
    if isinstance(points, (str, bytes, bytearray)):
        raise TypeError(
            f"points must be a 2-d array-like of real numbers, got {type(points).__name__}"
        )
    try:
        return numpy.asarray(points)
    except ValueError as error:
        if "inhomogeneous" not in str(error):
            raise
    _raise_first_ragged(points)
    raise AssertionError("unreachable")  # pragma: no cover


def _raise_first_ragged(points: Any) -> None:
    lengths = [len(point) for point in points]
    for i, length in enumerate(lengths):
        if length != lengths[0]:
            raise ValueError(f"Point {i} has dimension {length}, expected {lengths[0]}")
    raise ValueError("points must be 2-d, one row per point, each row a flat sequence of numbers")


def _as_float64(numpy: Any, array: Any) -> Any:
    if array.dtype.kind not in "biufO":
        raise TypeError(
            "points must hold real numbers (a float, integer or bool dtype), "
            f"got dtype {array.dtype}"
        )
    try:
        return array.astype(numpy.float64)
    except (TypeError, ValueError, OverflowError) as error:
        raise TypeError(f"points must hold real numbers convertible to float64: {error}") from None


def _refuse_masked(numpy: Any, points: Any) -> None:
    # The core reads the data under the mask too: measuring it would be silently wrong.
    if isinstance(points, numpy.ma.MaskedArray):
        raise TypeError(
            "points must not be a masked array: its masked points would be measured; "
            "pass numpy.ma.compress_rows(points) to drop them"
        )


def _first_non_finite(numpy: Any, array: Any) -> Optional[Tuple[int, ...]]:
    bad = ~numpy.isfinite(array)
    if not bad.any():
        return None
    return tuple(int(k) for k in numpy.argwhere(bad)[0])


def _point(at: Tuple[int, ...]) -> str:
    return f"point {at[0]}" if len(at) == 2 else f"cloud {at[0]}, point {at[1]}"


def _raise_first_non_finite(numpy: Any, array: Any) -> None:
    at = _first_non_finite(numpy, array)
    if at is None:
        return  # the sum overflowed; every coordinate is finite
    raise ValueError(
        f"points must be finite: {_point(at)} has coordinate {array[at]} "
        "(pass check_finite=False to skip this check)"
    )


def call_core(caller: str, function: Callable[..., T], array: Any, *args: Any) -> T:
    """`function(array, *args)`, with the core's internal failure on a non-finite coordinate
    (reachable with check_finite=False) turned into a ValueError naming that coordinate."""
    try:
        return function(array, *args)
    except PanicException:
        at = _first_non_finite(numpy_or_raise(caller), array)
        if at is None:
            raise
        raise ValueError(
            f"{caller} needs finite points: {_point(at)} has coordinate {array[at]} "
            "(check_finite=False skips the check, not the need)"
        ) from None


def as_index(value: Any, name: str, minimum: int = 0) -> int:
    """`value` as an int in [minimum, 2**64), the range the core accepts.

    Any integer type is taken (anything with ``__index__``: NumPy integers too), but not a
    bool, which is an int by accident of history and a slip of the pen here.
    """
    try:
        if isinstance(value, bool):
            raise TypeError
        index = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, got {type(value).__name__}") from None
    if not minimum <= index < _U64_LIMIT:
        raise ValueError(f"{name} must be an integer in [{minimum}, 2**64), got {index}")
    return index


def as_start(start: Any, n: int) -> int:
    """`start` as the index of one of n points; a negative one counts from the end, as NumPy
    indexes, and one out of range is an IndexError."""
    index = as_index(start, "start", minimum=-_U64_LIMIT)
    if not -n <= index < n:
        raise IndexError(f"start {index} is out of range for a cloud of {n} points")
    return index + n if index < 0 else index


def as_seed(seed: Any) -> int:
    """`seed` as an int in [0, 2**64); a numpy.random.Generator gives one draw of 64 bits."""
    try:
        return as_index(seed, "seed")
    except TypeError:
        numpy = sys.modules.get("numpy")  # a Generator implies NumPy is already imported
        if numpy is None or not isinstance(seed, numpy.random.Generator):
            raise TypeError(
                f"seed must be an integer or a numpy.random.Generator, got {type(seed).__name__}"
            ) from None
    return int(seed.integers(0, _U64_LIMIT, dtype=numpy.uint64))


def as_positive_real(value: Any, name: str) -> float:
    """`value` as a finite float greater than 0."""
    if isinstance(value, (str, bytes, bytearray)):
        raise TypeError(f"{name} must be a real number, got {type(value).__name__}")
    try:
        real = float(value)
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be a real number, got {type(value).__name__}") from None
    if not 0.0 < real < float("inf"):
        raise ValueError(f"{name} must be a finite number greater than 0, got {real}")
    return real


def as_indices(chosen: List[int], caller: str) -> npt.NDArray[np.intp]:
    """The core's list of indices as an array of np.intp, in the same order."""
    numpy = numpy_or_raise(caller)
    indices: npt.NDArray[np.intp]
    if len(chosen) < 256:
        indices = numpy.array(chosen, dtype=numpy.intp)
    else:  # about a third faster on long lists, slower on short ones
        indices = numpy.fromiter(chosen, dtype=numpy.intp, count=len(chosen))
    return indices
