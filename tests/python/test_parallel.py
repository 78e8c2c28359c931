"""map_clouds: the plain loop's results, in order, on threads and on a Dask cluster."""

import functools
import math
import os
import re
import signal
import sys
import threading
import time

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


def panics_on_nan(cloud):
    return vorn._core.sample_centroid_fps_numpy(cloud, 3, 0)


def fails_slowly_at_3_and_at_once_at_20(cloud):
    if cloud[0, 0] == 3:
        time.sleep(0.5)
        raise OSError("late")
    if cloud[0, 0] == 20:
        raise OSError("early")
    return float(cloud[0, 0])


NUMBERED = [np.full((2, 1), float(i)) for i in range(48)]
FAILURES = {
    "exception": (vorn.hull_volume, BROKEN, ValueError, "^cloud 5: points must be finite"),
    "panic": (panics_on_nan, BROKEN, vorn.PanicException, "^cloud 5: called"),
    "first-in-input-order": (
        fails_slowly_at_3_and_at_once_at_20,
        NUMBERED,
        OSError,
        "^cloud 3: late$",
    ),
}
MODES = {"loop": {"threads": 1}, "threads": {"threads": 3}, "dask": {}}


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("failure", FAILURES)
def test_first_failure_in_input_order_names_its_cloud_and_keeps_its_type(mode, failure, request):
    func, clouds, kind, message = FAILURES[failure]
    options = dict(MODES[mode])
    if mode == "dask":
        options["client"] = request.getfixturevalue("dask_client")
    caught = []
    # A worker that swallowed the failure would leave the caller waiting: bound the wait.
    waiter = threading.Thread(target=lambda: caught.append(raised_by(func, clouds, options)))
    waiter.daemon = True
    waiter.start()
    waiter.join(timeout=60)
    assert caught, "map_clouds did not return"
    assert type(caught[0]) is kind and re.search(message, str(caught[0]))


def raised_by(func, clouds, options):
    try:
        vorn.map_clouds(func, clouds, **options)
    except BaseException as error:
        return error
    return None


def sleeps(calls, fail, cloud):
    calls.append(cloud)
    if fail and cloud[0, 0] == 2:
        raise OSError("cloud two")
    time.sleep(0.2)


@pytest.mark.parametrize("trigger", ["fail", "ctrl-c"])
def test_threads_stop_at_once_on_a_failure_or_ctrl_c(trigger):
    if trigger == "ctrl-c" and signal.getsignal(signal.SIGINT) is signal.SIG_IGN:
        pytest.skip("SIGINT is ignored in this process")
    calls = []
    timer = threading.Timer(0.3, lambda: os.kill(os.getpid(), signal.SIGINT))
    start = time.perf_counter()
    with pytest.raises(KeyboardInterrupt if trigger == "ctrl-c" else OSError):
        if trigger == "ctrl-c":
            timer.start()
        func = functools.partial(sleeps, calls, trigger == "fail")
        vorn.map_clouds(func, NUMBERED, threads=2)  # 5 s in all
    assert time.perf_counter() - start < 2.0
    time.sleep(0.5)  # running clouds end; none starts after the failure
    assert len(calls) < 12


@pytest.mark.parametrize(
    "threads, message",
    [
        (0, r"^threads must be an integer in \[1, 2\*\*64\), got 0$"),
        (2.0, "^threads must be an integer, got float$"),
    ],
    ids=["zero", "float"],
)
def test_thread_count_is_named_in_errors(threads, message):
    with pytest.raises((TypeError, ValueError), match=message):
        vorn.map_clouds(vorn.bbox_volume, CLOUDS, threads=threads)


def test_worker_threads_run_each_call_on_one_thread():
    seen = vorn.map_clouds(lambda cloud: vorn.get_num_threads(), CLOUDS, threads=np.int64(2))
    assert seen == [1] * len(CLOUDS)


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
