"""Covariance-determinant volume."""

import math

import numpy as np
import pytest

import vorn
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


def test_log_volume_is_finite_where_the_volume_underflows(rng):
    units = rng.standard_normal((3000, 768))
    units /= np.linalg.norm(units, axis=1, keepdims=True)
    assert vorn.covariance_volume(units) == 0.0
    _sign, log_det = np.linalg.slogdet(np.cov(units, rowvar=False) + 1e-8 * np.eye(768))
    assert vorn.covariance_log_volume(units) == pytest.approx(0.5 * log_det, rel=1e-9)


@pytest.mark.parametrize("d", [1, 2, 3, 5, 40])
def test_log_volume_is_the_log_of_the_volume(d, rng):
    a = rng.standard_normal((200, d)) * 3.0
    assert vorn.covariance_log_volume(a) == pytest.approx(
        math.log(vorn.covariance_volume(a)), rel=1e-14, abs=1e-14
    )
    assert vorn.covariance_log_volume(a[:1]) == -math.inf
    assert vorn.covariance_log_volume(a.tolist()) == vorn.covariance_log_volume(a)
    assert "_covariance_log_volume_numpy" not in _core.__all__
