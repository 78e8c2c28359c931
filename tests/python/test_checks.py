"""The package's functions: every input form converts to the points the core would read, bad
arguments fail before the core runs with messages that say what was expected, and results
are the core's indices in the core's order."""

import importlib.metadata
import math
from functools import partial

import pytest

import vorn
from vorn import _checks, _core

np = pytest.importorskip("numpy")

CLOUD = np.random.default_rng(7).normal(size=(300, 3))


def frame(a):
    return pytest.importorskip("pandas").DataFrame(a, columns=["x", "y", "z"])


def tensor(a):
    return pytest.importorskip("torch").from_numpy(a.astype(np.float32))


# Each form holds the points of its reference, a float64 array.
FORMS = {
    "float32": (lambda a: a.astype(np.float32), lambda a: a.astype(np.float32).astype(np.float64)),
    "int32": (lambda a: (a * 100).astype(np.int32), lambda a: (a * 100).astype(np.int32) * 1.0),
    "bool": (lambda a: a > 0, lambda a: (a > 0) * 1.0),
    "big-endian": (lambda a: a.astype(">f8"), lambda a: a),
    "list-of-tuples": (lambda a: [tuple(row) for row in a.tolist()], lambda a: a),
    "list-of-ints": (lambda a: (a * 10).astype(int).tolist(), lambda a: (a * 10).astype(int) * 1.0),
    "dataframe": (frame, lambda a: a),
    "torch-tensor": (tensor, lambda a: a.astype(np.float32).astype(np.float64)),
}


@pytest.mark.parametrize("form", FORMS.keys())
def test_every_form_gives_the_core_result_of_its_float64_points(form):
    make, reference = FORMS[form]
    points, expected = make(CLOUD), reference(CLOUD)
    assert vorn.mean_dispersion(points).hex() == _core.mean_dispersion_numpy(expected).hex()
    chosen = vorn.sample_centroid_kmedoids(points, 5, seed=3, max_iterations=4)
    assert chosen.tolist() == _core.sample_centroid_kmedoids_numpy(expected, 5, 3, 4)


def test_float64_arrays_are_read_in_place():
    for a in (CLOUD, np.asfortranarray(CLOUD), CLOUD[::3, ::2]):
        assert _checks.as_points(a, True, "bbox_volume") is a


# Every package function: its arguments, and the arguments of the core call it must agree with.
CALLS = {
    "bbox_volume": ((), {}, ()),
    "hull_volume": ((), {}, ()),
    "covariance_volume": ((), {}, ()),
    "mean_dispersion": ((), {}, ()),
    "sample_uniform": ((9,), {"seed": 5}, (9, 5)),
    "sample_uniform:long": ((280,), {"seed": 5}, (280, 5)),
    "sample_centroid_uniform": ((9,), {"seed": 5}, (9, 5)),
    "sample_centroid_fps": ((9,), {}, (9, 0)),
    "sample_centroid_voxel": ((9,), {"voxel_size": 0.7, "seed": 5}, (9, 5, 0.7)),
    "sample_centroid_kmedoids": ((9,), {"seed": 5}, (9, 5, 100)),
    "sample_centroid_stratified": ((9,), {"seed": 5}, (9, 5, 8, 20)),
}


@pytest.mark.parametrize("key", CALLS.keys())
def test_results_are_the_core_results(key):
    name = key.split(":")[0]
    args, kwargs, core_args = CALLS[key]
    package = lambda a: getattr(vorn, name)(a, *args, **kwargs)
    got, expected = package(CLOUD), getattr(_core, name + "_numpy")(CLOUD, *core_args)
    if isinstance(expected, float):
        assert type(got) is float and got.hex() == expected.hex()
    else:
        assert got.dtype == np.intp and got.tolist() == expected
        assert package([]).dtype == np.intp and package([]).shape == (0,)


NAN_ROW = [[0.0, 1.0], [2.0, math.nan]]
DTYPE = "TypeError: points must hold real numbers (a float, integer or bool dtype), got dtype"
FINITE = "ValueError: points must be finite: point 1 has coordinate"
SHAPE = "ValueError: points must be 2-d, one row per point: got an array of shape"
POINTS_ERRORS = {
    "str": ("0 1", "TypeError: points must be a 2-d array-like of real numbers, got str"),
    "str-dtype": (np.array([["a", "b"]]), DTYPE + " <U1"),
    "complex": (np.ones((2, 2), complex), DTYPE + " complex128"),
    "object": (
        [[1.0, object()]],
        "TypeError: points must hold real numbers convertible to float64",
    ),
    "1-d": ([1.0, 2.0], SHAPE + " (2,) (use points.reshape(-1, 1) for one-dimensional points)"),
    "4-d": (np.zeros((2, 2, 2, 2)), SHAPE + " (2, 2, 2, 2) (or 3-d for a batch of clouds)"),
    "no-columns": (np.zeros((4, 0)), "ValueError: points must have at least one coordinate each"),
    "ragged": (
        [[1.0, 2.0], [3.0], [4.0, 5.0, 6.0]],
        "ValueError: Point 1 has dimension 1, expected 2",
    ),
    "nan": (NAN_ROW, FINITE + " nan (pass check_finite=False to skip this check)"),
    "infinity-first-reported": ([[0.0, 0.0], [-math.inf, 1.0], [math.nan, 0.0]], FINITE + " -inf"),
}
RANGE = "ValueError: {} must be an integer in [{}, 2**64), got {}"
VOXEL = "ValueError: voxel_size must be a finite number greater than 0, got"
ERRORS = {
    **{k: (partial(vorn.bbox_volume, p), message) for k, (p, message) in POINTS_ERRORS.items()},
    "negative-count": (lambda: vorn.sample_uniform(CLOUD, -1), RANGE.format("count", 0, -1)),
    "float-count": (
        lambda: vorn.sample_uniform(CLOUD, 2.0),
        "TypeError: count must be an integer, got float",
    ),
    "seed-too-large": (
        lambda: vorn.sample_uniform(CLOUD, 1, seed=2**64),
        RANGE.format("seed", 0, 2**64),
    ),
    "positional-seed": (
        lambda: vorn.sample_uniform(CLOUD, 1, 7),
        "TypeError: sample_uniform() takes 2 positional arguments but 3 were given",
    ),
    "zero-voxel": (lambda: vorn.sample_centroid_voxel(CLOUD, 1, voxel_size=0), VOXEL + " 0.0"),
    "nan-voxel": (
        lambda: vorn.sample_centroid_voxel(CLOUD, 1, voxel_size=math.nan),
        VOXEL + " nan",
    ),
    "str-voxel": (
        lambda: vorn.sample_centroid_voxel(CLOUD, 1, voxel_size="1"),
        "TypeError: voxel_size must be a real number, got str",
    ),
    "no-strata": (
        lambda: vorn.sample_centroid_stratified(CLOUD, 1, num_strata=0),
        RANGE.format("num_strata", 1, 0),
    ),
    "negative-iterations": (
        lambda: vorn.sample_centroid_kmedoids(CLOUD, 1, max_iterations=-1),
        RANGE.format("max_iterations", 0, -1),
    ),
    "legacy-random-state": (
        lambda: vorn.sample_uniform(CLOUD, 1, seed=np.random.RandomState(0)),
        "TypeError: seed must be an integer or a numpy.random.Generator, got RandomState",
    ),
    "bool-count": (
        lambda: vorn.sample_uniform(CLOUD, True),
        "TypeError: count must be an integer, got bool",
    ),
    "masked": (
        partial(vorn.bbox_volume, np.ma.masked_invalid(NAN_ROW)),
        "TypeError: points must not be a masked array",
    ),
    # With the check skipped, the core's own failure on a NaN reads as what the data held.
    **{
        f"unchecked-nan-{name}": (
            partial(getattr(vorn, name), NAN_ROW, 1, check_finite=False, **options),
            f"ValueError: {name} needs finite points: point 1 has coordinate nan",
        )
        for name, options in [
            ("sample_centroid_uniform", {}),
            ("sample_centroid_fps", {}),
            ("sample_centroid_voxel", {"voxel_size": 1.0}),
            ("sample_centroid_kmedoids", {}),
            ("sample_centroid_stratified", {}),
        ]
    },
}


@pytest.mark.parametrize("call, message", ERRORS.values(), ids=ERRORS.keys())
def test_bad_arguments_fail_before_the_core_with_a_clear_message(call, message):
    with pytest.raises((TypeError, ValueError)) as caught:
        call()
    assert f"{type(caught.value).__name__}: {caught.value}".startswith(message)


def test_finiteness_check_passes_finite_sums_that_overflow_and_can_be_skipped():
    assert vorn.bbox_volume([[1e308], [-1e308], [1e308]]) == math.inf  # the extent overflows
    assert math.isnan(vorn.mean_dispersion(NAN_ROW, check_finite=False))


def test_a_generator_seed_is_one_64_bit_draw():
    rng, reference = np.random.default_rng(5), np.random.default_rng(5)
    drawn = reference.integers(2**64, dtype=np.uint64)
    sample = partial(vorn.sample_centroid_voxel, CLOUD, 8, voxel_size=0.5)
    assert sample(seed=rng).tolist() == sample(seed=drawn).tolist()
    assert rng.integers(2**64, dtype=np.uint64) == reference.integers(2**64, dtype=np.uint64)


def test_version_is_the_installed_distribution_version():
    assert vorn.__version__ == importlib.metadata.version("vorn")
