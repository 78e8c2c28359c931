"""The module's calling conventions: binding, conversion of points and arguments, error
rewriting, registration."""

import inspect
import subprocess
import sys
import textwrap
from functools import partial

import numpy
import pytest

import vorn
from vorn import _core

MEASURES = ["bbox_volume", "hull_volume", "covariance_volume", "mean_dispersion"]
CENTROID = ["uniform", "fps", "kmedoids", "voxel", "stratified"]
SAMPLERS = ["sample_centroid_" + s for s in CENTROID] + ["sample_uniform"]
REGISTRATION_ORDER = (
    MEASURES + [m + "_numpy" for m in MEASURES] + SAMPLERS + [s + "_numpy" for s in SAMPLERS]
)
PARAMETERS = {
    **dict.fromkeys(MEASURES, "(points)"),
    **dict.fromkeys(SAMPLERS, "(points, count, seed)"),
    "sample_centroid_voxel": "(points, count, seed, voxel_size)",
    "sample_centroid_kmedoids": "(points, count, seed, max_iterations)",
    "sample_centroid_stratified": "(points, count, seed, num_strata, max_iterations)",
}


def test_registration_and_exception_class():
    assert _core.__all__ == REGISTRATION_ORDER
    assert vorn.PanicException is _core.PanicException
    assert issubclass(vorn.PanicException, BaseException)
    assert not issubclass(vorn.PanicException, Exception)


@pytest.mark.parametrize("name", REGISTRATION_ORDER)
def test_text_signature_and_no_docstring(name):
    function = getattr(_core, name)
    assert str(inspect.signature(function)) == PARAMETERS[name.removesuffix("_numpy")]
    assert function.__doc__ is None
    assert function.__module__ == "vorn._core"
    assert function.__self__ is _core


class Index:
    def __index__(self):
        return 2


class Cause(Exception):
    pass


class BadFloat:
    def __float__(self):
        raise TypeError("no float here") from Cause("inner")


class SubTypeError(TypeError):
    pass


class SubFloat:
    def __float__(self):
        raise SubTypeError("subclass passes unchanged")


class Overstated(list):
    """A list whose len() claims far more points than it holds."""

    def __len__(self):
        return 2**60


class Reversed(list):
    """A list that iterates backwards: the first point read decides the dimension."""

    def __iter__(self):
        return reversed(list(super().__iter__()))


class Broken:
    def __len__(self):
        raise RuntimeError("len is only a hint")

    def __getitem__(self, i):
        if i == 1:
            raise KeyError("boom")
        return [1.0]


DIM = "ValueError: Point 1 has dimension {}, expected {}"
NO_DIMENSION = "ValueError: Points must have at least one dimension"
CAST = "TypeError: argument 'points': '{}' object cannot be cast as '{}'"
SEQUENCE_ERRORS = {
    "empty-first": ([[], [1.0]], NO_DIMENSION),
    "short-second": ([[1.0, 2.0], [3.0]], DIM.format(1, 2)),
    "first-mismatch-only": ([[1.0], [2.0, 3.0], []], DIM.format(2, 1)),
    "str": ("ab", "TypeError: argument 'points': Can't extract `str` to `Vec`"),
    "int": (5, CAST.format("int", "Sequence")),
    "int-point": ([5], CAST.format("int", "Sequence")),
    "later-conversion-error-wins": (
        [[1.0, 2.0], [3.0], [None]],
        "TypeError: argument 'points': must be real number, not NoneType",
    ),
    "huge-int-unprefixed": ([[10**400]], "OverflowError: int too large to convert to float"),
    "iteration-error-passes": (Broken(), "KeyError: 'boom'"),
    "own-iterator": (Reversed([[1.0, 2.0], [3.0]]), DIM.format(2, 1)),
    # Sizes guessed from len() must not be reserved before the points are seen.
    "long-first-point": ([[0.0] * 10**6] + [[0.0]] * (10**6 - 1), DIM.format(1, 1000000)),
    "overstated-len": (Overstated([[1.0, 2.0], [3.0]]), DIM.format(1, 2)),
}
NUMPY_ERRORS = {
    "rank-1": (numpy.zeros(3), CAST.format("ndarray", "ndarray")),
    "float32": (numpy.zeros((2, 2), dtype=numpy.float32), CAST.format("ndarray", "ndarray")),
    "big-endian": (numpy.zeros((2, 2), dtype=">f8"), CAST.format("ndarray", "ndarray")),
    "list": ([[1.0]], CAST.format("list", "ndarray")),
    "no-columns": (numpy.zeros((4, 0)), NO_DIMENSION),
    "empty": (numpy.zeros((0, 0)), NO_DIMENSION),
}


ONE = [[0.0], [1.0], [2.0]]
BAD = [[1.0], [1.0, 2.0]]  # a dimension error that later arguments' errors must win over
MESSAGES = {
    **{"list-" + k: (partial(_core.bbox_volume, p), m) for k, (p, m) in SEQUENCE_ERRORS.items()},
    **{
        "numpy-" + k: (partial(_core.bbox_volume_numpy, p), m) for k, (p, m) in NUMPY_ERRORS.items()
    },
    "missing": (
        lambda: _core.bbox_volume(),
        "TypeError: bbox_volume() missing 1 required positional argument: 'points'",
    ),
    "missing-three": (
        lambda: _core.sample_uniform(),
        "TypeError: sample_uniform() missing 3 required positional arguments: "
        "'points', 'count', and 'seed'",
    ),
    "missing-two": (
        lambda: _core.sample_uniform([[0.0]]),
        "TypeError: sample_uniform() missing 2 required positional arguments: 'count' and 'seed'",
    ),
    "too-many": (
        lambda: _core.bbox_volume([[1.0]], [[2.0]]),
        "TypeError: bbox_volume() takes 1 positional arguments but 2 were given",
    ),
    "multiple": (
        lambda: _core.bbox_volume([[1.0]], points=[[2.0]]),
        "TypeError: bbox_volume() got multiple values for argument 'points'",
    ),
    "unexpected": (
        lambda: _core.bbox_volume(pts=[[1.0]]),
        "TypeError: bbox_volume() got an unexpected keyword argument 'pts'",
    ),
    "first-bad-keyword-ends-binding": (
        lambda: _core.mean_dispersion_numpy(points=1, other=2),
        "TypeError: mean_dispersion_numpy() got an unexpected keyword argument 'other'",
    ),
    "float-count": (
        lambda: _core.sample_uniform(ONE, 1.5, 0),
        "TypeError: argument 'count': 'float' object cannot be interpreted as an integer",
    ),
    "seed-too-large": (
        lambda: _core.sample_uniform(ONE, 1, 2**64),
        "OverflowError: int too big to convert",
    ),
    "count-error-wins": (
        lambda: _core.sample_uniform(BAD, -1, 0),
        "OverflowError: can't convert negative int to unsigned",
    ),
    "seed-error-wins": (
        lambda: _core.sample_uniform(BAD, 1, "x"),
        "TypeError: argument 'seed': 'str' object cannot be interpreted as an integer",
    ),
    "points-error-wins": (
        lambda: _core.sample_uniform("ab", -1, 0),
        "TypeError: argument 'points': Can't extract `str` to `Vec`",
    ),
    "str-voxel-size": (
        lambda: _core.sample_centroid_voxel(ONE, 3, 0, "1.0"),
        "TypeError: argument 'voxel_size': must be real number, not str",
    ),
    "type-error-rewritten": (
        lambda: _core.bbox_volume([[BadFloat()]]),
        "TypeError: argument 'points': no float here",
    ),
    "subclass-unchanged": (
        lambda: _core.bbox_volume([[SubFloat()]]),
        "SubTypeError: subclass passes unchanged",
    ),
}


@pytest.mark.parametrize("call, message", MESSAGES.values(), ids=MESSAGES.keys())
def test_binding_and_conversion_messages(call, message):
    with pytest.raises(Exception) as caught:
        call()
    assert f"{type(caught.value).__name__}: {caught.value}" == message


def test_rewritten_type_error_keeps_its_cause():
    with pytest.raises(TypeError) as caught:
        _core.bbox_volume([[BadFloat()]])
    assert isinstance(caught.value.__cause__, Cause)


def test_keywords_and_integer_conversions_bind():
    assert _core.bbox_volume(points=[[0.0]]) == 0.0
    assert len(_core.sample_uniform(ONE, True, 0)) == 1
    assert len(_core.sample_uniform(ONE, Index(), 0)) == 2
    assert sorted(_core.sample_uniform(ONE, 3, 2**64 - 1)) == [0, 1, 2]


def run_python(code):
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True
    )


def test_reimport_and_sequence_forms_work_without_numpy_and_numpy_can_come_later():
    result = run_python(
        """
        import sys
        sys.modules["numpy"] = None  # any import of numpy now fails
        import vorn
        from vorn import _core
        del sys.modules["vorn._core"]
        import vorn._core as second  # a second initialisation gives the same module
        assert second is _core
        assert _core.mean_dispersion([[0.0], [1.0], [3.0]]) == 2.0
        try:
            vorn.sample_uniform([[1.0]], 1)
        except ImportError as e:
            print(e)
        try:
            _core.bbox_volume_numpy([[1.0]])
        except vorn.PanicException as e:
            assert str(e).startswith("Failed to access NumPy array API capsule"), e
            print("panic")
        try:  # the failure leaves nothing behind that a later NumPy import would trip over
            _core.mean_dispersion_numpy([[1.0]])
        except _core.PanicException:
            pass
        del sys.modules["numpy"]
        import numpy
        print(_core.mean_dispersion_numpy(numpy.array([[0.0, 0.0], [3.0, 4.0]])))
        """
    )
    assert result.stdout.splitlines() == [
        "vorn.sample_uniform() needs NumPy (pip install numpy); "
        "without NumPy, vorn._core.sample_uniform() takes a list of lists",
        "panic",
        "5.0",
    ], result.stderr
