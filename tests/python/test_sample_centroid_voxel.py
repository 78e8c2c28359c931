"""One shuffled point per occupied voxel, after the point nearest the centroid."""

import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import vorn


@settings(max_examples=60, deadline=None)
@given(
    n=st.integers(1, 60),
    d=st.sampled_from([1, 2, 3]),
    count=st.integers(1, 70),
    seed=st.integers(0, 2**64 - 1),
    voxel_size=st.sampled_from([0.3, 1.0, 0.0, -0.5, math.nan, math.inf, 1e-300]),
    data=st.data(),
)
def test_same_list_from_both_forms_and_every_call(n, d, count, seed, voxel_size, data):
    coords = data.draw(st.lists(st.integers(-8, 8), min_size=n * d, max_size=n * d))
    points = (np.array(coords, dtype=float) / 4.0).reshape(n, d)
    got = vorn.sample_centroid_voxel_numpy(points, count, seed, voxel_size)
    assert len(got) == min(n, count) and len(set(got)) == len(got)
    assert vorn.sample_centroid_voxel(points.tolist(), count, seed, voxel_size) == got
    assert vorn.sample_centroid_voxel_numpy(points, count, seed, voxel_size) == got
    wide = np.zeros((n, 2 * d))
    wide[:, ::2] = points
    assert vorn.sample_centroid_voxel_numpy(wide[:, ::2], count, seed, voxel_size) == got


def test_count_at_least_n_lists_every_index_nearest_first(rng):
    points = rng.random((50, 3))
    got = vorn.sample_centroid_voxel_numpy(points, 80, 1, 0.25)
    assert sorted(got) == list(range(50))
    assert got[0] == vorn.sample_centroid_voxel_numpy(points, 1, 1, 0.25)[0]


@pytest.mark.parametrize("voxel_size", [1, True, np.float32(0.5)], ids=["int", "bool", "numpy-float32"])
def test_voxel_size_takes_what_float_accepts(voxel_size):
    assert len(vorn.sample_centroid_voxel([[0.0], [1.0], [2.0]], 3, 0, voxel_size)) == 3


def test_voxel_size_rejects_text():
    with pytest.raises(TypeError, match="^argument 'voxel_size': "):
        vorn.sample_centroid_voxel([[0.0]], 1, 0, "1.0")


def test_empty_inputs_and_non_finite_points():
    assert vorn.sample_centroid_voxel([], 5, 0, 1.0) == []
    assert vorn.sample_centroid_voxel([[1.0]], 0, 0, 1.0) == []
    assert vorn.sample_centroid_voxel([[math.nan]], 3, 0, 1.0) == [0]
    with pytest.raises(vorn.PanicException):
        vorn.sample_centroid_voxel([[0.0], [math.nan]], 2, 0, 1.0)
