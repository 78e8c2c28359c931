"""The voxel, k-medoids and stratified samplers through the module (their procedures are
compared step by step in the C++ tests)."""

import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from vorn import _core

UNWRAP = "called `Option::unwrap()` on a `None` value"
SAMPLERS = {  # name: extra arguments drawn after count and seed
    "sample_centroid_voxel": st.tuples(st.sampled_from([0.3, 1.0, 0.0, -0.5, math.nan, math.inf])),
    "sample_centroid_kmedoids": st.tuples(st.sampled_from([0, 1, 3, 2**64 - 1])),
    "sample_centroid_stratified": st.tuples(
        st.integers(1, 12), st.sampled_from([0, 1, 4, 2**64 - 1])
    ),
}


@pytest.mark.parametrize("name", SAMPLERS)
@settings(max_examples=40, deadline=None)
@given(
    n=st.integers(1, 40),
    d=st.sampled_from([1, 2, 9]),
    count=st.integers(1, 45),
    seed=st.integers(0, 2**64 - 1),
    data=st.data(),
)
def test_same_list_from_both_forms_strides_and_every_call(name, n, d, count, seed, data):
    coords = data.draw(st.lists(st.integers(-3, 3), min_size=n * d, max_size=n * d))
    points = (np.array(coords, dtype=float) / 3.0).reshape(n, d)
    args = (count, seed) + data.draw(SAMPLERS[name])
    got = getattr(_core, name + "_numpy")(points, *args)
    assert 1 <= len(got) <= min(n, count) and len(set(got)) == len(got)
    if name != "sample_centroid_stratified":
        assert len(got) == min(n, count)
    wide = np.zeros((n, 2 * d))
    wide[:, ::2] = points
    assert getattr(_core, name)(points.tolist(), *args) == got
    assert getattr(_core, name + "_numpy")(wide[:, ::2], *args) == got


THREE = [[0.0], [1.0], [2.0]]
PANICS = {
    "kmedoids-infinite-point": (
        lambda: _core.sample_centroid_kmedoids([[0.0], [math.inf]], 2, 0, 1),
        UNWRAP,
    ),
    "voxel-nan-point": (
        lambda: _core.sample_centroid_voxel_numpy(np.array([[0.0], [math.nan]]), 2, 0, 1.0),
        UNWRAP,
    ),
}


@pytest.mark.parametrize("call, message", PANICS.values(), ids=PANICS.keys())
def test_internal_failures(call, message):
    with pytest.raises(_core.PanicException) as caught:
        call()
    assert str(caught.value) == message


def test_results_that_need_no_search():
    assert _core.sample_centroid_kmedoids([], 3, 0, 5) == []
    assert _core.sample_centroid_voxel([[math.nan]], 3, 0, 1.0) == [0]
    assert _core.sample_centroid_uniform([[math.nan, 1.0]], 3, 0) == [0]
    # Ten points in ten strata: every quota rounds 0.4 down, stratum 0 takes all four places
    # and holds one point, so at most two indices come back.
    ten = [[float(i * i)] for i in range(10)]
    assert all(len(_core.sample_centroid_stratified(ten, 5, s, 12, 3)) in (1, 2) for s in range(10))
    for voxel_size in (1, True, np.float32(0.5)):  # whatever float() takes
        assert len(_core.sample_centroid_voxel(THREE, 3, 0, voxel_size)) == 3
