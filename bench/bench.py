"""vorn against the code its users would otherwise write, as ratios measured in one run.

    python bench/bench.py            # every case
    python bench/bench.py dispersion # cases whose label contains "dispersion"

Each case times vorn and its peer alternately and keeps the best of several rounds; the ratio
is peer time / vorn time, so above 1 means vorn is faster. Memory cases run each side in a
fresh interpreter and compare peak resident memory.
"""

import subprocess
import sys
import time

import numpy as np

import vorn

CASES = []


def case(label, peer, goal, alternations=5):
    """Registers a case: the decorated function builds its inputs and returns (vorn_fn, peer_fn).

    A case whose peer takes tens of seconds asks for fewer alternations."""

    def register(setup):
        CASES.append((label, peer, goal, setup, alternations))
        return setup

    return register


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
    code = "\n".join([
        "import resource, numpy as np, vorn",
        setup,
        "before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss",
        statement,
        "after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss",
        "print((after - before) / 1024.0)",
    ])
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    return float(out.stdout.strip())


rng = np.random.default_rng(7)


@case("bbox_volume_numpy 1,000,000 x 3", "numpy.ptp(a, axis=0).prod()", "within 1.5x")
def _():
    a = rng.random((1_000_000, 3))
    return (lambda: vorn.bbox_volume_numpy(a)), (lambda: np.ptp(a, axis=0).prod())


def scipy_hull_volume(a):
    from scipy.spatial import ConvexHull

    return ConvexHull(a).volume


@case("hull_volume_numpy 1,000,000 x 3 in a cube", "scipy ConvexHull(a).volume", "faster")
def _():
    a = rng.random((1_000_000, 3))
    return (lambda: vorn.hull_volume_numpy(a)), (lambda: scipy_hull_volume(a))


@case("hull_volume_numpy 100,000 x 3 on a sphere", "scipy ConvexHull(a).volume", "within 2x (ratio >= 0.5)")
def _():
    a = rng.standard_normal((100_000, 3))
    a /= np.linalg.norm(a, axis=1)[:, None]
    return (lambda: vorn.hull_volume_numpy(a)), (lambda: scipy_hull_volume(a))


@case("hull_volume_numpy 1,000,000 x 2 in a disc", "scipy ConvexHull(a).volume", "faster")
def _():
    r, t = np.sqrt(rng.random(1_000_000)), rng.random(1_000_000) * 2 * np.pi
    a = np.c_[r * np.cos(t), r * np.sin(t)]
    return (lambda: vorn.hull_volume_numpy(a)), (lambda: scipy_hull_volume(a))


@case("hull_volume_numpy 1,000,000 x 2 on a circle", "scipy ConvexHull(a).volume", "not slower",
      alternations=2)
def _():
    # Every point is a vertex of the hull: the merged polygon drops them all and the exact
    # hull measures the area.
    t = rng.random(1_000_000) * 2 * np.pi
    a = np.c_[np.cos(t), np.sin(t)]
    return (lambda: vorn.hull_volume_numpy(a)), (lambda: scipy_hull_volume(a))


@case("hull_volume_numpy 100,000 x 3 spiral on a sphere", "scipy ConvexHull(a).volume", "not slower",
      alternations=2)
def _():
    # Evenly spread points whose equal triangles make the float sum drift: the exact hull
    # measures the volume.
    i = np.arange(100_000) + 0.5
    phi, theta = np.arccos(1 - 2 * i / 100_000), np.pi * (1 + 5**0.5) * i
    a = np.c_[np.cos(theta) * np.sin(phi), np.sin(theta) * np.sin(phi), np.cos(phi)]
    return (lambda: vorn.hull_volume_numpy(a)), (lambda: scipy_hull_volume(a))


def numpy_covariance_volume(a):
    d = a.shape[1]
    return np.sqrt(abs(np.linalg.det(np.cov(a, rowvar=False) + 1e-8 * np.eye(d))))


@case("covariance_volume_numpy 1,000,000 x 3", "sqrt |det(numpy.cov + 1e-8 I)|", "faster")
def _():
    a = rng.standard_normal((1_000_000, 3))
    return (lambda: vorn.covariance_volume_numpy(a)), (lambda: numpy_covariance_volume(a))


@case("covariance_volume_numpy 100,000 x 64", "sqrt |det(numpy.cov + 1e-8 I)|", "within 3x (ratio >= 0.33)")
def _():
    a = rng.standard_normal((100_000, 64))
    return (lambda: vorn.covariance_volume_numpy(a)), (lambda: numpy_covariance_volume(a))


@case("mean_dispersion_numpy 5,000 x 3", "scipy pdist(a).mean()", "faster")
def _():
    from scipy.spatial.distance import pdist

    a = rng.random((5_000, 3))
    return (lambda: vorn.mean_dispersion_numpy(a)), (lambda: pdist(a).mean())


@case("bbox_volume list 100,000 x 3 (conversion)", "numpy.asarray(lst, dtype=float)", "not slower")
def _():
    lst = rng.random((100_000, 3)).tolist()
    return (lambda: vorn.bbox_volume(lst)), (lambda: np.asarray(lst, dtype=float))


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


@case("sample_centroid_fps_numpy 1,000,000 x 3, count 1,000", "NumPy argmax/minimum loop",
      "at least 5x", alternations=1)
def _():
    small = rng.random((100_000, 3))
    if vorn.sample_centroid_fps_numpy(small, 200, 0) != numpy_fps(small, 200):
        print("  note: farthest-point indices differ from the NumPy loop on 100,000 x 3")
    a = rng.random((1_000_000, 3))
    return (lambda: vorn.sample_centroid_fps_numpy(a, 1000, 0)), (lambda: numpy_fps(a, 1000))


@case("sample_centroid_voxel_numpy 1,000,000 x 3, count 8,000",
      "numpy.unique(floor(a / v).astype(int64), axis=0, return_index=True)", "faster")
def _():
    a = rng.random((1_000_000, 3))
    v = 0.05  # 8,000 occupied voxels
    return (lambda: vorn.sample_centroid_voxel_numpy(a, 8000, 7, v)), (
        lambda: np.unique(np.floor(a / v).astype(np.int64), axis=0, return_index=True))


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
                xs = candidates[lo:lo + chunk]
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


@case("sample_centroid_kmedoids_numpy 2,000 x 8, count 16, 50 swaps",
      "NumPy swap search, full cost per candidate", "at least 20x", alternations=1)
def _():
    a = rng.random((2000, 8))
    start = vorn.sample_centroid_kmedoids_numpy(a, 16, 7, 0)
    if vorn.sample_centroid_kmedoids_numpy(a, 16, 7, 50) != numpy_swap_search(a, start, 50):
        print("  note: k-medoids list differs from the NumPy swap search")
    return (lambda: vorn.sample_centroid_kmedoids_numpy(a, 16, 7, 50)), (
        lambda: numpy_swap_search(a, start, 50))


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
        sums = np.stack([np.bincount(labels, weights=a[:, c], minlength=k) for c in range(a.shape[1])], 1)
        centres[filled] = sums[filled] / sizes[filled, None]
    return labels


@case("sample_centroid_stratified_numpy 100,000 x 16, 16 strata, 20 iterations",
      "NumPy Lloyd loop (distances, argmin, bincount means)", "faster")
def _():
    a = rng.standard_normal((100_000, 16))
    return (lambda: vorn.sample_centroid_stratified_numpy(a, 1000, 7, 16, 20)), (
        lambda: numpy_lloyd(a, 16, 20, 7))


@case("sample_uniform_numpy 10,000,000 x 3, count 1,000",
      "default_rng(seed).permutation(n)[:count]", "within 2x")
def _():
    a = rng.random((10_000_000, 3))
    return (lambda: vorn.sample_uniform_numpy(a, 1000, 7)), (
        lambda: np.random.default_rng(7).permutation(len(a))[:1000])


def run_memory_cases():
    setup = "a = np.random.default_rng(7).random((5000, 3))"
    ours = peak_rss_mb(setup, "vorn.mean_dispersion_numpy(a)")
    theirs = peak_rss_mb(setup + "\nfrom scipy.spatial.distance import pdist", "pdist(a).mean()")
    print(f"peak memory, mean dispersion 5,000 x 3: vorn {ours:.1f} MB, pdist {theirs:.1f} MB\n")


def main():
    pattern = sys.argv[1] if len(sys.argv) > 1 else ""
    # First, while this process is small: a child started from a large parent inherits
    # the parent's peak resident size, which would hide the child's own peak.
    if pattern in "mean_dispersion memory":
        run_memory_cases()
    print(f"{'case':48} {'vorn ms':>10} {'peer ms':>10} {'ratio':>7}  goal; peer")
    for label, peer, goal, setup, alternations in CASES:
        if pattern not in label:
            continue
        ours, theirs = setup()
        ours()
        theirs()  # warm up both
        t_ours = t_theirs = float("inf")
        for _ in range(alternations):  # alternate, so that both see the same machine load
            t_ours = min(t_ours, best_time(ours, 3))
            t_theirs = min(t_theirs, best_time(theirs, 3))
        print(f"{label:48} {t_ours * 1e3:10.2f} {t_theirs * 1e3:10.2f} {t_theirs / t_ours:7.2f}  {goal}; {peer}")


if __name__ == "__main__":
    main()
