"""Farthest-point sampling from a chosen row, and the labels and cost that k-medoids and the
strata give with return_labels=True, on clouds full of ties."""

import math

import pytest

import vorn

np = pytest.importorskip("numpy")


def tied_cloud(seed, n=40):
    # Small integers: every distance is exact, equal distances and duplicates everywhere.
    return np.random.default_rng(seed).integers(0, 4, size=(n, 2)).astype(np.float64)


def distance(a, b):
    return math.sqrt((a[0] - b[0]) ** 2 + (b[1] - a[1]) ** 2)  # exact on small integers


@pytest.mark.parametrize("start", [0, 13, -1, -40])
def test_fps_from_a_start_in_every_form(start):
    clouds = np.stack([tied_cloud(b) for b in range(3)])
    # The kernel itself is compared with the plain procedure in the C++ tests.
    kernel = vorn._core._sample_centroid_fps_from_numpy
    expected = [kernel(cloud, 15, start % 40) for cloud in clouds]
    assert vorn.sample_centroid_fps(clouds[0], 15, start=start).tolist() == expected[0]
    assert vorn.sample_centroid_fps(clouds[0].tolist(), 15, start=start).tolist() == expected[0]
    rows = vorn.sample_centroid_fps(clouds.astype(np.float32), 15, start=np.int8(start))
    assert rows.tolist() == expected
    usual = vorn.sample_centroid_fps(clouds[0], 9).tolist()
    assert vorn.sample_centroid_fps(clouds[0], 9, start=usual[0]).tolist() == usual


BAD_STARTS = {
    "past-the-end": (40, IndexError, "start 40 is out of range for a cloud of 40 points"),
    "before-the-first": (-41, IndexError, "start -41 is out of range"),
    "float": (1.0, TypeError, "start must be an integer, got float"),
}


@pytest.mark.parametrize("start, error, message", BAD_STARTS.values(), ids=BAD_STARTS.keys())
def test_fps_refuses_a_start_that_is_not_a_row(start, error, message):
    with pytest.raises(error, match=message):
        vorn.sample_centroid_fps(tied_cloud(0), 3, start=start)


@pytest.mark.parametrize("seed", range(6))
def test_kmedoids_labels_are_the_first_nearest_medoid_and_cost_their_sum(seed):
    cloud = tied_cloud(seed, n=60)
    plain = vorn.sample_centroid_kmedoids(cloud, 6, seed=seed)
    got = vorn.sample_centroid_kmedoids(cloud, 6, seed=seed, return_labels=True)
    assert got.indices.tolist() == plain.tolist()
    total, labels = 0.0, []
    for p in cloud.tolist():
        dists = [distance(p, cloud[m]) for m in plain]
        labels.append(dists.index(min(dists)))  # the lowest position of equal distances
        total += min(dists)  # in point order
    assert got.labels.dtype == np.intp and got.labels.tolist() == labels
    assert type(got.cost) is float and got.cost.hex() == total.hex()
    none = vorn.sample_centroid_kmedoids(cloud[:3], 0, return_labels=True)
    assert none.labels.tolist() == [-1, -1, -1] and none.cost == math.inf


def test_stratified_labels_are_the_strata_of_the_draw():
    cloud = np.concatenate([tied_cloud(1, n=30), tied_cloud(2, n=20) + 100.0])  # two clusters
    plain = vorn.sample_centroid_stratified(cloud, 11, num_strata=2, seed=4)
    got = vorn.sample_centroid_stratified(cloud, 11, num_strata=2, seed=4, return_labels=True)
    assert got.indices.tolist() == plain.tolist() and got.labels.dtype == np.intp
    assert got.labels.tolist() == [got.labels[0]] * 30 + [1 - got.labels[0]] * 20
    # The 10 places after the first shared 30 : 20.
    assert sorted(np.bincount(got.labels[got.indices[1:]]).tolist()) == [4, 6]
    for count, iterations in [(1, 20), (9, 0)]:  # no strata formed
        labelled = vorn.sample_centroid_stratified(
            cloud, count, max_iterations=iterations, return_labels=True
        )
        assert not labelled.labels.any()


@pytest.mark.parametrize("name", ["sample_centroid_kmedoids", "sample_centroid_stratified"])
def test_labels_of_a_batch_are_refused(name):
    with pytest.raises(ValueError, match=r"return_labels=True\) takes one cloud"):
        getattr(vorn, name)(np.stack([tied_cloud(0)] * 2), 3, return_labels=True)
