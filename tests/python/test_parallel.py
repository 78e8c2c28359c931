"""map_clouds: the plain loop's results, in order, on threads and on a Dask cluster."""

import math
import sys

import pytest

import vorn

np = pytest.importorskip("numpy")

CLOUDS = [np.random.default_rng(i).normal(size=(20 + 7 * i, 3)) for i in range(23)]
BROKEN = CLOUDS[:5] + [np.full((3, 3), math.nan)] + CLOUDS[5:]


def plain(func, **kwargs):
    return [func(cloud, **kwargs).tolist() for cloud in CLOUDS]


@pytest.mark.parametrize("threads", [1, 2, 5])
def test_threads_give_the_plain_loop_in_order(threads):
    got = vorn.map_clouds(
        vorn.sample_centroid_voxel, iter(CLOUDS), threads=threads, count=6, voxel_size=0.5, seed=11
    )
    assert [g.tolist() for g in got] == plain(
        vorn.sample_centroid_voxel, count=6, voxel_size=0.5, seed=11
    )


def test_first_error_is_raised_and_thread_count_checked():
    with pytest.raises(ValueError, match="^points must be finite"):
        vorn.map_clouds(vorn.hull_volume, BROKEN, threads=3)
    with pytest.raises(ValueError, match="^threads must be an integer >= 1, got 0$"):
        vorn.map_clouds(vorn.bbox_volume, CLOUDS, threads=0)


@pytest.mark.parametrize("tqdm_installed", [True, False], ids=["tqdm", "no-tqdm"])
def test_progress_bar_only_on_request_or_long_work(tqdm_installed, capsys, monkeypatch):
    if tqdm_installed:
        pytest.importorskip("tqdm")
    else:
        monkeypatch.setitem(sys.modules, "tqdm.auto", None)
    vorn.map_clouds(vorn.bbox_volume, CLOUDS, threads=2)  # short: no bar
    assert capsys.readouterr().err == ""
    assert vorn.map_clouds(vorn.bbox_volume, CLOUDS, threads=2, progress=True) == [
        vorn.bbox_volume(cloud) for cloud in CLOUDS
    ]
    assert (f"{len(CLOUDS)}/{len(CLOUDS)}" in capsys.readouterr().err) == tqdm_installed


@pytest.fixture(scope="module")
def dask_client():
    distributed = pytest.importorskip("distributed")
    # Worker processes: the function, its arguments and the clouds must all pickle.
    with (
        distributed.LocalCluster(
            n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None
        ) as cluster,
        distributed.Client(cluster) as client,
    ):
        yield client


def test_dask_gives_the_plain_loop_in_order(dask_client):
    got = vorn.map_clouds(
        vorn.sample_centroid_kmedoids, CLOUDS, client=dask_client, count=4, max_iterations=5, seed=2
    )
    assert [g.tolist() for g in got] == plain(
        vorn.sample_centroid_kmedoids, count=4, max_iterations=5, seed=2
    )
    got = vorn.map_clouds(vorn.covariance_volume, CLOUDS, client=dask_client)
    assert got == [vorn.covariance_volume(cloud) for cloud in CLOUDS]
    with pytest.raises(ValueError, match="^points must be finite"):
        vorn.map_clouds(vorn.mean_dispersion, BROKEN, client=dask_client)
