"""Types of the package's signatures."""

from __future__ import annotations

from collections.abc import Sequence
from typing import TYPE_CHECKING, Any, Protocol, SupportsFloat, SupportsIndex, Union

if TYPE_CHECKING:
    import numpy as np


class SupportsArray(Protocol):
    """Anything NumPy can view as an array: arrays, DataFrames, tensors on the CPU."""

    def __array__(self) -> np.ndarray[Any, Any]: ...


#: What `points` accepts: a 2-d array-like of real numbers, one row per point.
PointsLike = Union[SupportsArray, Sequence[SupportsArray], Sequence[Sequence[SupportsFloat]]]

#: What `seed` accepts: an integer of any type, or a NumPy Generator to draw one from.
SeedLike = Union[SupportsIndex, "np.random.Generator"]
