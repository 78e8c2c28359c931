"""Uniform and centroid-uniform sampling: both walk one seeded shuffle of all the indices."""

import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from vorn import _core

SEEDS = st.integers(min_value=0, max_value=2**64 - 1)


def line(n):
    return [[float(i), 0.0] for i in range(n)]


WORKED = {
    "seed42-prefix": (10, 3, 42, [7, 1, 5]),
    "count-above-n": (10, 2**64 - 1, 42, [7, 1, 5, 4, 6, 9, 3, 8, 2, 0]),
    "two-swapped": (2, 2, 0, [1, 0]),
    "two-kept": (2, 2, 3, [0, 1]),
    "one-point": (1, 5, 42, [0]),
    "no-points": (0, 5, 42, []),
    "count-zero": (10, 0, 42, []),
}


@pytest.mark.parametrize("n, count, seed, expected", WORKED.values(), ids=WORKED.keys())
def test_sample_uniform_worked_examples(n, count, seed, expected):
    assert _core.sample_uniform(line(n), count, seed) == expected
    assert _core.sample_uniform_numpy(np.array(line(n)).reshape(n, 2), count, seed) == expected


@settings(max_examples=60, deadline=None)
@given(
    n=st.integers(0, 300), counts=st.lists(st.integers(0, 310), min_size=2, max_size=2), seed=SEEDS
)
def test_sample_uniform_smaller_count_is_a_prefix(n, counts, seed):
    small, large = sorted(counts)
    longer = _core.sample_uniform_numpy(np.zeros((n, 1)), large, seed)
    assert _core.sample_uniform(np.full((n, 1), math.nan).tolist(), small, seed) == longer[:small]
    assert len(set(longer)) == len(longer) == min(n, large) and all(0 <= i < n for i in longer)


@settings(max_examples=60, deadline=None)
@given(n=st.integers(1, 120), count=st.integers(1, 130), seed=SEEDS, data=st.data())
def test_sample_centroid_uniform_is_nearest_then_shuffled_order(n, count, seed, data):
    coords = data.draw(st.lists(st.integers(-3, 3), min_size=2 * n, max_size=2 * n))
    points = np.array(coords, dtype=float).reshape(n, 2)
    got = _core.sample_centroid_uniform_numpy(points, count, seed)
    nearest = _core.sample_centroid_fps_numpy(points, 1, 0)
    shuffled = _core.sample_uniform_numpy(points, n, seed)
    assert got == nearest + [i for i in shuffled if i != nearest[0]][: min(n, count) - 1]
    assert got == _core.sample_centroid_uniform(points.tolist(), count, seed)
