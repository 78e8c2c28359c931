"""The four size measures of a point cloud, each one float (one per cloud of a batch)."""

from __future__ import annotations

import math
import warnings
from typing import TYPE_CHECKING, Any, Union

from vorn import _core
from vorn._dispatch import measure
from vorn._docs import shared_docs
from vorn._typing import PointsLike, as_measure

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt

MeasureResult = Union[float, "npt.NDArray[np.float64]"]


@as_measure
def bbox_volume(points: PointsLike, *, check_finite: bool = True) -> MeasureResult:
    """Volume of the axis-aligned bounding box: the product of the axis extents.

    Parameters
    ----------
    points : array_like, shape (n, d) or (B, n, d)
        One row per point, d >= 1: an array of any real dtype, byte order and strides, or
        anything ``numpy.asarray`` reads as one (a DataFrame, a CPU tensor, a list of lists,
        tuples or NumPy rows). Converted to float64 once; a float64 array is read in place.
        A 3-d array is a batch of B clouds of n points each.
    check_finite : bool, default True
        Reject NaN and infinite coordinates. Skipping the check saves one pass over the
        data; a non-finite coordinate then gives an unspecified result.

    Returns
    -------
    float
        The product of (max - min) over the d axes; 0.0 for fewer than two points.
        For a batch, a float64 array of shape (B,): the value of each cloud, with the bits
        of B separate calls, computed on threads (every measure does so).

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
    >>> import numpy as np
    >>> vorn.bbox_volume(np.array([[[0, 0], [1, 2]], [[0, 0], [3, 1]]]))  # two clouds
    array([2., 3.])
    """
    return measure("bbox_volume", _core._bbox_volume_array, points, check_finite)  # pyright: ignore[reportPrivateUsage]


@as_measure
@shared_docs
def hull_volume(points: PointsLike, *, check_finite: bool = True) -> MeasureResult:
    """Volume (3-d) or area (2-d) of the convex hull, computed in single precision.

    The hull is that of the points rounded to float32; the result is within 2^-10 (about
    1e-3) below and 8e-6 above the exact hull of those points (see the README).

    %(measure_parameters)s

    Returns
    -------
    float
        The hull's volume or area; 0.0 for other dimensions and for hulls with no volume
        (area) beyond rounding; inf when the size exceeds the float32 range.

    %(measure_raises)s

    Warns
    -----
    RuntimeWarning
        Rounding the points to float32 moves them by more than 1e-3 of the cloud's extent
        (a cloud far from its origin): subtract the centre first.

    Examples
    --------
    >>> import vorn
    >>> vorn.hull_volume([[0, 0], [2, 0], [2, 1], [0, 1], [1, 0.5]])
    2.0
    """
    return measure("hull_volume", _hull_volume_of_cloud, points, check_finite)


def _hull_volume_of_cloud(array: Any) -> float:
    _warn_if_rounding_moves_points(array)
    return _core._hull_volume_array(array)  # pyright: ignore[reportPrivateUsage]


def _warn_if_rounding_moves_points(array: Any) -> None:
    """Warns when rounding the hull's coordinates to float32 moves a point by more than 1e-3 of
    the cloud's largest extent, which happens to clouds far from the origin."""
    n, d = array.shape
    if n == 0 or d not in (2, 3):
        return
    # NumPy reduces an array of a few columns along its rows ten times slower than column by
    # column, and a small cloud is quicker still as Python floats.
    if n <= 64:
        columns = array.T.tolist()
        lo, hi = [min(c) for c in columns], [max(c) for c in columns]
    else:
        lo = [float(array[:, j].min()) for j in range(d)]
        hi = [float(array[:, j].max()) for j in range(d)]
    if not all(map(math.isfinite, lo + hi)):
        return
    extent = max(top - low for low, top in zip(lo, hi))
    magnitude = max(map(abs, lo + hi))
    # float32 moves a coordinate by at most 2^-24 of its magnitude: test exactly only then.
    if not extent > 0 or magnitude * 2.0**-24 <= 1e-3 * extent:
        return
    move = float(abs(array.astype("float32").astype("float64") - array).max())
    if move > 1e-3 * extent:
        offset = max(abs((top + low) / 2) for low, top in zip(lo, hi))
        warnings.warn(
            f"hull_volume: the cloud's centre lies {offset:.3g} from the origin, and rounding the "
            f"points to single precision moves them by up to {move:.3g} ({move / extent:.1e} of "
            "the cloud's extent); subtract the centre first, e.g. points - points.mean(axis=0)",
            RuntimeWarning,
            stacklevel=6,  # the caller of hull_volume, through measure and call_core
        )


@as_measure
@shared_docs
def covariance_volume(points: PointsLike, *, check_finite: bool = True) -> MeasureResult:
    """Square root of the determinant of the sample covariance plus 1e-8 on its diagonal.

    %(measure_parameters)s

    Returns
    -------
    float
        sqrt(det(C + 1e-8 I)) for the sample covariance C (divided by n - 1); 0.0 for
        fewer than two points.

    %(measure_raises)s

    Examples
    --------
    >>> import vorn
    >>> round(vorn.covariance_volume([[0, 0], [2, 0], [0, 2], [2, 2]]), 6)
    1.333333
    """
    return measure("covariance_volume", _core._covariance_volume_array, points, check_finite)  # pyright: ignore[reportPrivateUsage]


@as_measure
def covariance_log_volume(points: PointsLike, *, check_finite: bool = True) -> MeasureResult:
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
    return measure(
        "covariance_log_volume",
        _core._covariance_log_volume_array,  # pyright: ignore[reportPrivateUsage]
        points,
        check_finite,
    )


@as_measure
@shared_docs
def mean_dispersion(points: PointsLike, *, check_finite: bool = True) -> MeasureResult:
    """Mean Euclidean distance over all pairs of points.

    %(measure_parameters)s

    Returns
    -------
    float
        The mean of the n (n - 1) / 2 pairwise distances; 0.0 for fewer than two points.

    %(measure_raises)s

    Examples
    --------
    >>> import vorn
    >>> vorn.mean_dispersion([[0, 0], [3, 4], [0, 0]])
    3.3333333333333335
    """
    return measure("mean_dispersion", _core._mean_dispersion_array, points, check_finite)  # pyright: ignore[reportPrivateUsage]
