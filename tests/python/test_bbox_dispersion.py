"""Bounding-box volume and mean dispersion: non-finite coordinates, overflow and tiny clouds,
through both input forms (the summation order is compared with the literal procedure in the C++
tests)."""

import math

import numpy as np
import pytest

from vorn import _core

nan, inf = math.nan, math.inf

CASES = {
    "bbox-empty": ("bbox_volume", [], 0.0),
    "bbox-one-point": ("bbox_volume", [[5.0, -1.0, 2.0]], 0.0),
    "bbox-1d": ("bbox_volume", [[0], [3]], 3.0),
    "bbox-3d": ("bbox_volume", [[0, 0, 0], [1, 2, 3], [-1, 0, 1]], 12.0),
    "bbox-nan-in-first-point": ("bbox_volume", [[nan, 0], [1, 1], [2, 3]], nan),
    "bbox-nan-later-ignored": ("bbox_volume", [[0, 0], [nan, 1], [2, 3]], 6.0),
    "bbox-all-inf-axis": ("bbox_volume", [[inf, 0], [inf, 1]], nan),
    "bbox-infinite-extent": ("bbox_volume", [[-inf, 0], [inf, 1]], inf),
    "dispersion-empty": ("mean_dispersion", [], 0.0),
    "dispersion-one-point": ("mean_dispersion", [[1.0, 2.0]], 0.0),
    "dispersion-identical": ("mean_dispersion", [[1.0, 2.0]] * 5, 0.0),
    "dispersion-3-4-5": ("mean_dispersion", [[0, 0], [3, 4]], 5.0),
    "dispersion-1d": ("mean_dispersion", [[0], [1], [3]], 2.0),
    "dispersion-nan": ("mean_dispersion", [[0.0], [nan]], nan),
    "dispersion-inf": ("mean_dispersion", [[0.0], [inf], [1.0]], inf),
    "dispersion-opposite-infs": ("mean_dispersion", [[-inf], [inf]], inf),
    "dispersion-equal-infs": ("mean_dispersion", [[inf], [inf]], nan),
    "dispersion-square-overflows": ("mean_dispersion", [[2e154], [-2e154]], inf),
}


@pytest.mark.parametrize("name, points, expected", CASES.values(), ids=CASES.keys())
def test_worked_values(name, points, expected):
    array = np.array(points, dtype=float).reshape(len(points), -1 if points else 3)
    for got in (getattr(_core, name)(points), getattr(_core, name + "_numpy")(array)):
        assert got == expected or (math.isnan(expected) and math.isnan(got))
