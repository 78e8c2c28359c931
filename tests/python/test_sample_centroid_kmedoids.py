"""K-medoids swap search from the point nearest the centroid."""

import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import vorn


def swap_search(points, medoids, max_iterations):
    # First-improvement search spelt out: full cost per candidate, summed in point order.
    dist = lambda a, b: math.sqrt(sum((x - y) * (x - y) for x, y in zip(a, b)))
    cost = lambda meds: sum(min(dist(p, points[m]) for m in meds) for p in points)
    medoids, swaps = list(medoids), 0
    while True:
        for p in range(1, len(medoids)):
            cur = cost(medoids)
            better = next((x for x in range(len(points)) if x not in medoids
                           and cost(medoids[:p] + [x] + medoids[p + 1:]) < cur), None)
            if better is not None:
                medoids[p] = better
                swaps += 1
                break
        else:
            return medoids
        if swaps == max_iterations:
            return medoids


@settings(max_examples=60, deadline=None)
@given(
    n=st.integers(1, 25),
    d=st.sampled_from([1, 2, 3]),
    grid=st.sampled_from([2, 5, 1000]),
    count=st.integers(0, 28),
    seed=st.integers(0, 2**64 - 1),
    max_iterations=st.sampled_from([1, 2, 7, 2**64 - 1]),
    data=st.data(),
)
def test_search_equals_the_plain_procedure_in_both_forms(n, d, grid, count, seed, max_iterations, data):
    coords = data.draw(st.lists(st.integers(0, grid), min_size=n * d, max_size=n * d))
    points = (np.array(coords, dtype=float) / 3.0).reshape(n, d)
    start = vorn.sample_centroid_kmedoids_numpy(points, count, seed, 0)
    assert len(start) == min(n, count) and len(set(start)) == len(start)
    expected = swap_search(points.tolist(), start, max_iterations)
    assert vorn.sample_centroid_kmedoids_numpy(points, count, seed, max_iterations) == expected
    assert vorn.sample_centroid_kmedoids(points.tolist(), count, seed, max_iterations) == expected


@pytest.mark.parametrize(
    "points, count, max_iterations, expected",
    [
        ([], 3, 5, []),
        ([[1.0, 2.0]], 0, 5, []),
        ([[0.0], [5.0], [1.0]], 1, 9, [2]),
        ([[math.nan]], 4, 9, [0]),
    ],
    ids=["no-points", "count-zero", "count-one-is-nearest-to-centroid", "single-non-finite-point"],
)
def test_small_cases(points, count, max_iterations, expected):
    assert vorn.sample_centroid_kmedoids(points, count, 3, max_iterations) == expected


def test_non_finite_coordinate_panics():
    with pytest.raises(vorn.PanicException, match="called `Option::unwrap\\(\\)` on a `None` value"):
        vorn.sample_centroid_kmedoids([[0.0], [math.inf]], 2, 0, 1)
