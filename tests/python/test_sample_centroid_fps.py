"""Farthest-point sampling from the point nearest the centroid."""

import math

import numpy as np
import pytest

from vorn import _core

WORKED = {
    "highest-of-equal-maxima": ([[0, 0], [1, 0], [2, 0]], 3, [1, 2, 0]),
    "repeats-last-index": ([[0, 0], [0, 0], [1, 0]], 3, [0, 2, 2]),
    "distinct-when-unchosen": ([[1, 0], [0, 0], [0, 0]], 3, [1, 0, 2]),
    "infinite-distances-tie": ([[0], [1], [1e300], [-1e300]], 3, [0, 3, 2]),
    "single-non-finite-point": ([[math.nan, math.inf]], 2, [0]),
    "count-zero": ([[1.0]], 0, []),
    "no-points": ([], 4, []),
}


@pytest.mark.parametrize("points, count, expected", WORKED.values(), ids=WORKED.keys())
def test_worked_examples(points, count, expected):
    assert _core.sample_centroid_fps(points, count, 0) == expected


@pytest.mark.parametrize("d", [3, 64], ids=["tree", "many-coordinates"])
def test_seed_and_input_form_change_nothing(rng, d):
    a = rng.integers(0, 6, (3000, d)) / 7.0  # ties everywhere, and many buckets or groups
    expected = _core.sample_centroid_fps_numpy(a, 300, 0)
    assert _core.sample_centroid_fps_numpy(a, 300, 2**64 - 1) == expected
    assert _core.sample_centroid_fps(a.tolist(), 300, 5) == expected
    assert _core.sample_centroid_fps_numpy(np.repeat(a, 2, axis=1)[:, ::2], 300, 5) == expected
