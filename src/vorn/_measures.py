"""The four size measures of a point cloud, each one float."""

from __future__ import annotations

from vorn import _core
from vorn._checks import as_points
from vorn._typing import PointsLike


def bbox_volume(points: PointsLike, *, check_finite: bool = True) -> float:
    """Volume of the axis-aligned bounding box: the product of the axis extents.

    Parameters
    ----------
    points : array_like, shape (n, d)
        One row per point, d >= 1: an array of any real dtype, byte order and strides, or
        anything ``numpy.asarray`` reads as one (a DataFrame, a CPU tensor, a list of lists,
        tuples or NumPy rows). Converted to float64 once; a float64 array is read in place.
    check_finite : bool, default True
        Reject NaN and infinite coordinates. Skipping the check saves one pass over the
        data; a non-finite coordinate then gives an unspecified result.

    Returns
    -------
    float
        The product of (max - min) over the d axes; 0.0 for fewer than two points.

    Raises
    ------
    TypeError
        `points` does not hold real numbers.
    ValueError
        `points` is not 2-d, has no columns, or has a non-finite coordinate.
    ImportError
        NumPy is not installed.

    Examples
    --------
    >>> import vorn
    >>> vorn.bbox_volume([[0, 0, 0], [2, 1, 0.5], [1, 3, 0]])
    3.0
    """
    return _core.bbox_volume_numpy(as_points(points, check_finite, "bbox_volume"))


def hull_volume(points: PointsLike, *, check_finite: bool = True) -> float:
    """Volume (3-d) or area (2-d) of the convex hull, computed in single precision.

    Nearly coplanar hull faces are merged before the volume is summed, so the result can
    fall short of the exact hull by a few parts in a thousand.

    Parameters
    ----------
    points : array_like, shape (n, d)
        One row per point; see `bbox_volume`.
    check_finite : bool, default True
        Reject NaN and infinite coordinates.

    Returns
    -------
    float
        The hull's volume or area; 0.0 for other dimensions and for degenerate hulls.

    Raises
    ------
    TypeError, ValueError, ImportError
        As `bbox_volume`.

    Examples
    --------
    >>> import vorn
    >>> vorn.hull_volume([[0, 0], [2, 0], [2, 1], [0, 1], [1, 0.5]])
    2.0
    """
    return _core.hull_volume_numpy(as_points(points, check_finite, "hull_volume"))


def covariance_volume(points: PointsLike, *, check_finite: bool = True) -> float:
    """Square root of the determinant of the sample covariance plus 1e-8 on its diagonal.

    Parameters
    ----------
    points : array_like, shape (n, d)
        One row per point; see `bbox_volume`.
    check_finite : bool, default True
        Reject NaN and infinite coordinates.

    Returns
    -------
    float
        sqrt(det(C + 1e-8 I)) for the sample covariance C (divided by n - 1); 0.0 for
        fewer than two points.

    Raises
    ------
    TypeError, ValueError, ImportError
        As `bbox_volume`.

    Examples
    --------
    >>> import vorn
    >>> round(vorn.covariance_volume([[0, 0], [2, 0], [0, 2], [2, 2]]), 6)
    1.333333
    """
    return _core.covariance_volume_numpy(as_points(points, check_finite, "covariance_volume"))


def covariance_log_volume(points: PointsLike, *, check_finite: bool = True) -> float:
    """Natural logarithm of `covariance_volume`, finite where that underflows to 0.0.

    The determinant is the product of d pivots of the same factorisation, each near the
    variance along one direction, so `covariance_volume` underflows to 0.0 once those
    variances multiply below about 1e-308 (or 4.9e-324 as a subnormal): unit vectors in a
    few hundred dimensions, say, where every variance is about 1/d. Here the product keeps
    its power of two apart from its significand, and the logarithm is computed by vorn
    itself, from additions, multiplications and one division, so that it gives the same bits
    on every platform (a C library's ``log`` need not). Parameters and exceptions are those
    of `covariance_volume`.

    Returns
    -------
    float
        ln sqrt(det(C + 1e-8 I)); equal to ``math.log(covariance_volume(points))`` up to
        rounding wherever that is neither 0.0 nor infinite; -inf for fewer than two points.

    Examples
    --------
    >>> import numpy as np, vorn
    >>> units = np.random.default_rng(0).normal(size=(3000, 768))
    >>> units /= np.linalg.norm(units, axis=1, keepdims=True)
    >>> vorn.covariance_volume(units)
    0.0
    >>> round(vorn.covariance_log_volume(units))
    -2605
    """
    return _core._covariance_log_volume_numpy(
        as_points(points, check_finite, "covariance_log_volume")
    )


def mean_dispersion(points: PointsLike, *, check_finite: bool = True) -> float:
    """Mean Euclidean distance over all pairs of points.

    Parameters
    ----------
    points : array_like, shape (n, d)
        One row per point; see `bbox_volume`.
    check_finite : bool, default True
        Reject NaN and infinite coordinates.

    Returns
    -------
    float
        The mean of the n (n - 1) / 2 pairwise distances; 0.0 for fewer than two points.

    Raises
    ------
    TypeError, ValueError, ImportError
        As `bbox_volume`.

    Examples
    --------
    >>> import vorn
    >>> vorn.mean_dispersion([[0, 0], [3, 4], [0, 0]])
    3.3333333333333335
    """
    return _core.mean_dispersion_numpy(as_points(points, check_finite, "mean_dispersion"))
