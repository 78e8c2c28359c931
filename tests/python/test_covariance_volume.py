"""Covariance-determinant volume."""

import math

import numpy as np
import pytest

from vorn import _core

WORKED = {  # the exact value, and its decimal to check the formula behind it
    "empty": ([], 0.0, 0.0),
    "one-point": ([[1.0, 2.0, 3.0]], 0.0, 0.0),
    "two-1d": ([[0.0], [2.0]], math.sqrt(2.0 + 1e-8), 1.414213565908629),
    "identical-1d": ([[5.0], [5.0], [5.0]], math.sqrt(1e-8), 1e-4),
    "identical-2d": ([[5.0, -1.0]] * 3, math.sqrt(1e-8 * 1e-8), 1e-8),
    "square": ([[0, 0], [2, 0], [0, 2], [2, 2]], 4.0 / 3.0 + 1e-8, 1.3333333433333332),
}


@pytest.mark.parametrize("points, exact, approx", WORKED.values(), ids=WORKED.keys())
def test_worked_values(points, exact, approx):
    array = np.array(points, dtype=float) if points else np.empty((0, 3))
    assert _core.covariance_volume(points) == _core.covariance_volume_numpy(array) == exact
    assert exact == pytest.approx(approx, rel=1e-15)


@pytest.mark.parametrize("d", [4, 9, 64])
def test_agrees_with_numpy_covariance(d, rng):
    a = rng.standard_normal((3000, d)) * rng.uniform(0.5, 2.0, size=d) + 10.0
    want = np.sqrt(abs(np.linalg.det(np.cov(a, rowvar=False) + 1e-8 * np.eye(d))))
    assert _core.covariance_volume_numpy(a) == pytest.approx(want, rel=1e-10)
