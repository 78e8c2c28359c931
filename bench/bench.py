"""vorn against the code its users would otherwise write, as ratios measured in one run.

    scripts/run-bench                # sets up .venv-bench with the peers, runs every case
    python bench/bench.py dispersion # cases whose label contains "dispersion"
    python bench/bench.py overhead   # the package's functions against direct vorn._core calls
    python bench/bench.py interrupt  # how soon Ctrl-C stops each long call

Each case times vorn on one thread, vorn on every thread and its peer alternately, and keeps
the best of several rounds. Ratios are peer time / vorn time, so above 1 means vorn is faster;
"x2t" is vorn's own speed-up from one thread to all. Peers run with their default threads.
Memory cases run each side in a fresh interpreter and compare peak resident memory.
"""

import concurrent.futures
import os
import platform
import subprocess
import sys
import time
import timeit

import numpy as np

import vorn
from vorn import _core

CASES = []


def case(label, peer, goal, alternations=5):
    """Registers a case: the decorated function builds its inputs and returns (vorn_fn, peer_fn).

    A case whose peer takes tens of seconds asks for fewer alternations. A setup that raises
    ImportError names a peer that is not installed: the case is reported as such."""

    def register(setup):
        CASES.append((label, peer, goal, setup, alternations))
        return setup

    return register


def one_thread(fn):
    def run():
        with vorn.num_threads(1):
            return fn()

    return run


def best_time(fn, rounds, min_seconds=0.2):
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
        if best * rounds > min_seconds * 10:
            break
    return best


def peak_rss_mb(setup, statement):
    """Peak resident memory growth of one statement, in a fresh interpreter."""
    code = "\n".join(
        [
            "import resource, numpy as np",
            "from vorn import _core",
            setup,
            "before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss",
            statement,
            "after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss",
            "print((after - before) / 1024.0)",
        ]
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    return float(out.stdout.strip())


rng = np.random.default_rng(7)


@case("bbox_volume_numpy 1,000,000 x 3", "numpy.ptp(a, axis=0).prod()", "within 1.5x")
def _():
    a = rng.random((1_000_000, 3))
    return (lambda: _core.bbox_volume_numpy(a)), (lambda: np.ptp(a, axis=0).prod())


def scipy_hull_volume(a):
    from scipy.spatial import ConvexHull

    return ConvexHull(a).volume


@case("hull_volume_numpy 1,000,000 x 3 in a cube", "scipy ConvexHull(a).volume", "faster")
def _():
    a = rng.random((1_000_000, 3))
    return (lambda: _core.hull_volume_numpy(a)), (lambda: scipy_hull_volume(a))


@case(
    "hull_volume_numpy 100,000 x 3 on a sphere",
    "scipy ConvexHull(a).volume",
    "within 2x (ratio >= 0.5)",
)
def _():
    a = rng.standard_normal((100_000, 3))
    a /= np.linalg.norm(a, axis=1)[:, None]
    return (lambda: _core.hull_volume_numpy(a)), (lambda: scipy_hull_volume(a))


@case("hull_volume_numpy 1,000,000 x 2 in a disc", "scipy ConvexHull(a).volume", "faster")
def _():
    r, t = np.sqrt(rng.random(1_000_000)), rng.random(1_000_000) * 2 * np.pi
    a = np.c_[r * np.cos(t), r * np.sin(t)]
    return (lambda: _core.hull_volume_numpy(a)), (lambda: scipy_hull_volume(a))


@case(
    "hull_volume_numpy 1,000,000 x 2 on a circle",
    "scipy ConvexHull(a).volume",
    "not slower",
    alternations=2,
)
def _():
    # Every point is a vertex of the hull: the merged polygon drops them all and the exact
    # hull measures the area.
    t = rng.random(1_000_000) * 2 * np.pi
    a = np.c_[np.cos(t), np.sin(t)]
    return (lambda: _core.hull_volume_numpy(a)), (lambda: scipy_hull_volume(a))


@case(
    "hull_volume_numpy 100,000 x 3 spiral on a sphere",
    "scipy ConvexHull(a).volume",
    "not slower",
    alternations=2,
)
def _():
    # Evenly spread points whose equal triangles make the float sum drift: the exact hull
    # measures the volume.
    i = np.arange(100_000) + 0.5
    phi, theta = np.arccos(1 - 2 * i / 100_000), np.pi * (1 + 5**0.5) * i
    a = np.c_[np.cos(theta) * np.sin(phi), np.sin(theta) * np.sin(phi), np.cos(phi)]
    return (lambda: _core.hull_volume_numpy(a)), (lambda: scipy_hull_volume(a))


def numpy_covariance_volume(a):
    d = a.shape[1]
    return np.sqrt(abs(np.linalg.det(np.cov(a, rowvar=False) + 1e-8 * np.eye(d))))


@case("covariance_volume_numpy 1,000,000 x 3", "sqrt |det(numpy.cov + 1e-8 I)|", "faster")
def _():
    a = rng.standard_normal((1_000_000, 3))
    return (lambda: _core.covariance_volume_numpy(a)), (lambda: numpy_covariance_volume(a))


@case(
    "covariance_volume_numpy 100,000 x 64",
    "sqrt |det(numpy.cov + 1e-8 I)|",
    "within 3x (ratio >= 0.33)",
)
def _():
    a = rng.standard_normal((100_000, 64))
    return (lambda: _core.covariance_volume_numpy(a)), (lambda: numpy_covariance_volume(a))


@case("mean_dispersion_numpy 5,000 x 3", "scipy pdist(a).mean()", "faster")
def _():
    from scipy.spatial.distance import pdist

    a = rng.random((5_000, 3))
    return (lambda: _core.mean_dispersion_numpy(a)), (lambda: pdist(a).mean())


@case("bbox_volume list 100,000 x 3 (conversion)", "numpy.asarray(lst, dtype=float)", "not slower")
def _():
    lst = rng.random((100_000, 3)).tolist()
    return (lambda: _core.bbox_volume(lst)), (lambda: np.asarray(lst, dtype=float))


def numpy_fps(a, count):
    # The loop users write: distances to the newest centre, running minimum, first argmax.
    centroid = a.mean(axis=0)
    k = int(np.linalg.norm(a - centroid, axis=1).argmin())
    chosen = [k]
    nearest = np.linalg.norm(a - a[k], axis=1)
    for _ in range(count - 1):
        k = int(nearest.argmax())
        chosen.append(k)
        nearest = np.minimum(nearest, np.linalg.norm(a - a[k], axis=1))
    return chosen


@case(
    "sample_centroid_fps_numpy 1,000,000 x 3, count 1,000",
    "NumPy argmax/minimum loop",
    "at least 5x",
    alternations=1,
)
def _():
    small = rng.random((100_000, 3))
    if _core.sample_centroid_fps_numpy(small, 200, 0) != numpy_fps(small, 200):
        print("  note: farthest-point indices differ from the NumPy loop on 100,000 x 3")
    a = rng.random((1_000_000, 3))
    return (lambda: _core.sample_centroid_fps_numpy(a, 1000, 0)), (lambda: numpy_fps(a, 1000))


@case(
    "sample_centroid_voxel_numpy 1,000,000 x 3, count 8,000",
    "numpy.unique(floor(a / v).astype(int64), axis=0, return_index=True)",
    "faster",
)
def _():
    a = rng.random((1_000_000, 3))
    v = 0.05  # 8,000 occupied voxels
    return (lambda: _core.sample_centroid_voxel_numpy(a, 8000, 7, v)), (
        lambda: np.unique(np.floor(a / v).astype(np.int64), axis=0, return_index=True)
    )


def distance_matrix_d8(a):
    # Pairwise distances with the library's summation for d = 8: squares paired (0, 4), (1, 5),
    # (2, 6), (3, 7), so that costs and therefore swaps agree to the bit.
    out = np.empty((len(a), len(a)))
    for x in range(len(a)):
        s = (a - a[x]) ** 2
        r = s[:, 0] + s[:, 4]
        r = r + (s[:, 1] + s[:, 5])
        r = r + (s[:, 2] + s[:, 6])
        r = r + (s[:, 3] + s[:, 7])
        out[x] = np.sqrt(r)
    return out


def numpy_swap_search(a, medoids, max_iterations, chunk=64):
    # First-improvement swap search with the full cost of every candidate list, from a cached
    # distance matrix; costs summed in point order (cumsum), as the library sums them.
    dist = distance_matrix_d8(a)
    cost = lambda lists: np.cumsum(dist[lists].min(axis=1), axis=1)[:, -1]
    med, swaps = list(medoids), 0
    while swaps < max_iterations:
        for p in range(1, len(med)):
            cur = cost(np.array([med]))[0]
            candidates = np.setdiff1d(np.arange(len(a)), med)
            for lo in range(0, len(candidates), chunk):
                xs = candidates[lo : lo + chunk]
                lists = np.tile(med, (len(xs), 1))
                lists[:, p] = xs
                better = np.flatnonzero(cost(lists) < cur)
                if len(better):
                    med[p] = int(xs[better[0]])
                    break
            else:
                continue
            swaps += 1
            break
        else:
            break
    return med


@case(
    "sample_centroid_kmedoids_numpy swap search 2,000 x 8, count 16, 50 swaps",
    "NumPy swap search, full cost per candidate",
    "at least 20x",
    alternations=1,
)
def _():
    a = rng.random((2000, 8))
    start = _core.sample_centroid_kmedoids_numpy(a, 16, 7, 0)
    if _core.sample_centroid_kmedoids_numpy(a, 16, 7, 50) != numpy_swap_search(a, start, 50):
        print("  note: k-medoids list differs from the NumPy swap search")
    return (lambda: _core.sample_centroid_kmedoids_numpy(a, 16, 7, 50)), (
        lambda: numpy_swap_search(a, start, 50)
    )


def numpy_lloyd(a, k, iterations, seed):
    # The loop users write: distances to each centre, argmin, per-axis bincount means.
    centres = a[np.random.default_rng(seed).permutation(len(a))[:k]].copy()
    dist = np.empty((len(a), k))
    for _ in range(iterations):
        for j in range(k):
            v = a - centres[j]
            dist[:, j] = np.sqrt((v * v).sum(axis=1))
        labels = dist.argmin(axis=1)
        sizes = np.bincount(labels, minlength=k)
        filled = sizes > 0
        sums = np.stack(
            [np.bincount(labels, weights=a[:, c], minlength=k) for c in range(a.shape[1])], 1
        )
        centres[filled] = sums[filled] / sizes[filled, None]
    return labels


@case(
    "sample_centroid_stratified_numpy 100,000 x 16, 16 strata, 20 iterations",
    "NumPy Lloyd loop (distances, argmin, bincount means)",
    "faster",
)
def _():
    a = rng.standard_normal((100_000, 16))
    return (lambda: _core.sample_centroid_stratified_numpy(a, 1000, 7, 16, 20)), (
        lambda: numpy_lloyd(a, 16, 20, 7)
    )


@case(
    "sample_uniform_numpy 10,000,000 x 3, count 1,000",
    "default_rng(seed).permutation(n)[:count]",
    "within 2x",
)
def _():
    a = rng.random((10_000_000, 3))
    return (lambda: _core.sample_uniform_numpy(a, 1000, 7)), (
        lambda: np.random.default_rng(7).permutation(len(a))[:1000]
    )


def fasterpam(a, count):
    import kmedoids
    from scipy.spatial.distance import pdist, squareform

    return kmedoids.fasterpam(squareform(pdist(a)), count, init="random", n_cpu=1)


def fasterpam_case(n, count):
    import kmedoids  # noqa: F401  (a missing peer shows before any timing)

    a = rng.random((n, 8))
    return (lambda: _core.sample_centroid_kmedoids_numpy(a, count, 7, 50)), (
        lambda: fasterpam(a, count)
    )


@case(
    "sample_centroid_kmedoids_numpy 5,000 x 8, count 32, 50 swaps",
    "kmedoids.fasterpam(squareform(pdist(a)), 32, init='random', n_cpu=1)",
    ">= 1.0 (1 thread), >= 1.67 (all)",
    alternations=2,
)
def _():
    return fasterpam_case(5000, 32)


@case(
    "sample_centroid_kmedoids_numpy 2,000 x 8, count 16, 50 swaps",
    "kmedoids.fasterpam(squareform(pdist(a)), 16, init='random', n_cpu=1)",
    ">= 2.0 (1 thread), >= 3.3 (all)",
)
def _():
    return fasterpam_case(2000, 16)


def embedding_cloud(n, d):
    """Clustered Gaussians, as embedding sets are: 50 centres, members centre + 0.5 N(0, I)."""
    centres = rng.normal(size=(50, d))
    return centres[rng.integers(0, 50, n)] + 0.5 * rng.normal(size=(n, d))


def embeddings_kmedoids_case(n, d, count):
    import kmedoids
    from sklearn.metrics import euclidean_distances

    a = embedding_cloud(n, d)
    return (lambda: _core.sample_centroid_kmedoids_numpy(a, count, 7, 50)), (
        lambda: kmedoids.fasterpam(euclidean_distances(a), count, init="random", n_cpu=1)
    )


for _n, _label in ((5000, "5,000"), (10000, "10,000")):
    case(
        f"embeddings-kmedoids: sample_centroid_kmedoids_numpy {_label} x 384, count 100, 50 swaps",
        "kmedoids.fasterpam(euclidean_distances(a), 100, init='random', n_cpu=1)",
        ">= 2.0 (1 thread)",
        alternations=2 if _n < 10000 else 1,
    )(lambda n=_n: embeddings_kmedoids_case(n, 384, 100))


def fpsample_case(n, count):
    import fpsample

    a = rng.random((n, 3))
    a32 = a.astype(np.float32)
    return (lambda: _core.sample_centroid_fps_numpy(a, count, 0)), (
        lambda: fpsample.bucket_fps_kdline_sampling(a32, count, h=7)
    )


@case(
    "sample_centroid_fps_numpy 1,000,000 x 3, count 4,096",
    "fpsample.bucket_fps_kdline_sampling(float32, 4096, h=7)",
    ">= 2.0 (1 thread), >= 3.3 (all)",
    alternations=2,
)
def _():
    return fpsample_case(1_000_000, 4096)


@case(
    "sample_centroid_fps_numpy 200,000 x 3, count 500",
    "fpsample.bucket_fps_kdline_sampling(float32, 500, h=7)",
    ">= 2.0 (1 thread), >= 3.3 (all)",
)
def _():
    return fpsample_case(200_000, 500)


@case(
    "sample_centroid_voxel_numpy 1,000,000 x 3, voxel 0.25",
    "open3d PointCloud(Vector3dVector(a)).voxel_down_sample(0.25)",
    ">= 2.0 (1 thread), >= 3.3 (all)",
)
def _():
    import open3d as o3d

    a = rng.random((1_000_000, 3))
    count = len(np.unique(np.floor(a / 0.25), axis=0))

    def peer():
        cloud = o3d.geometry.PointCloud(o3d.utility.Vector3dVector(a))
        return cloud.voxel_down_sample(0.25)

    return (lambda: _core.sample_centroid_voxel_numpy(a, count, 7, 0.25)), peer


def strata_peer():
    """The k-means users run instead: 16 clusters, 20 Lloyd iterations from random points."""
    from sklearn.cluster import KMeans

    return KMeans(
        16, n_init=1, max_iter=20, init="random", algorithm="lloyd", tol=0.0, random_state=7
    )


def strata_16_case(peer_on_one_thread=False):
    a = rng.standard_normal((100_000, 16))
    kmeans = strata_peer()
    fit = lambda: kmeans.fit(a)
    if peer_on_one_thread:
        fit = one_blas_thread(fit)
    return (lambda: _core.sample_centroid_stratified_numpy(a, 500, 7, 16, 20)), fit


@case(
    "sample_centroid_stratified_numpy 100,000 x 16, count 500, 16 strata, 20 iterations",
    "sklearn KMeans(16, n_init=1, max_iter=20, init='random', algorithm='lloyd')",
    ">= 1.25 (1 thread), >= 2.5 (all)",
)
def _():
    return strata_16_case()


@case(
    "sample_centroid_stratified_numpy 100,000 x 16, count 500, 16 strata, peer on one thread",
    "sklearn KMeans as above, inside threadpool_limits(1)",
    "one core each: steadier than the row above on a busy machine",
)
def _():
    return strata_16_case(peer_on_one_thread=True)


def embedding_like(n, d):
    """Clustered Gaussians: 50 centres from N(0, I), members centre + 0.5 N(0, I)."""
    g = np.random.default_rng(11)
    centres = g.standard_normal((50, d))
    return centres[g.integers(0, 50, n)] + 0.5 * g.standard_normal((n, d))


def strata_embedding_case(d, clustered=True):
    a = embedding_like(100_000, d) if clustered else rng.standard_normal((100_000, d))
    kmeans = strata_peer()
    return (lambda: _core.sample_centroid_stratified_numpy(a, 500, 7, 16, 20)), (
        lambda: kmeans.fit(a)
    )


@case(
    "sample_centroid_stratified_numpy embeddings 100,000 x 384, 16 strata",
    "sklearn KMeans(16, n_init=1, max_iter=20, init='random', algorithm='lloyd')",
    ">= 1.0 (1 thread)",
    alternations=2,
)
def _():
    return strata_embedding_case(384)


@case(
    "sample_centroid_stratified_numpy embeddings 100,000 x 768, 16 strata",
    "sklearn KMeans(16, n_init=1, max_iter=20, init='random', algorithm='lloyd')",
    ">= 1.0 (1 thread)",
    alternations=2,
)
def _():
    return strata_embedding_case(768)


@case(
    "sample_centroid_stratified_numpy plain Gaussian 100,000 x 384, 16 strata",
    "sklearn KMeans(16, n_init=1, max_iter=20, init='random', algorithm='lloyd')",
    ">= 1.0 (1 thread)",
    alternations=2,
)
def _():
    return strata_embedding_case(384, clustered=False)


@case("mean_dispersion_numpy 2,000 x 64", "scipy pdist(a).mean()", "faster")
def _():
    from scipy.spatial.distance import pdist

    a = rng.random((2_000, 64))
    return (lambda: _core.mean_dispersion_numpy(a)), (lambda: pdist(a).mean())


# Embedding sets for the dispersion and covariance kernels: python bench/bench.py embeddings-dispcov
# Clustered Gaussians (50 centres from N(0, I), members centre + 0.5 N(0, I)); the peers run on
# one BLAS thread, so that "ratio 1t" compares one core with one core.
def clustered(n, d, seed=20):
    g = np.random.default_rng(seed)
    centres = g.standard_normal((50, d))
    return centres[g.integers(0, 50, n)] + 0.5 * g.standard_normal((n, d))


def one_blas_thread(fn):
    from threadpoolctl import threadpool_limits

    def run():
        with threadpool_limits(1):
            return fn()

    return run


def covariance_embedding(d):
    a = clustered(100_000, d)
    peer = one_blas_thread(lambda: np.linalg.slogdet(np.cov(a, rowvar=False) + 1e-8 * np.eye(d)))
    return (lambda: _core.covariance_volume_numpy(a)), peer


for _d in (384, 768):
    case(
        f"embeddings-dispcov covariance_volume_numpy 100,000 x {_d}",
        "numpy.cov + slogdet, one BLAS thread",
        ">= 1.25 (1 thread)",
        alternations=3,
    )(lambda d=_d: covariance_embedding(d))


def chunked_mean_distance(a):
    from sklearn.metrics import pairwise_distances_chunked

    total = sum(chunk.sum() for chunk in pairwise_distances_chunked(a))
    return total / (len(a) * (len(a) - 1))


for _d in (384, 768):

    @case(
        f"embeddings-dispcov mean_dispersion_numpy 10,000 x {_d}",
        "sklearn pairwise_distances_chunked mean, one BLAS thread",
        ">= 0.67 (1 thread)",
        alternations=3,
    )
    def _(d=_d):
        a = clustered(10_000, d)
        return (lambda: _core.mean_dispersion_numpy(a)), one_blas_thread(
            lambda: chunked_mean_distance(a)
        )


# Float32 embedding sets are read in place and widened as loaded: python bench/bench.py
# embeddings-float32. The peer is the same function on the same values in float64, on one
# thread: "ratio 1t" compares the two paths.
FLOAT32_CASES = {
    "bbox_volume 200,000 x 768": (200_000, 768, "bbox_volume", ()),
    "covariance_volume 100,000 x 384": (100_000, 384, "covariance_volume", ()),
    "mean_dispersion 5,000 x 384": (5_000, 384, "mean_dispersion", ()),
    "mean_dispersion 5,000 x 3": (5_000, 3, "mean_dispersion", ()),
    "sample_centroid_uniform 200,000 x 768": (200_000, 768, "sample_centroid_uniform", (100, 5)),
    "sample_centroid_fps 50,000 x 384, 1,000 picks": (
        50_000,
        384,
        "sample_centroid_fps",
        (1000, 5),
    ),
    "sample_centroid_stratified 100,000 x 384, 16 strata": (
        100_000,
        384,
        "sample_centroid_stratified",
        (500, 7, 16, 20),
    ),
    "sample_centroid_kmedoids 2,000 x 384, count 50, 50 swaps": (
        2_000,
        384,
        "sample_centroid_kmedoids",
        (50, 5, 50),
    ),
}

for _label, (_n, _d, _name, _args) in FLOAT32_CASES.items():

    @case(
        f"embeddings-float32 {_label}",
        "the same on float64, 1 thread",
        ">= 1.0 (1 thread)",
        alternations=3,
    )
    def _(n=_n, d=_d, name=_name, args=_args):
        a = clustered(n, d).astype(np.float32)
        a64 = a.astype(np.float64)
        f = getattr(_core, f"_{name}_array")
        return (lambda: f(a, *args)), one_thread(lambda: f(a64, *args))


def run_memory_cases():
    setup = "a = np.random.default_rng(7).random((5000, 3))"
    ours = peak_rss_mb(setup, "_core.mean_dispersion_numpy(a)")
    theirs = peak_rss_mb(setup + "\nfrom scipy.spatial.distance import pdist", "pdist(a).mean()")
    print(f"peak memory, mean dispersion 5,000 x 3: vorn {ours:.1f} MB, pdist {theirs:.1f} MB")
    # Farthest-point sampling keeps O(n) memory on every shape; the point set is 24 MB.
    shapes = {
        "flat (plane + 1e-12 noise)": "a[:, 2] = 1e-12 * a[:, 2]",
        "line": "a[:, 1:] = 1e-9 * a[:, 1:]",
        "clustered": "a = a * 1e-3 + np.repeat(np.random.default_rng(8).random((10, 3)), 10**5, 0)",
        "one far outlier": "a[0] = 1e12",
    }
    for shape, change in shapes.items():
        setup = f"a = np.random.default_rng(7).random((1_000_000, 3))\n{change}"
        start = time.perf_counter()
        grown = peak_rss_mb(setup, "_core.sample_centroid_fps_numpy(a, 1000, 0)")
        seconds = time.perf_counter() - start
        print(
            f"peak memory, farthest-point 1,000,000 x 3 {shape}: {grown:.1f} MB "
            f"({grown / 24.0:.2f}x the points), {seconds:.1f} s with start-up"
        )
    print()


def run_python_threads_case(threads=8):
    """Eight clouds measured from eight Python threads against a plain loop."""
    clouds = [rng.random((200_000, 3)) for _ in range(threads)]
    work = lambda a: _core.sample_centroid_fps_numpy(a, 300, 0)

    def loop():
        return [work(a) for a in clouds]

    def pooled():
        with concurrent.futures.ThreadPoolExecutor(threads) as pool:
            return list(pool.map(lambda a: _single(work, a), clouds))

    timings = {}
    for label, fn in [
        ("plain loop, one thread per call", one_thread(loop)),
        ("plain loop, all threads per call", loop),
        (f"{threads} Python threads, one thread per call", pooled),
    ]:
        fn()
        timings[label] = best_time(fn, 3)
    base = timings["plain loop, one thread per call"]
    for label, t in timings.items():
        print(
            f"{threads} clouds of 200,000 x 3, farthest-point 300: {label:42} "
            f"{t * 1e3:9.1f} ms  x{base / t:.2f}"
        )
    print()


def _single(fn, a):
    with vorn.num_threads(1):
        return fn(a)


def estimate(t1, t2, cores=16):
    """Amdahl's law with the serial fraction read off one and two threads."""
    serial = min(max(2.0 * t2 / t1 - 1.0, 0.0), 1.0)
    return 1.0 / (serial + (1.0 - serial) / cores)


# The package's functions check and convert their arguments, then call the compiled core:
# the cost of that layer per call, on a float64 array that needs no conversion.
OVERHEAD_CASES = [
    ("bbox_volume", lambda a: vorn.bbox_volume(a), lambda a: _core.bbox_volume_numpy(a)),
    (
        "bbox_volume check_finite=False",
        lambda a: vorn.bbox_volume(a, check_finite=False),
        lambda a: _core.bbox_volume_numpy(a),
    ),
    ("hull_volume", lambda a: vorn.hull_volume(a), lambda a: _core.hull_volume_numpy(a)),
    (
        "sample_uniform count 10",
        lambda a: vorn.sample_uniform(a, 10, seed=7),
        lambda a: _core.sample_uniform_numpy(a, 10, 7),
    ),
    (
        "sample_centroid_fps count 10",
        lambda a: vorn.sample_centroid_fps(a, 10),
        lambda a: _core.sample_centroid_fps_numpy(a, 10, 0),
    ),
    (
        "sample_centroid_voxel count 10",
        lambda a: vorn.sample_centroid_voxel(a, 10, voxel_size=0.1, seed=7),
        lambda a: _core.sample_centroid_voxel_numpy(a, 10, 7, 0.1),
    ),
]


def run_overhead_cases(pattern):
    print(f"{'wrapper overhead per call':48} {'vorn us':>10} {'_core us':>10} {'added':>9}  goal")
    for n, goal in ((10, "at most 10 us added"), (100_000, "at most 5% added")):
        a = rng.standard_normal((n, 3))
        for name, wrapped, direct in OVERHEAD_CASES:
            label = f"{name}, {n:,} x 3"
            if pattern not in label and pattern not in "overhead":
                continue
            ours, core = (lambda w=wrapped, a=a: w(a)), (lambda f=direct, a=a: f(a))
            number = max(1, round(0.01 / best_time(core, 3)))  # about 10 ms a round
            t_ours = t_core = float("inf")
            for _ in range(15):  # alternate, so that both see the same machine load
                t_ours = min(t_ours, timeit.timeit(ours, number=number) / number)
                t_core = min(t_core, timeit.timeit(core, number=number) / number)
            added = (
                f"{(t_ours - t_core) * 1e6:+7.2f}us" if n == 10 else f"{t_ours / t_core - 1:+8.1%}"
            )
            print(f"{label:48} {t_ours * 1e6:10.2f} {t_core * 1e6:10.2f} {added:>9}  {goal}")
    print()


def interrupt_latency(call, delay=0.15):
    """Seconds from a SIGINT sent `delay` s into `call` to its KeyboardInterrupt (None: no stop)."""
    import signal
    import threading

    timer = threading.Timer(delay, lambda: os.kill(os.getpid(), signal.SIGINT))
    sent = time.perf_counter() + delay
    timer.start()
    try:
        call()
    except KeyboardInterrupt:
        return time.perf_counter() - sent
    finally:
        timer.join()
    return None


def run_interrupt_cases():
    import signal

    if signal.getsignal(signal.SIGINT) is signal.SIG_IGN:
        print("interrupt latency: SIGINT is ignored in this process, not measured")
        return
    a = rng.normal(size=(80_000, 3))
    circle = rng.normal(size=(4_000_000, 2))
    circle /= np.linalg.norm(circle, axis=1, keepdims=True)
    wide = rng.normal(size=(2, 5000))
    calls = {
        "hull_volume 4,000,000 x 2 on a circle": lambda: _core.hull_volume_numpy(circle),
        "mean_dispersion 80,000 x 3": lambda: _core.mean_dispersion_numpy(a),
        "covariance_volume 2 x 5000": lambda: _core.covariance_volume_numpy(wide),
        "sample_centroid_kmedoids 3,000 x 3, count 150": lambda: (
            _core.sample_centroid_kmedoids_numpy(a[:3000], 150, 1, 1000)
        ),
        "sample_centroid_fps 3,200,000 x 3, all points": lambda: _core.sample_centroid_fps_numpy(
            np.tile(a, (40, 1)), 2_000_000, 0
        ),
        "map_clouds, mean_dispersion of 48 x 6,000 x 3": lambda: vorn.map_clouds(
            vorn.mean_dispersion, [a[i * 1000 : i * 1000 + 6000] for i in range(48)], threads=2
        ),
    }
    for label, call in calls.items():
        latencies = [interrupt_latency(call) for _ in range(5)]
        worst = max((t for t in latencies if t is not None), default=None)
        shown = "call ended first" if worst is None else f"{worst * 1e3:.0f} ms"
        print(f"interrupt latency, worst of 5, {label:48} {shown:>16}  goal: under 200 ms")


def run_hull_accuracy_sweep(clouds=10_000):
    """Small random 3-d clouds against SciPy's hull of the same points rounded to float: how many
    fall more than 1e-3 short or more than 8e-6 above, and the worst of each."""
    try:
        from scipy.spatial import ConvexHull
    except ImportError:
        print("hull accuracy sweep: scipy not installed\n")
        return
    sweep = np.random.default_rng(2024)
    shapes = ("gaussian", "rotated cube", "rotated 1 x 1 x 0.1 slab")
    short, above, worst = [0, 0, 0], [0, 0, 0], [[0.0, 0.0] for _ in shapes]
    for i in range(clouds):
        kind, n = i % 3, int(sweep.integers(5, 41))
        if kind == 0:
            a = sweep.standard_normal((n, 3))
        else:
            a = sweep.random((n, 3)) * ([1.0, 1.0, 0.1] if kind == 2 else 1.0)
            a = a @ np.linalg.qr(sweep.standard_normal((3, 3)))[0].T
        exact = ConvexHull(a.astype(np.float32).astype(np.float64)).volume
        error = _core.hull_volume_numpy(a) / exact - 1.0
        short[kind] += error < -1e-3
        above[kind] += error > 8e-6
        worst[kind] = [min(worst[kind][0], error), max(worst[kind][1], error)]
    print(
        f"hull accuracy, {clouds:,} clouds of 5-40 points, against the exact hull of the float "
        "points"
    )
    for kind, shape in enumerate(shapes):
        print(
            f"  {shape:26} more than 1e-3 short: {short[kind]}, more than 8e-6 above: "
            f"{above[kind]}; worst {worst[kind][0]:+.2e} / {worst[kind][1]:+.2e}"
        )
    print()


def clustered_embeddings(n, d, seed=11):
    """50 centres from N(0, I), members centre + 0.5 N(0, I): an embedding set's shape."""
    r = np.random.default_rng(seed)
    centres = r.standard_normal((50, d))
    return centres[r.integers(0, 50, n)] + 0.5 * r.standard_normal((n, d))


def run_embedding_fps_cases(
    shapes=((10_000, 64), (100_000, 64), (10_000, 384), (50_000, 384), (10_000, 768)), count=1000
):
    """Farthest-point sampling on embedding sets: vorn / peer, aim <= 0.2, moonshot <= 0.1."""
    import fpsample
    from threadpoolctl import threadpool_limits

    setup = "\n".join(
        [
            f"import sys; sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})",
            "from bench import clustered_embeddings",
            "a = clustered_embeddings(50_000, 384)",
        ]
    )
    grown = peak_rss_mb(setup, "_core.sample_centroid_fps_numpy(a, 1000, 0)")
    print(f"embeddings-fps peak memory growth, 50,000 x 384 (146 MiB of points): {grown:.1f} MB")
    print(
        f"{'embeddings-fps, ' + str(count) + ' picks':34} {'vorn 1t':>8} {'vorn 2t':>8} "
        f"{'fpsample':>8} {'numpy':>8} {'/fpsample':>9} {'/numpy':>7} {'x2t':>5}  (seconds)"
    )
    for n, d in shapes:
        a = clustered_embeddings(n, d)
        a32 = a.astype(np.float32)
        ours = lambda a=a: _core.sample_centroid_fps_numpy(a, count, 0)
        ours_1t, ours_2t = one_thread(ours), two_threads(ours)
        fps = lambda a32=a32: fpsample.fps_sampling(a32, count, start_idx=0)
        loop = lambda a=a: numpy_fps(a, count)
        t = dict(vorn1=float("inf"), vorn2=float("inf"), fps=float("inf"), numpy=float("inf"))
        with threadpool_limits(1):
            for _ in range(2 if n * d <= 4_000_000 else 1):  # alternate: all see one load
                t["vorn1"] = min(t["vorn1"], best_time(ours_1t, 3))
                t["vorn2"] = min(t["vorn2"], best_time(ours_2t, 3))
                t["fps"] = min(t["fps"], best_time(fps, 1))
                t["numpy"] = min(t["numpy"], best_time(loop, 1))
        print(
            f"{f'{n:,} x {d}':34} {t['vorn1']:8.3f} {t['vorn2']:8.3f} {t['fps']:8.3f} "
            f"{t['numpy']:8.3f} {t['vorn1'] / t['fps']:9.3f} {t['vorn1'] / t['numpy']:7.3f} "
            f"{t['vorn1'] / t['vorn2']:5.2f}"
        )
    print()


def run_embedding_kmedoids_scale_case(n=100_000, d=384, count=100):
    """k-medoids where fasterpam's n x n matrix cannot go: seconds and peak memory growth, each
    thread count in a fresh interpreter. Aim: finishes within the input + 1 GiB."""
    code = "\n".join(
        [
            "import resource, time, vorn",
            "from vorn import _core",
            f"import sys; sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})",
            "from bench import clustered_embeddings",
            f"a = clustered_embeddings({n}, {d})",
            "before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss",
            "with vorn.num_threads(int(sys.argv[1])):",
            "    start = time.perf_counter()",
            f"    _core.sample_centroid_kmedoids_numpy(a, {count}, 7, 50)",
            "    seconds = time.perf_counter() - start",
            "grown = (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) / 1024.0",
            "print(seconds, grown, a.nbytes / 2**20)",
        ]
    )
    for threads in (1, 2):
        out = subprocess.run(
            [sys.executable, "-c", code, str(threads)], capture_output=True, text=True, check=True
        )
        seconds, grown, input_mb = map(float, out.stdout.split())
        print(
            f"embeddings-kmedoids {n:,} x {d}, count {count}, 50 swaps, {threads} thread(s): "
            f"{seconds:.1f} s, peak memory growth {grown:.0f} MB over {input_mb:.0f} MB of "
            "points (aim: finishes, growth <= 1 GiB; moonshot under 60 s on all threads)"
        )
    print()


# Peak memory growth of each function on a 2e5 x 768 embedding set, float32 and float64, in a
# fresh interpreter per call. Calls that would run for minutes (mean dispersion is quadratic)
# are measured over their first seconds, when every copy and buffer has been made.
EMBEDDING_MEMORY_CALLS = {
    "bbox_volume": (),
    "hull_volume": (),
    "covariance_volume": (),
    "covariance_log_volume": (),
    "mean_dispersion": (),
    "sample_uniform": (100, 5),
    "sample_centroid_uniform": (100, 5),
    "sample_centroid_fps": (64, 5),
    "sample_centroid_voxel": (100, 5, 0.5),
    "sample_centroid_kmedoids": (16, 5, 1),
    "sample_centroid_stratified": (100, 5, 16, 5),
}


def embedding_memory_growth_mb(name, dtype, n=200_000, d=768, seconds=20.0):
    code = "\n".join(
        [
            "import os, resource, threading, numpy as np",
            "from vorn import _core",
            f"a = np.random.default_rng(7).standard_normal(({n}, {d}), dtype=np.{dtype})",
            f"args = (a,) + {EMBEDDING_MEMORY_CALLS[name]!r}",
            "failed = []",
            "def run():",
            "    try:",
            f"        _core._{name}_array(*args)",
            "    except BaseException as e:",
            "        failed.append(e)",
            "call = threading.Thread(target=run, daemon=True)",
            "before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss",
            f"call.start(); call.join({seconds})",
            "after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss",
            "print((after - before) / 1024.0, 'failed' if failed else call.is_alive(), flush=True)",
            "os._exit(0)",
        ]
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    if out.returncode != 0 or not out.stdout:
        return float("nan"), "!"  # the process ended (e.g. no memory for a table)
    grown, state = out.stdout.split()
    return float(grown), {"True": "*", "False": " "}.get(state, "!")


def run_embedding_memory_cases():
    """Peak memory growth per function on 2e5 x 768; aim: <= 0.25 x the input + O(n)."""
    print(
        f"{'embeddings-memory, 200,000 x 768':34} {'float32 MB':>11} {'/input':>7} "
        f"{'float64 MB':>11} {'/input':>7}  (input 586 / 1172 MB; * stopped after 20 s, "
        "! failed)"
    )
    for name in EMBEDDING_MEMORY_CALLS:
        row = f"{name:34}"
        for dtype, size in (("float32", 585.9), ("float64", 1171.9)):
            grown, mark = embedding_memory_growth_mb(name, dtype)
            row += f" {grown:10.1f}{mark} {grown / size:7.3f}"
        print(row)
    print()


def two_threads(fn):
    def run():
        with vorn.num_threads(2):
            return fn()

    return run


def main():
    pattern = sys.argv[1] if len(sys.argv) > 1 else ""
    print(
        f"machine: {platform.machine()}, {os.cpu_count()} hardware threads, "
        f"{platform.python_implementation()} {platform.python_version()}, "
        f"numpy {np.__version__}, vorn on {vorn.get_num_threads()} threads\n"
    )
    # First, while this process is small: a child started from a large parent inherits
    # the parent's peak resident size, which would hide the child's own peak.
    sections = [
        ("memory", run_memory_cases),
        ("python threads", run_python_threads_case),
        ("interrupt", run_interrupt_cases),
        ("hull accuracy", run_hull_accuracy_sweep),
        ("embeddings-memory", run_embedding_memory_cases),
        ("embeddings-fps", run_embedding_fps_cases),
    ]
    for name, run in sections:
        if pattern in name:
            run()
    if pattern == "embeddings-kmedoids-scale":  # half an hour or more: only when asked by name
        run_embedding_kmedoids_scale_case()
    run_overhead_cases(pattern)
    print(
        f"{'case':62} {'vorn 1t':>9} {'vorn all':>9} {'peer':>9} {'ratio 1t':>8} "
        f"{'ratio':>7} {'x2t':>5} {'x16t~':>6}  goal; peer (times in ms)"
    )
    for label, peer, goal, setup, alternations in CASES:
        if pattern not in label:
            continue
        try:
            ours, theirs = setup()
        except ImportError as e:
            print(f"{label:62} peer not installed ({e}); {peer}")
            continue
        ours_1t = one_thread(ours)
        ours_1t()
        ours()
        theirs()  # warm up all three
        t_1t = t_ours = t_theirs = float("inf")
        for _ in range(alternations):  # alternate, so that all see the same machine load
            t_1t = min(t_1t, best_time(ours_1t, 3))
            t_ours = min(t_ours, best_time(ours, 3))
            t_theirs = min(t_theirs, best_time(theirs, 3))
        print(
            f"{label:62} {t_1t * 1e3:9.2f} {t_ours * 1e3:9.2f} {t_theirs * 1e3:9.2f} "
            f"{t_theirs / t_1t:8.2f} {t_theirs / t_ours:7.2f} {t_1t / t_ours:5.2f} "
            f"{estimate(t_1t, t_ours):6.1f}  {goal}; {peer}"
        )


if __name__ == "__main__":
    main()
