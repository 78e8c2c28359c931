"""Farthest-point sampling from a chosen row, and the labels and cost that k-medoids and the
strata give with return_labels=True, against plain procedures on clouds full of ties."""

import math

import pytest

import vorn

np = pytest.importorskip("numpy")


def tied_cloud(seed, n=40, d=2):
    # Small integers: every distance is exact, equal distances and duplicates everywhere.
    return np.random.default_rng(seed).integers(0, 4, size=(n, d)).astype(np.float64)


def distance(a, b):
    total = 0.0
    for x, y in zip(a, b):  # left to right, as the core sums fewer than eight coordinates
        total += (x - y) * (x - y)
    return math.sqrt(total)


def literal_fps(points, count, start):
    nearest = [distance(p, points[start]) for p in points]
    chosen = [start]
    while len(chosen) < min(count, len(points)):
        k = max(range(len(points)), key=lambda i: (nearest[i], i))  # last of equal maxima
        chosen.append(k)
        nearest = [min(v, distance(p, points[k])) for v, p in zip(nearest, points)]
    return chosen


@pytest.mark.parametrize("seed", range(6))
def test_fps_from_a_start_is_the_plain_procedure(seed):
    cloud = tied_cloud(seed)
    start = seed * 7 % len(cloud)
    expected = literal_fps(cloud.tolist(), 15, start)
    assert vorn.sample_centroid_fps(cloud, 15, start=start).tolist() == expected
    assert vorn.sample_centroid_fps(cloud.tolist(), 15, start=start - 40).tolist() == expected
    assert vorn.sample_centroid_fps(
        cloud.astype(np.float32), 15, start=np.int8(start)
    ).tolist() == (expected)


def test_fps_start_none_is_the_centroid_start_and_a_batch_starts_every_cloud_there():
    clouds = np.stack([tied_cloud(s) for s in range(5)])
    first = vorn.sample_centroid_fps(clouds[0], 1)[0]
    assert vorn.sample_centroid_fps(clouds[0], 9, start=first).tolist() == (
        vorn.sample_centroid_fps(clouds[0], 9, start=None).tolist()
    )
    rows = vorn.sample_centroid_fps(clouds, 9, start=-3)
    assert [row.tolist() for row in rows] == [literal_fps(c.tolist(), 9, 37) for c in clouds]


BAD_STARTS = {
    "past-the-end": (40, IndexError, "start 40 is out of range for a cloud of 40 points"),
    "before-the-start": (-41, IndexError, "start -41 is out of range"),
    "float": (1.0, TypeError, "start must be an integer, got float"),
    "bool": (True, TypeError, "start must be an integer, got bool"),
}


@pytest.mark.parametrize("start, error, message", BAD_STARTS.values(), ids=BAD_STARTS.keys())
def test_fps_refuses_a_start_that_is_not_a_row(start, error, message):
    with pytest.raises(error, match=message):
        vorn.sample_centroid_fps(tied_cloud(0), 3, start=start)
    with pytest.raises(IndexError):
        vorn.sample_centroid_fps([], 0, start=0)


@pytest.mark.parametrize("seed", range(8))
def test_kmedoids_labels_are_the_first_nearest_medoid_and_cost_their_sum(seed):
    cloud = tied_cloud(seed, n=60)
    plain = vorn.sample_centroid_kmedoids(cloud, 6, seed=seed)
    got = vorn.sample_centroid_kmedoids(cloud, 6, seed=seed, return_labels=True)
    assert isinstance(got, vorn.KMedoidsResult)
    assert got.indices.tolist() == plain.tolist()
    points, total, labels = cloud.tolist(), 0.0, []
    for p in points:
        dists = [distance(p, points[m]) for m in plain]
        labels.append(dists.index(min(dists)))  # the lowest position of equal distances
        total += min(dists)  # in point order
    assert got.labels.dtype == np.intp and got.labels.tolist() == labels
    assert type(got.cost) is float and got.cost.hex() == total.hex()


def test_kmedoids_labels_without_medoids_or_points():
    none = vorn.sample_centroid_kmedoids(tied_cloud(0, n=3), 0, return_labels=True)
    assert none.labels.tolist() == [-1, -1, -1] and none.cost == math.inf
    empty = vorn.sample_centroid_kmedoids([], 4, return_labels=True)
    assert empty.indices.tolist() == empty.labels.tolist() == [] and empty.cost == 0.0


def test_stratified_labels_are_the_strata_of_the_draw():
    # Two far clusters, each with duplicates: two strata, one per cluster.
    near, far = tied_cloud(1, n=30), tied_cloud(2, n=20) + 100.0
    cloud = np.concatenate([near, far])
    plain = vorn.sample_centroid_stratified(cloud, 11, num_strata=2, seed=4)
    got = vorn.sample_centroid_stratified(cloud, 11, num_strata=2, seed=4, return_labels=True)
    assert isinstance(got, vorn.StratifiedResult)
    assert got.indices.tolist() == plain.tolist()
    assert got.labels.dtype == np.intp and len(set(got.labels[:30])) == 1
    assert set(got.labels[30:]) == {1 - got.labels[0]}
    # Quotas by size, 30 : 20 of the 10 places after the first: 6 and 4.
    assert sorted(np.bincount(got.labels[got.indices[1:]]).tolist()) == [4, 6]


def test_stratified_labels_without_strata():
    cloud = tied_cloud(3)
    assert not vorn.sample_centroid_stratified(cloud, 1, return_labels=True).labels.any()
    assert not vorn.sample_centroid_stratified(
        cloud, 9, max_iterations=0, return_labels=True
    ).labels.any()


@pytest.mark.parametrize("name", ["sample_centroid_kmedoids", "sample_centroid_stratified"])
def test_labels_of_a_batch_are_refused(name):
    with pytest.raises(ValueError, match=r"return_labels=True\) takes one cloud"):
        getattr(vorn, name)(np.stack([tied_cloud(0)] * 2), 3, return_labels=True)
