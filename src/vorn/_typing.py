"""Types of the package's signatures."""

from __future__ import annotations

from collections.abc import Sequence
from typing import (
    TYPE_CHECKING,
    Any,
    Callable,
    Protocol,
    SupportsFloat,
    SupportsIndex,
    Tuple,
    Union,
    cast,
    overload,
)

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt


class SupportsArray(Protocol):
    """Anything NumPy can view as an array: arrays, DataFrames, tensors on the CPU."""

    def __array__(self) -> np.ndarray[Any, Any]: ...


#: What `points` accepts: a 2-d array-like of real numbers, one row per point.
PointsLike = Union[SupportsArray, Sequence[SupportsArray], Sequence[Sequence[SupportsFloat]]]

#: What `seed` accepts: an integer of any type, or a NumPy Generator to draw one from.
SeedLike = Union[SupportsIndex, "np.random.Generator"]


class Measure(Protocol):
    """A measure: one float for a cloud, a float64 array of one value per cloud for a batch.

    An array whose number of dimensions the checker does not know is taken for one cloud.
    """

    @overload
    def __call__(
        self, points: np.ndarray[Tuple[int, int], Any], *, check_finite: bool = True
    ) -> float: ...
    # Overlaps the next one, as a 3-d array is array-like too; the order decides.
    @overload
    def __call__(  # pyright: ignore[reportOverlappingOverload]
        self, points: np.ndarray[Tuple[int, int, int], Any], *, check_finite: bool = True
    ) -> npt.NDArray[np.float64]: ...
    @overload
    def __call__(self, points: PointsLike, *, check_finite: bool = True) -> float: ...


def as_measure(func: Callable[..., Any]) -> Measure:
    """`func`, typed with the overloads of a measure."""
    return cast(Measure, func)
