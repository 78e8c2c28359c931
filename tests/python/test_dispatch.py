"""A 3-d array is a batch of clouds: every function gives, in one array, the bits of separate
calls on its clouds, with samplers' rows padded by -1."""

import math

import pytest

import vorn

np = pytest.importorskip("numpy")

CALLS = {
    "bbox_volume": {},
    "hull_volume": {},
    "covariance_volume": {},
    "mean_dispersion": {},
    "sample_uniform": {"count": 9, "seed": 5},
    "sample_centroid_uniform": {"count": 9, "seed": 5},
    "sample_centroid_fps": {"count": 12},
    "sample_centroid_voxel": {"count": 12, "voxel_size": 0.9, "seed": 5},
    "sample_centroid_kmedoids": {"count": 5, "seed": 5},
    "sample_centroid_stratified": {"count": 40, "num_strata": 5, "seed": 5},  # pads
}


def tied_clouds(b):
    # Small integer coordinates: duplicated points and equal distances everywhere.
    return np.random.default_rng(b).integers(0, 3, size=(b, 30, 3)).astype(np.float64)


@pytest.mark.parametrize("b", [1, 7, 64])
@pytest.mark.parametrize("name", CALLS)
def test_a_batch_gives_the_bits_of_separate_calls(name, b):
    func, kwargs, clouds = getattr(vorn, name), CALLS[name], tied_clouds(b)
    with vorn.num_threads(3):
        got = func(clouds, **kwargs)
    singles = [func(cloud, **kwargs) for cloud in clouds]
    if name.startswith("sample"):
        width = min(kwargs["count"], clouds.shape[1])
        assert got.dtype == np.intp and got.shape == (b, width)
        for row, single in zip(got, singles):
            assert row.tolist() == single.tolist() + [-1] * (width - len(single))
    else:
        assert got.dtype == np.float64 and got.shape == (b,)
        assert [x.hex() for x in got.tolist()] == [x.hex() for x in singles]


def test_stratified_rows_are_padded_and_empty_batches_keep_their_shape():
    chosen = vorn.sample_centroid_stratified(tied_clouds(64), 40, num_strata=5, seed=5)
    assert (chosen == -1).any()
    assert vorn.sample_uniform(np.zeros((0, 5, 2)), 3).shape == (0, 3)
    assert vorn.mean_dispersion(np.zeros((0, 5, 2))).shape == (0,)


def test_a_failing_cloud_of_a_batch_is_named():
    clouds = tied_clouds(7)
    clouds[4, 2, 1] = math.nan
    with pytest.raises(ValueError, match="^points must be finite: cloud 4, point 2 has"):
        vorn.bbox_volume(clouds)
    with pytest.raises(ValueError, match="^cloud 4: sample_centroid_fps needs finite points"):
        vorn.sample_centroid_fps(clouds, 3, check_finite=False)
