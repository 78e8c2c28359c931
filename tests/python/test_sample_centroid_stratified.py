"""Random points from k-means strata in proportional quotas, after the point nearest the centroid."""

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import vorn

UNWRAP = "called `Option::unwrap()` on a `None` value"


@settings(max_examples=60, deadline=None)
@given(
    n=st.integers(1, 60),
    d=st.sampled_from([1, 2, 3, 9]),
    count=st.integers(1, 70),
    seed=st.integers(0, 2**64 - 1),
    num_strata=st.integers(1, 12),
    max_iterations=st.sampled_from([0, 1, 4, 2**64 - 1]),
    data=st.data(),
)
def test_same_list_from_both_forms_and_every_call(n, d, count, seed, num_strata, max_iterations, data):
    coords = data.draw(st.lists(st.integers(-3, 3), min_size=n * d, max_size=n * d))
    points = (np.array(coords, dtype=float) / 3.0).reshape(n, d)
    args = (count, seed, num_strata, max_iterations)
    got = vorn.sample_centroid_stratified_numpy(points, *args)
    assert 1 <= len(got) <= min(n, count) and len(set(got)) == len(got)
    assert vorn.sample_centroid_stratified(points.tolist(), *args) == got
    assert vorn.sample_centroid_stratified_numpy(points, *args) == got


def test_equal_halves_round_up_and_the_limit_cuts_the_second_stratum(rng):
    # Two far-apart clusters of five: quotas 2.5 and 2.5 become 3 and 3 (six for five places),
    # so every seed fills all six places.
    points = np.concatenate([rng.random((5, 2)), rng.random((5, 2)) + 100.0])
    for seed in range(12):
        assert len(vorn.sample_centroid_stratified_numpy(points, 6, seed, 2, 10)) == 6


@pytest.mark.parametrize(
    "count, max_iterations, message",
    [(3, 1, UNWRAP), (3, 0, "index out of bounds: the len is 0 but the index is 0"), (1, 1, None)],
    ids=["assignment-has-no-centre", "filing-has-no-stratum", "one-place-never-looks"],
)
def test_zero_strata(count, max_iterations, message):
    points = [[0.0], [1.0], [2.0], [5.0]]
    if message is None:
        assert vorn.sample_centroid_stratified(points, count, 0, 0, max_iterations) == [2]
    else:
        with pytest.raises(vorn.PanicException) as caught:
            vorn.sample_centroid_stratified(points, count, 0, 0, max_iterations)
        assert str(caught.value) == message
