"""Bounding-box volume and mean dispersion."""

import math

import pytest
import scipy.spatial.distance

from vorn import _core

nan, inf = math.nan, math.inf


@pytest.mark.parametrize(
    "points, volume",
    [
        ([], 0.0),
        ([[5.0, -1.0, 2.0]], 0.0),
        ([[0, 0], [1, 2]], 2.0),
        ([[0], [3]], 3.0),
        ([[0, 0, 0], [1, 2, 3], [-1, 0, 1]], 12.0),
        ([[0, 0], [1, 0]], 0.0),
        ([[nan, 0], [1, 1], [2, 3]], nan),
        ([[0, 0], [nan, 1], [2, 3]], 6.0),
        ([[inf, 0], [inf, 1]], nan),
        ([[-inf, 0], [inf, 1]], inf),
    ],
    ids=[
        "empty",
        "one-point",
        "2d",
        "1d",
        "3d",
        "collinear",
        "nan-in-first-point",
        "nan-later-ignored",
        "all-inf-axis",
        "infinite-extent",
    ],
)
def test_bbox_volume(points, volume):
    got = _core.bbox_volume(points)
    assert got == volume or (math.isnan(volume) and math.isnan(got))


@pytest.mark.parametrize(
    "points, mean",
    [
        ([], 0.0),
        ([[1.0, 2.0]], 0.0),
        ([[1.0, 2.0]] * 5, 0.0),
        ([[0, 0], [3, 4]], 5.0),
        ([[0], [1], [3]], 2.0),
        ([[0.0], [nan]], nan),
        ([[0.0], [inf], [1.0]], inf),
        ([[-inf], [inf]], inf),
        ([[inf], [inf]], nan),
        ([[2e154], [-2e154]], inf),
    ],
    ids=[
        "empty",
        "one-point",
        "identical",
        "3-4-5",
        "1d",
        "nan",
        "inf",
        "opposite-infs",
        "equal-infs",
        "square-overflows",
    ],
)
def test_mean_dispersion(points, mean):
    got = _core.mean_dispersion(points)
    assert got == mean or (math.isnan(mean) and math.isnan(got))


def literal_dispersion(points):
    # Pair order (i, j > i), eight partial sums for full blocks of eight, then the tail.
    total = 0.0
    n = len(points)
    for i in range(n - 1):
        for j in range(i + 1, n):
            v = [a - b for a, b in zip(points[i], points[j])]
            d = len(v)
            r, t = 0.0, 0
            if d >= 8:
                s = [0.0] * 8
                for b in range(d // 8):
                    for k in range(8):
                        s[k] += v[8 * b + k] * v[8 * b + k]
                r = s[0] + s[4]
                r += s[1] + s[5]
                r += s[2] + s[6]
                r += s[3] + s[7]
                t = d // 8 * 8
            for k in range(t, d):
                r += v[k] * v[k]
            total += math.sqrt(r)
    return total / (n * (n - 1) // 2)


@pytest.mark.parametrize("d", [1, 2, 3, 5, 7, 8, 9, 16, 19])
def test_mean_dispersion_follows_the_literal_order(d, rng):
    points = (rng.standard_normal((40, d)) * 10.0 ** rng.integers(-3, 4, size=d)).tolist()
    assert _core.mean_dispersion(points) == literal_dispersion(points)


def test_mean_dispersion_agrees_with_pairwise_distances(rng):
    a = rng.standard_normal((300, 3))
    assert _core.mean_dispersion_numpy(a) == pytest.approx(
        scipy.spatial.distance.pdist(a).mean(), rel=1e-12
    )


def test_bbox_volume_agrees_with_extents(rng):
    a = rng.standard_normal((1000, 4))
    extents = a.max(axis=0) - a.min(axis=0)
    assert _core.bbox_volume_numpy(a) == ((extents[0] * extents[1]) * extents[2]) * extents[3]
