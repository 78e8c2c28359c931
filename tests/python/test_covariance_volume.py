"""Covariance-determinant volume."""

import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from hypothesis.extra import numpy as hnp

import vorn


@pytest.mark.parametrize(
    "points, volume",
    [
        ([], 0.0),
        ([[1.0, 2.0, 3.0]], 0.0),
        ([[0.0], [2.0]], math.sqrt(2.0 + 1e-8)),
        ([[5.0], [5.0], [5.0]], math.sqrt(1e-8)),
        ([[0, 0], [2, 0], [0, 2], [2, 2]], 4.0 / 3.0 + 1e-8),
    ],
    ids=["empty", "one-point", "two-1d", "identical-1d", "square"],
)
def test_worked_values(points, volume):
    assert vorn.covariance_volume(points) == volume
    array = np.array(points, dtype=float) if points else np.empty((0, 3))
    assert vorn.covariance_volume_numpy(array) == volume


@pytest.mark.parametrize(
    "points, volume",
    [
        ([[0.0], [2.0]], 1.414213565908629),
        ([[5.0], [5.0]], 1e-4),
        ([[5.0, -1.0]] * 3, 1e-8),
        ([[0, 0], [2, 0], [0, 2], [2, 2]], 1.3333333433333332),
    ],
    ids=["two-1d", "identical-1d", "identical-2d", "square"],
)
def test_approximate_values(points, volume):
    assert vorn.covariance_volume(points) == pytest.approx(volume, rel=1e-7)


@pytest.mark.parametrize(
    "points",
    [[[0, 0, 0], [1, 1, 1], [2, 2, 2]], [[0, 0, 0], [1, 0, 0], [0, 1, 0], [1, 1, 0]], [[0] * 5, [1] * 5]],
    ids=["collinear", "coplanar", "fewer-points-than-dimensions"],
)
def test_singular_covariance_is_small_but_not_zero(points):
    assert 0.0 < vorn.covariance_volume(points) < 1e-4  # only the ridge keeps it from 0


@pytest.mark.parametrize("d", [4, 5, 6, 9, 64])
def test_agrees_with_numpy_covariance(d, rng):
    a = rng.standard_normal((3000, d)) * rng.uniform(0.5, 2.0, size=d) + 10.0
    want = np.sqrt(abs(np.linalg.det(np.cov(a, rowvar=False) + 1e-8 * np.eye(d))))
    assert vorn.covariance_volume_numpy(a) == pytest.approx(want, rel=1e-10)


def test_non_finite_coordinates_propagate():
    assert math.isnan(vorn.covariance_volume([[0.0, 1.0], [math.nan, 2.0], [1.0, 0.0]]))
    assert math.isnan(vorn.covariance_volume([[0.0, 1.0], [math.inf, 2.0], [1.0, 0.0]]))


@settings(max_examples=60, deadline=None)
@given(hnp.arrays(np.float64, hnp.array_shapes(min_dims=2, max_dims=2, max_side=12),
                  elements=st.floats(-1e6, 1e6)))
def test_both_forms_give_identical_bits(a):
    ours = vorn.covariance_volume_numpy(a)
    assert np.array(ours).tobytes() == np.array(vorn.covariance_volume(a.tolist())).tobytes()
    assert np.array(ours).tobytes() == np.array(vorn.covariance_volume_numpy(np.asfortranarray(a))).tobytes()
