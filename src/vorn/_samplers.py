"""The six samplers: each returns the indices of the chosen points as an array of np.intp."""

from __future__ import annotations

from typing import TYPE_CHECKING, SupportsFloat, SupportsIndex

from vorn import _core
from vorn._checks import as_index, as_indices, as_points, as_positive_real
from vorn._typing import PointsLike

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt


def sample_uniform(
    points: PointsLike, count: SupportsIndex, *, seed: SupportsIndex = 0
) -> npt.NDArray[np.intp]:
    """Up to `count` distinct points chosen uniformly at random.

    Only the number of points matters: coordinates are not read, so they are not checked.

    Parameters
    ----------
    points : array_like, shape (n, d)
        One row per point, in any form `bbox_volume` takes.
    count : int
        How many points to choose, >= 0; at most n are returned.
    seed : int, default 0
        Seed of the random choices, 0 <= seed < 2**64. Equal seeds give equal results on
        every platform.

    Returns
    -------
    numpy.ndarray of numpy.intp, shape (min(n, count),)
        Distinct row indices into `points`. A smaller `count` gives a prefix of a larger one.

    Raises
    ------
    TypeError
        `points` does not hold real numbers, or `count` or `seed` is not an integer.
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
    count, seed = as_index(count, "count"), as_index(seed, "seed")
    array = as_points(points, False, "sample_uniform")
    return as_indices(_core._sample_uniform_array(array, count, seed), "sample_uniform")  # pyright: ignore[reportPrivateUsage]


def sample_centroid_uniform(
    points: PointsLike, count: SupportsIndex, *, seed: SupportsIndex = 0, check_finite: bool = True
) -> npt.NDArray[np.intp]:
    """The point nearest the centroid, then points chosen uniformly at random.

    Parameters
    ----------
    points : array_like, shape (n, d)
        One row per point, in any form `bbox_volume` takes.
    count : int
        How many points to choose, >= 0; at most n are returned.
    seed : int, default 0
        Seed of the random choices, 0 <= seed < 2**64.
    check_finite : bool, default True
        Reject NaN and infinite coordinates.

    Returns
    -------
    numpy.ndarray of numpy.intp, shape (min(n, count),)
        Distinct row indices into `points`, the point nearest the centroid first.

    Raises
    ------
    TypeError, ValueError, ImportError
        As `sample_uniform`; also for a non-finite coordinate.

    Examples
    --------
    >>> import numpy as np, vorn
    >>> line = np.arange(10.0).reshape(10, 1)
    >>> vorn.sample_centroid_uniform(line, 4, seed=42)
    array([4, 7, 1, 5])
    """
    count, seed = as_index(count, "count"), as_index(seed, "seed")
    array = as_points(points, check_finite, "sample_centroid_uniform")
    chosen = _core._sample_centroid_uniform_array(array, count, seed)  # pyright: ignore[reportPrivateUsage]
    return as_indices(chosen, "sample_centroid_uniform")


def sample_centroid_fps(
    points: PointsLike, count: SupportsIndex, *, check_finite: bool = True
) -> npt.NDArray[np.intp]:
    """Farthest-point sampling from the point nearest the centroid.

    Each further point is the one farthest from all points chosen so far (the last of equal
    distances). No random choice is made, so there is no seed.

    Parameters
    ----------
    points : array_like, shape (n, d)
        One row per point, in any form `bbox_volume` takes.
    count : int
        How many points to choose, >= 0; at most n are returned.
    check_finite : bool, default True
        Reject NaN and infinite coordinates.

    Returns
    -------
    numpy.ndarray of numpy.intp, shape (min(n, count),)
        Row indices into `points` in the order chosen. An index repeats only once every
        point coincides with a chosen one.

    Raises
    ------
    TypeError, ValueError, ImportError
        As `sample_uniform`; also for a non-finite coordinate.

    Examples
    --------
    >>> import vorn
    >>> vorn.sample_centroid_fps([[0, 0], [1, 0], [1, 1], [0, 1]], 2)
    array([0, 2])
    """
    count = as_index(count, "count")
    array = as_points(points, check_finite, "sample_centroid_fps")
    return as_indices(_core._sample_centroid_fps_array(array, count, 0), "sample_centroid_fps")  # pyright: ignore[reportPrivateUsage]


def sample_centroid_voxel(
    points: PointsLike,
    count: SupportsIndex,
    *,
    voxel_size: SupportsFloat,
    seed: SupportsIndex = 0,
    check_finite: bool = True,
) -> npt.NDArray[np.intp]:
    """The point nearest the centroid, then one random point per occupied voxel.

    Space is cut into cubic cells of edge `voxel_size`; the occupied cells are visited in
    random order, each giving one random member. Random points fill any places left.

    Parameters
    ----------
    points : array_like, shape (n, d)
        One row per point, in any form `bbox_volume` takes.
    count : int
        How many points to choose, >= 0; at most n are returned.
    voxel_size : float
        Edge length of a cell, finite and greater than 0.
    seed : int, default 0
        Seed of the random choices, 0 <= seed < 2**64.
    check_finite : bool, default True
        Reject NaN and infinite coordinates.

    Returns
    -------
    numpy.ndarray of numpy.intp, shape (min(n, count),)
        Distinct row indices into `points` in the order chosen, the point nearest the
        centroid first.

    Raises
    ------
    TypeError, ValueError, ImportError
        As `sample_uniform`; also for a non-finite coordinate and a `voxel_size` that is
        not a finite number above 0.

    Examples
    --------
    >>> import numpy as np, vorn
    >>> line = np.arange(10.0).reshape(10, 1)
    >>> vorn.sample_centroid_voxel(line, 3, voxel_size=5.0, seed=7)
    array([4, 1, 5])
    """
    count, seed = as_index(count, "count"), as_index(seed, "seed")
    voxel_size = as_positive_real(voxel_size, "voxel_size")
    array = as_points(points, check_finite, "sample_centroid_voxel")
    chosen = _core._sample_centroid_voxel_array(array, count, seed, voxel_size)  # pyright: ignore[reportPrivateUsage]
    return as_indices(chosen, "sample_centroid_voxel")


def sample_centroid_kmedoids(
    points: PointsLike,
    count: SupportsIndex,
    *,
    max_iterations: SupportsIndex = 100,
    seed: SupportsIndex = 0,
    check_finite: bool = True,
) -> npt.NDArray[np.intp]:
    """Medoids by greedy swaps, the first being the point nearest the centroid.

    The others start as a random choice; a medoid is swapped for another point whenever
    that lowers the total distance from every point to its nearest medoid.

    Parameters
    ----------
    points : array_like, shape (n, d)
        One row per point, in any form `bbox_volume` takes.
    count : int
        How many medoids to choose, >= 0; at most n are returned.
    max_iterations : int, default 100
        The largest number of swaps, >= 0.
    seed : int, default 0
        Seed of the random start, 0 <= seed < 2**64.
    check_finite : bool, default True
        Reject NaN and infinite coordinates.

    Returns
    -------
    numpy.ndarray of numpy.intp, shape (min(n, count),)
        Distinct row indices into `points`, the point nearest the centroid first.

    Raises
    ------
    TypeError, ValueError, ImportError
        As `sample_uniform`; also for a non-finite coordinate and a `max_iterations` below 0.

    Examples
    --------
    >>> import vorn
    >>> clusters = [[0, 0], [0, 1], [10, 10], [10, 11], [5, 5]]
    >>> vorn.sample_centroid_kmedoids(clusters, 3, seed=1)
    array([4, 3, 0])
    """
    count, seed = as_index(count, "count"), as_index(seed, "seed")
    max_iterations = as_index(max_iterations, "max_iterations")
    array = as_points(points, check_finite, "sample_centroid_kmedoids")
    chosen = _core._sample_centroid_kmedoids_array(array, count, seed, max_iterations)  # pyright: ignore[reportPrivateUsage]
    return as_indices(chosen, "sample_centroid_kmedoids")


def sample_centroid_stratified(
    points: PointsLike,
    count: SupportsIndex,
    *,
    num_strata: SupportsIndex = 8,
    max_iterations: SupportsIndex = 20,
    seed: SupportsIndex = 0,
    check_finite: bool = True,
) -> npt.NDArray[np.intp]:
    """The point nearest the centroid, then random points from k-means strata.

    The points are divided into at most `num_strata` strata by k-means; the remaining
    places are shared among the strata in proportion to their sizes, so large clusters give
    more points than small ones.

    Parameters
    ----------
    points : array_like, shape (n, d)
        One row per point, in any form `bbox_volume` takes.
    count : int
        How many points to choose, >= 0; at most n are returned, and rounding the quotas
        down can return fewer.
    num_strata : int, default 8
        How many strata to form, >= 1 (at most n are formed).
    max_iterations : int, default 20
        The exact number of k-means iterations, >= 0.
    seed : int, default 0
        Seed of the random choices, 0 <= seed < 2**64.
    check_finite : bool, default True
        Reject NaN and infinite coordinates.

    Returns
    -------
    numpy.ndarray of numpy.intp, shape (at most min(n, count),)
        Distinct row indices into `points` in the order chosen, the point nearest the
        centroid first.

    Raises
    ------
    TypeError, ValueError, ImportError
        As `sample_uniform`; also for a non-finite coordinate, a `num_strata` below 1 and a
        `max_iterations` below 0.

    Examples
    --------
    >>> import numpy as np, vorn
    >>> cloud = np.random.default_rng(0).normal(size=(1000, 2))
    >>> vorn.sample_centroid_stratified(cloud, 5, num_strata=4, seed=3)
    array([462,  99, 705, 997, 368])
    """
    count, seed = as_index(count, "count"), as_index(seed, "seed")
    num_strata = as_index(num_strata, "num_strata", minimum=1)
    max_iterations = as_index(max_iterations, "max_iterations")
    array = as_points(points, check_finite, "sample_centroid_stratified")
    chosen = _core._sample_centroid_stratified_array(array, count, seed, num_strata, max_iterations)  # pyright: ignore[reportPrivateUsage]
    return as_indices(chosen, "sample_centroid_stratified")
