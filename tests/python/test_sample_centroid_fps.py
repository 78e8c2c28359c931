"""Farthest-point sampling from the point nearest the centroid."""

import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import vorn


def literal_fps(points, count):
    # The procedure spelt out: rooted distances, equal maxima to the highest index.
    n = len(points)
    if n == 0 or count == 0:
        return []
    dist = lambda a, b: math.sqrt(sum((x - y) * (x - y) for x, y in zip(a, b)))
    centroid = [sum(p[j] for p in points) / n for j in range(len(points[0]))]
    first = 0
    for i in range(1, n):
        if dist(points[first], centroid) > dist(points[i], centroid):
            first = i
    chosen = [first]
    nearest = [dist(p, points[first]) for p in points]
    while len(chosen) < min(n, count):
        k = 0
        for i in range(1, n):
            if nearest[k] <= nearest[i]:
                k = i
        chosen.append(k)
        nearest = [min(nearest[i], dist(points[i], points[k])) for i in range(n)]
    return chosen


@pytest.mark.parametrize(
    "points, count, expected",
    [
        ([[0, 0], [1, 0], [2, 0]], 3, [1, 2, 0]),
        ([[0, 0], [0, 0], [1, 0]], 3, [0, 2, 2]),
        ([[1, 0], [0, 0], [0, 0]], 3, [1, 0, 2]),
        ([[0], [1], [1e300], [-1e300]], 3, [0, 3, 2]),
        ([[0, 0], [1, 0], [2, 0]], 1, [1]),
        ([[math.nan, math.inf]], 2, [0]),
        ([[1.0]], 0, []),
        ([], 4, []),
    ],
    ids=["highest-of-equal-maxima", "repeats-last-index", "distinct-when-unchosen",
         "infinite-distances-tie", "count-one", "single-non-finite-point", "count-zero",
         "no-points"],
)
def test_worked_examples(points, count, expected):
    assert vorn.sample_centroid_fps(points, count, 0) == expected


@settings(max_examples=80, deadline=None)
@given(
    n=st.integers(1, 40),
    d=st.sampled_from([1, 2, 3, 5]),
    grid=st.sampled_from([1, 3, 1000]),
    count=st.integers(1, 45),
    data=st.data(),
)
def test_equals_the_plain_procedure_and_ignores_the_seed(n, d, grid, count, data):
    coords = data.draw(st.lists(st.integers(0, grid), min_size=n * d, max_size=n * d))
    points = (np.array(coords, dtype=float) / 7.0).reshape(n, d)
    expected = literal_fps(points.tolist(), count)
    assert vorn.sample_centroid_fps_numpy(points, count, 0) == expected
    assert vorn.sample_centroid_fps_numpy(points, count, 2**64 - 1) == expected
    # Both input forms, and a strided view of the same values.
    assert vorn.sample_centroid_fps(points.tolist(), count, 5) == expected
    wide = np.zeros((n, 2 * d))
    wide[:, ::2] = points
    assert vorn.sample_centroid_fps_numpy(wide[:, ::2], count, 5) == expected


def test_distinct_positions_give_a_permutation(rng):
    points = rng.random((257, 3))
    got = vorn.sample_centroid_fps_numpy(points, 300, 0)
    assert sorted(got) == list(range(257))


def vectorised_literal_fps(a, count):
    # Same arithmetic as the plain procedure for d = 3, a whole column at a time.
    def dist(b):
        v = a - b
        return np.sqrt((v[:, 0] * v[:, 0] + v[:, 1] * v[:, 1]) + v[:, 2] * v[:, 2])

    centroid = np.zeros(3)
    for p in a:
        centroid = centroid + p
    centroid = centroid / len(a)
    to_centroid = dist(centroid)
    chosen = [int(np.flatnonzero(to_centroid == to_centroid.min())[0])]
    nearest = dist(a[chosen[0]])
    while len(chosen) < count:
        k = len(a) - 1 - int(nearest[::-1].argmax())  # the last of equal maxima
        chosen.append(k)
        nearest = np.minimum(nearest, dist(a[k]))
    return chosen


@pytest.mark.parametrize("grid", [None, 6, 40], ids=["random", "coarse-grid", "fine-grid"])
def test_large_clouds_equal_the_plain_procedure(rng, grid):
    a = rng.random((6000, 3)) if grid is None else rng.integers(0, grid, (6000, 3)) / 3.0
    a[:, 2] *= 1e-3  # flat clouds leave most boxes far from a new centre
    assert vorn.sample_centroid_fps_numpy(a, 400, 0) == vectorised_literal_fps(a, 400)
