"""Size measures and seeded samplers of point clouds.

The package ``vorn`` wraps these functions with conversion of any array-like, checked
arguments with defaults, and index arrays as results; call them directly for lists of lists
without NumPy, or to skip the checks.

`points` is a sequence of sequences of numbers (one inner sequence per point, all of one
dimension) for the plain functions, and a two-dimensional float64 NumPy array (one row per
point) for the ``_numpy`` functions. Both forms give identical results.

Samplers return point indices. Every sampler that holds a set of chosen indices returns them
in the order in which they were first chosen; the same arguments give the same list on every
call and every platform.
"""

from collections.abc import Sequence
from typing import List, SupportsFloat, SupportsIndex, Tuple

import numpy as np
import numpy.typing as npt

__all__ = [
    "bbox_volume",
    "bbox_volume_numpy",
    "covariance_volume",
    "covariance_volume_numpy",
    "hull_volume",
    "hull_volume_numpy",
    "mean_dispersion",
    "mean_dispersion_numpy",
    "sample_centroid_fps",
    "sample_centroid_fps_numpy",
    "sample_centroid_kmedoids",
    "sample_centroid_kmedoids_numpy",
    "sample_centroid_stratified",
    "sample_centroid_stratified_numpy",
    "sample_centroid_uniform",
    "sample_centroid_uniform_numpy",
    "sample_centroid_voxel",
    "sample_centroid_voxel_numpy",
    "sample_uniform",
    "sample_uniform_numpy",
]

_Points = Sequence[Sequence[SupportsFloat]]
# Only 2-d float64 arrays in native byte order are accepted; anything else is a TypeError.
_Array = npt.NDArray[np.float64]

class PanicException(BaseException):
    """An internal failure of the numeric code (not caught by ``except Exception``)."""

def bbox_volume(points: _Points) -> float:
    """Volume of the axis-aligned bounding box: the product of the axis extents."""

def hull_volume(points: _Points) -> float:
    """Volume (3-d) or area (2-d) of the convex hull, computed in single precision."""

def covariance_volume(points: _Points) -> float:
    """Square root of the determinant of the sample covariance plus 1e-8 on the diagonal."""

def mean_dispersion(points: _Points) -> float:
    """Mean Euclidean distance over all pairs of points."""

def bbox_volume_numpy(points: _Array) -> float:
    """`bbox_volume` of a 2-d float64 array, one row per point."""

def hull_volume_numpy(points: _Array) -> float:
    """`hull_volume` of a 2-d float64 array, one row per point."""

def covariance_volume_numpy(points: _Array) -> float:
    """`covariance_volume` of a 2-d float64 array, one row per point."""

def _covariance_log_volume_numpy(points: _Array) -> float:
    """Natural logarithm of `covariance_volume_numpy`, finite where that underflows."""

def mean_dispersion_numpy(points: _Array) -> float:
    """`mean_dispersion` of a 2-d float64 array, one row per point."""

def _sample_centroid_fps_from_numpy(
    points: _Array, count: SupportsIndex, start: SupportsIndex
) -> List[int]:
    """`sample_centroid_fps_numpy` begun at row `start` (PanicException when out of range)."""

def _sample_centroid_kmedoids_labels_numpy(
    points: _Array, count: SupportsIndex, seed: SupportsIndex, max_iterations: SupportsIndex
) -> Tuple[List[int], List[int], float]:
    """The medoids, each point's medoid position (-1 without medoids) and the total distance."""

def _sample_centroid_stratified_labels_numpy(
    points: _Array,
    count: SupportsIndex,
    seed: SupportsIndex,
    num_strata: SupportsIndex,
    max_iterations: SupportsIndex,
) -> Tuple[List[int], List[int]]:
    """The chosen indices and each point's stratum (all 0 when no strata are formed)."""

def sample_centroid_uniform(
    points: _Points, count: SupportsIndex, seed: SupportsIndex
) -> List[int]:
    """The point nearest the centroid, then random points, in the order first chosen."""

def sample_centroid_fps(points: _Points, count: SupportsIndex, seed: SupportsIndex) -> List[int]:
    """Farthest-point sampling from the point nearest the centroid (seed unused)."""

def sample_centroid_kmedoids(
    points: _Points, count: SupportsIndex, seed: SupportsIndex, max_iterations: SupportsIndex
) -> List[int]:
    """K-medoids swap search started from the point nearest the centroid."""

def sample_centroid_voxel(
    points: _Points, count: SupportsIndex, seed: SupportsIndex, voxel_size: SupportsFloat
) -> List[int]:
    """One random point per occupied voxel, after the point nearest the centroid."""

def sample_centroid_stratified(
    points: _Points,
    count: SupportsIndex,
    seed: SupportsIndex,
    num_strata: SupportsIndex,
    max_iterations: SupportsIndex,
) -> List[int]:
    """Random points from k-means strata in proportional quotas, after the centroid's nearest."""

def sample_uniform(points: _Points, count: SupportsIndex, seed: SupportsIndex) -> List[int]:
    """Up to `count` distinct random indices; a smaller count gives a prefix."""

def sample_centroid_uniform_numpy(
    points: _Array, count: SupportsIndex, seed: SupportsIndex
) -> List[int]:
    """`sample_centroid_uniform` of a 2-d float64 array."""

def sample_centroid_fps_numpy(
    points: _Array, count: SupportsIndex, seed: SupportsIndex
) -> List[int]:
    """`sample_centroid_fps` of a 2-d float64 array."""

def sample_centroid_kmedoids_numpy(
    points: _Array, count: SupportsIndex, seed: SupportsIndex, max_iterations: SupportsIndex
) -> List[int]:
    """`sample_centroid_kmedoids` of a 2-d float64 array."""

def sample_centroid_voxel_numpy(
    points: _Array, count: SupportsIndex, seed: SupportsIndex, voxel_size: SupportsFloat
) -> List[int]:
    """`sample_centroid_voxel` of a 2-d float64 array."""

def sample_centroid_stratified_numpy(
    points: _Array,
    count: SupportsIndex,
    seed: SupportsIndex,
    num_strata: SupportsIndex,
    max_iterations: SupportsIndex,
) -> List[int]:
    """`sample_centroid_stratified` of a 2-d float64 array."""

def sample_uniform_numpy(points: _Array, count: SupportsIndex, seed: SupportsIndex) -> List[int]:
    """`sample_uniform` of a 2-d float64 array."""

# Thread-count controls behind vorn.get_num_threads, set_num_threads and num_threads.
def _num_threads() -> int: ...
def _set_num_threads(threads: int, /) -> None: ...
def _set_thread_num_threads(threads: int, /) -> int: ...

# The package's forms of the ``_numpy`` functions: the same, and a float32 array is read too.
_AnyArray = npt.NDArray[np.float64] | npt.NDArray[np.float32]

def _bbox_volume_array(points: _AnyArray, /) -> float: ...
def _hull_volume_array(points: _AnyArray, /) -> float: ...
def _covariance_volume_array(points: _AnyArray, /) -> float: ...
def _mean_dispersion_array(points: _AnyArray, /) -> float: ...
def _covariance_log_volume_array(points: _AnyArray, /) -> float: ...
def _sample_centroid_uniform_array(points: _AnyArray, count: int, seed: int, /) -> List[int]: ...
def _sample_centroid_fps_array(points: _AnyArray, count: int, seed: int, /) -> List[int]: ...
def _sample_centroid_kmedoids_array(
    points: _AnyArray, count: int, seed: int, max_iterations: int, /
) -> List[int]: ...
def _sample_centroid_voxel_array(
    points: _AnyArray, count: int, seed: int, voxel_size: float, /
) -> List[int]: ...
def _sample_centroid_stratified_array(
    points: _AnyArray, count: int, seed: int, num_strata: int, max_iterations: int, /
) -> List[int]: ...
def _sample_uniform_array(points: _AnyArray, count: int, seed: int, /) -> List[int]: ...
def _sample_centroid_fps_from_array(points: _AnyArray, count: int, start: int, /) -> List[int]: ...
def _sample_centroid_kmedoids_labels_array(
    points: _AnyArray, count: int, seed: int, max_iterations: int, /
) -> Tuple[List[int], List[int], float]: ...
def _sample_centroid_stratified_labels_array(
    points: _AnyArray, count: int, seed: int, num_strata: int, max_iterations: int, /
) -> Tuple[List[int], List[int]]: ...
