"""The six samplers: each returns the indices of the chosen points as an array of np.intp."""

from __future__ import annotations

from typing import (
    TYPE_CHECKING,
    NamedTuple,
    Optional,
    SupportsFloat,
    SupportsIndex,
    overload,
)

from vorn import _core
from vorn._checks import as_index, as_points, as_positive_real, as_seed, as_start
from vorn._dispatch import sample, sample_labelled
from vorn._docs import shared_docs
from vorn._typing import PointsLike, SeedLike

if TYPE_CHECKING:
    from typing import Literal

    import numpy as np
    import numpy.typing as npt


class KMedoidsResult(NamedTuple):
    """`sample_centroid_kmedoids(..., return_labels=True)`: the medoids, the medoid of every
    point, and the total distance."""

    indices: npt.NDArray[np.intp]
    """The medoids' row indices, as without labels."""
    labels: npt.NDArray[np.intp]
    """Shape (n,): the position in `indices` of each point's nearest medoid, the lowest of
    equally near ones (-1 for every point when there is no medoid)."""
    cost: float
    """Each point's distance to that medoid, in float64, added in point order from 0.0
    (+inf when there is no medoid, 0.0 for no points)."""


class StratifiedResult(NamedTuple):
    """`sample_centroid_stratified(..., return_labels=True)`: the chosen points and the
    stratum of every point."""

    indices: npt.NDArray[np.intp]
    """The chosen row indices, as without labels."""
    labels: npt.NDArray[np.intp]
    """Shape (n,): the stratum, from 0 to min(n, num_strata) - 1, each point was drawn from
    (the lower one where two centres are equally near); all 0 when no strata are formed
    (`count` below 2 or `max_iterations` 0)."""


@shared_docs
def sample_uniform(
    points: PointsLike, count: SupportsIndex, *, seed: SeedLike = 0
) -> npt.NDArray[np.intp]:
    """Up to `count` distinct points chosen uniformly at random.

    Only the number of points matters: coordinates are not read, so they are not checked.

    Parameters
    ----------
    %(points)s
    %(count)s
    seed : int or numpy.random.Generator, default 0
        Seed of the random choices: an integer of any type, 0 <= seed < 2**64. Equal seeds
        give equal results on every platform. A Generator gives one 64-bit integer
        (``seed.integers(2**64, dtype=numpy.uint64)``) and advances by that one draw, so the
        call is reproducible from the generator's state. Every cloud of a batch gets the
        same seed.

    %(returns_indices)s
        Distinct row indices into `points`. A smaller `count` gives a prefix of a larger one.
        %(batch_rows)s

    Raises
    ------
    TypeError
        `points` does not hold real numbers, `count` is not an integer, or `seed` is neither
        an integer nor a Generator.
    ValueError
        `points` is not 2-d or has no columns; `count` or `seed` is out of range.
    ImportError
        NumPy is not installed.

    Examples
    --------
    >>> import numpy as np, vorn
    >>> cloud = np.arange(20.0).reshape(10, 2)
    >>> vorn.sample_uniform(cloud, 4, seed=42)
    array([7, 1, 5, 4])
    """
    count, seed = as_index(count, "count"), as_seed(seed)
    return sample("sample_uniform", _core._sample_uniform_array, points, False, count, seed)  # pyright: ignore[reportPrivateUsage]


@shared_docs
def sample_centroid_uniform(
    points: PointsLike, count: SupportsIndex, *, seed: SeedLike = 0, check_finite: bool = True
) -> npt.NDArray[np.intp]:
    """The point nearest the centroid, then points chosen uniformly at random.

    Parameters
    ----------
    %(points)s
    %(count)s
    %(seed)s
    %(check_finite)s

    %(returns_indices)s
        Distinct row indices into `points`, the point nearest the centroid first.
        %(batch_rows)s

    %(sampler_raises)s.

    Examples
    --------
    >>> import numpy as np, vorn
    >>> line = np.arange(10.0).reshape(10, 1)
    >>> vorn.sample_centroid_uniform(line, 4, seed=42)
    array([4, 7, 1, 5])
    """
    count, seed = as_index(count, "count"), as_seed(seed)
    kernel = _core._sample_centroid_uniform_array  # pyright: ignore[reportPrivateUsage]
    return sample("sample_centroid_uniform", kernel, points, check_finite, count, seed)


@shared_docs
def sample_centroid_fps(
    points: PointsLike,
    count: SupportsIndex,
    *,
    start: Optional[SupportsIndex] = None,
    check_finite: bool = True,
) -> npt.NDArray[np.intp]:
    """Farthest-point sampling from the point nearest the centroid, or from a chosen point.

    Each further point is the one farthest from all points chosen so far (the last of equal
    distances). No random choice is made, so there is no seed.

    Parameters
    ----------
    %(points)s
    %(count)s
    start : int, optional
        The row index of the first point; negative counts from the end, as in NumPy
        indexing. None starts at the point nearest the centroid. A batch starts every cloud
        at this row.
    %(check_finite)s

    %(returns_indices)s
        Row indices into `points` in the order chosen. An index repeats only once every
        point coincides with a chosen one.
        %(batch_rows)s

    %(sampler_raises)s.
    IndexError
        `start` is not the index of a point.

    Examples
    --------
    >>> import vorn
    >>> vorn.sample_centroid_fps([[0, 0], [1, 0], [1, 1], [0, 1]], 2)
    array([0, 2])
    >>> vorn.sample_centroid_fps([[0, 0], [1, 0], [1, 1], [0, 1]], 2, start=-1)
    array([3, 1])
    """
    count = as_index(count, "count")
    if start is None:
        kernel = _core._sample_centroid_fps_array  # pyright: ignore[reportPrivateUsage]
        return sample("sample_centroid_fps", kernel, points, check_finite, count, 0)
    array = as_points(points, check_finite, "sample_centroid_fps")
    first = as_start(start, array.shape[-2])
    kernel = _core._sample_centroid_fps_from_array  # pyright: ignore[reportPrivateUsage]
    return sample("sample_centroid_fps", kernel, array, False, count, first)


@shared_docs
def sample_centroid_voxel(
    points: PointsLike,
    count: SupportsIndex,
    *,
    voxel_size: SupportsFloat,
    seed: SeedLike = 0,
    check_finite: bool = True,
) -> npt.NDArray[np.intp]:
    """The point nearest the centroid, then one random point per occupied voxel.

    Space is cut into cubic cells of edge `voxel_size`; the occupied cells are visited in
    random order, each giving one random member. Random points fill any places left.

    Parameters
    ----------
    %(points)s
    %(count)s
    voxel_size : float
        Edge length of a cell, finite and greater than 0.
    %(seed)s
    %(check_finite)s

    %(returns_indices)s
        Distinct row indices into `points` in the order chosen, the point nearest the
        centroid first.
        %(batch_rows)s

    %(sampler_raises)s and a `voxel_size` that is
        not a finite number above 0.

    Examples
    --------
    >>> import numpy as np, vorn
    >>> line = np.arange(10.0).reshape(10, 1)
    >>> vorn.sample_centroid_voxel(line, 3, voxel_size=5.0, seed=7)
    array([4, 1, 5])
    """
    count, seed = as_index(count, "count"), as_seed(seed)
    size = as_positive_real(voxel_size, "voxel_size")
    kernel = _core._sample_centroid_voxel_array  # pyright: ignore[reportPrivateUsage]
    return sample("sample_centroid_voxel", kernel, points, check_finite, count, seed, size)


@overload
def sample_centroid_kmedoids(
    points: PointsLike,
    count: SupportsIndex,
    *,
    max_iterations: SupportsIndex = 100,
    seed: SeedLike = 0,
    check_finite: bool = True,
    return_labels: Literal[False] = False,
) -> npt.NDArray[np.intp]: ...
@overload
def sample_centroid_kmedoids(
    points: PointsLike,
    count: SupportsIndex,
    *,
    max_iterations: SupportsIndex = 100,
    seed: SeedLike = 0,
    check_finite: bool = True,
    return_labels: Literal[True],
) -> KMedoidsResult: ...
@overload
def sample_centroid_kmedoids(
    points: PointsLike,
    count: SupportsIndex,
    *,
    max_iterations: SupportsIndex = 100,
    seed: SeedLike = 0,
    check_finite: bool = True,
    return_labels: bool,
) -> npt.NDArray[np.intp] | KMedoidsResult: ...


@shared_docs
def sample_centroid_kmedoids(
    points: PointsLike,
    count: SupportsIndex,
    *,
    max_iterations: SupportsIndex = 100,
    seed: SeedLike = 0,
    check_finite: bool = True,
    return_labels: bool = False,
) -> npt.NDArray[np.intp] | KMedoidsResult:
    """Medoids by greedy swaps, the first being the point nearest the centroid.

    The others start as a random choice; a medoid is swapped for another point whenever
    that lowers the total distance from every point to its nearest medoid.

    Parameters
    ----------
    %(points)s
    count : int
        How many medoids to choose, >= 0; at most n are returned.
    max_iterations : int, default 100
        The largest number of swaps, >= 0.
    seed : int or numpy.random.Generator, default 0
        Seed of the random start, as in `sample_uniform`.
    %(check_finite)s
    return_labels : bool, default False
        Also give each point's medoid and the total distance (one cloud only).

    %(returns_indices)s
        Distinct row indices into `points`, the point nearest the centroid first.
        %(batch_rows)s
    KMedoidsResult
        With `return_labels`: these indices, the same bits, each point's medoid and the
        total distance the swaps lowered.

    %(sampler_raises)s and a `max_iterations` below 0; with
        `return_labels`, ValueError for a batch.

    Examples
    --------
    >>> import vorn
    >>> clusters = [[0, 0], [0, 1], [10, 10], [10, 11], [5, 5]]
    >>> vorn.sample_centroid_kmedoids(clusters, 3, seed=1)
    array([4, 3, 0])
    >>> vorn.sample_centroid_kmedoids(clusters, 3, seed=1, return_labels=True).labels
    array([2, 2, 1, 1, 0])
    """
    count, seed = as_index(count, "count"), as_seed(seed)
    iterations = as_index(max_iterations, "max_iterations")
    caller, args = "sample_centroid_kmedoids", (count, seed, iterations)
    if not return_labels:
        kernel = _core._sample_centroid_kmedoids_array  # pyright: ignore[reportPrivateUsage]
        return sample(caller, kernel, points, check_finite, *args)
    labelled = _core._sample_centroid_kmedoids_labels_array  # pyright: ignore[reportPrivateUsage]
    return KMedoidsResult(*sample_labelled(caller, labelled, points, check_finite, *args))


@overload
def sample_centroid_stratified(
    points: PointsLike,
    count: SupportsIndex,
    *,
    num_strata: SupportsIndex = 8,
    max_iterations: SupportsIndex = 20,
    seed: SeedLike = 0,
    check_finite: bool = True,
    return_labels: Literal[False] = False,
) -> npt.NDArray[np.intp]: ...
@overload
def sample_centroid_stratified(
    points: PointsLike,
    count: SupportsIndex,
    *,
    num_strata: SupportsIndex = 8,
    max_iterations: SupportsIndex = 20,
    seed: SeedLike = 0,
    check_finite: bool = True,
    return_labels: Literal[True],
) -> StratifiedResult: ...
@overload
def sample_centroid_stratified(
    points: PointsLike,
    count: SupportsIndex,
    *,
    num_strata: SupportsIndex = 8,
    max_iterations: SupportsIndex = 20,
    seed: SeedLike = 0,
    check_finite: bool = True,
    return_labels: bool,
) -> npt.NDArray[np.intp] | StratifiedResult: ...


@shared_docs
def sample_centroid_stratified(
    points: PointsLike,
    count: SupportsIndex,
    *,
    num_strata: SupportsIndex = 8,
    max_iterations: SupportsIndex = 20,
    seed: SeedLike = 0,
    check_finite: bool = True,
    return_labels: bool = False,
) -> npt.NDArray[np.intp] | StratifiedResult:
    """The point nearest the centroid, then random points from k-means strata.

    The points are divided into at most `num_strata` strata by k-means; the remaining
    places are shared among the strata in proportion to their sizes, so large clusters give
    more points than small ones.

    Parameters
    ----------
    %(points)s
    count : int
        How many points to choose, >= 0; at most n are returned, and rounding the quotas
        down can return fewer.
    num_strata : int, default 8
        How many strata to form, >= 1 (at most n are formed).
    max_iterations : int, default 20
        The exact number of k-means iterations, >= 0.
    %(seed)s
    %(check_finite)s
    return_labels : bool, default False
        Also give each point's stratum (one cloud only). The strata are formed a second
        time for it, which about doubles the time of the call.

    Returns
    -------
    numpy.ndarray of numpy.intp, shape (at most min(n, count),)
        Distinct row indices into `points` in the order chosen, the point nearest the
        centroid first.
        %(batch_rows)s
    StratifiedResult
        With `return_labels`: these indices, the same bits, and each point's stratum.

    %(sampler_raises)s, a `num_strata` below 1 and a
        `max_iterations` below 0; with `return_labels`, ValueError for a batch.

    Examples
    --------
    >>> import numpy as np, vorn
    >>> cloud = np.random.default_rng(0).normal(size=(1000, 2))
    >>> vorn.sample_centroid_stratified(cloud, 5, num_strata=4, seed=3)
    array([462,  99, 705, 997, 368])
    """
    count, seed = as_index(count, "count"), as_seed(seed)
    strata = as_index(num_strata, "num_strata", minimum=1)
    iterations = as_index(max_iterations, "max_iterations")
    caller, args = "sample_centroid_stratified", (count, seed, strata, iterations)
    if not return_labels:
        kernel = _core._sample_centroid_stratified_array  # pyright: ignore[reportPrivateUsage]
        return sample(caller, kernel, points, check_finite, *args)
    labelled = _core._sample_centroid_stratified_labels_array  # pyright: ignore[reportPrivateUsage]
    return StratifiedResult(*sample_labelled(caller, labelled, points, check_finite, *args))
