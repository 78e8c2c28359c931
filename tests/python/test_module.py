"""The module's calling conventions: binding, conversion, error rewriting, registration."""

import inspect
import subprocess
import sys
import textwrap

import pytest

import vorn
from vorn import _core

REGISTRATION_ORDER = [
    "bbox_volume",
    "hull_volume",
    "covariance_volume",
    "mean_dispersion",
    "bbox_volume_numpy",
    "hull_volume_numpy",
    "covariance_volume_numpy",
    "mean_dispersion_numpy",
    "sample_centroid_uniform",
    "sample_centroid_fps",
    "sample_centroid_kmedoids",
    "sample_centroid_voxel",
    "sample_centroid_stratified",
    "sample_uniform",
    "sample_centroid_uniform_numpy",
    "sample_centroid_fps_numpy",
    "sample_centroid_kmedoids_numpy",
    "sample_centroid_voxel_numpy",
    "sample_centroid_stratified_numpy",
    "sample_uniform_numpy",
]
PARAMETERS = {
    "bbox_volume": "(points)",
    "hull_volume": "(points)",
    "covariance_volume": "(points)",
    "mean_dispersion": "(points)",
    "sample_uniform": "(points, count, seed)",
    "sample_centroid_uniform": "(points, count, seed)",
    "sample_centroid_fps": "(points, count, seed)",
    "sample_centroid_voxel": "(points, count, seed, voxel_size)",
    "sample_centroid_kmedoids": "(points, count, seed, max_iterations)",
    "sample_centroid_stratified": "(points, count, seed, num_strata, max_iterations)",
}


def test_all_lists_functions_in_registration_order():
    assert _core.__all__ == REGISTRATION_ORDER
    assert vorn.PanicException is _core.PanicException


@pytest.mark.parametrize("name", REGISTRATION_ORDER)
def test_text_signature_and_no_docstring(name):
    function = getattr(_core, name)
    assert str(inspect.signature(function)) == PARAMETERS[name.removesuffix("_numpy")]
    assert function.__doc__ is None
    assert function.__module__ == "vorn._core"
    assert function.__self__ is _core


def test_panic_exception_is_a_base_exception_only():
    assert issubclass(vorn.PanicException, BaseException)
    assert not issubclass(vorn.PanicException, Exception)


@pytest.mark.parametrize(
    "call, message",
    [
        (
            lambda: _core.bbox_volume(),
            "bbox_volume() missing 1 required positional argument: 'points'",
        ),
        (
            lambda: _core.bbox_volume([[1.0]], [[2.0]]),
            "bbox_volume() takes 1 positional arguments but 2 were given",
        ),
        (
            lambda: _core.bbox_volume([[1.0]], points=[[2.0]]),
            "bbox_volume() got multiple values for argument 'points'",
        ),
        (
            lambda: _core.bbox_volume(pts=[[1.0]]),
            "bbox_volume() got an unexpected keyword argument 'pts'",
        ),
        (
            lambda: _core.mean_dispersion_numpy(points=1, other=2),
            "mean_dispersion_numpy() got an unexpected keyword argument 'other'",
        ),
    ],
    ids=["missing", "too-many", "multiple", "unexpected", "first-bad-keyword-ends-binding"],
)
def test_binding_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_keyword_binding():
    assert _core.bbox_volume(points=[[0.0]]) == 0.0


def test_binding_lists_several_missing_parameters():
    with pytest.raises(TypeError) as info:
        _core.sample_uniform()
    assert str(info.value) == (
        "sample_uniform() missing 3 required positional arguments: 'points', 'count', and 'seed'"
    )
    with pytest.raises(TypeError) as info:
        _core.sample_uniform([[0.0]])
    assert (
        str(info.value)
        == "sample_uniform() missing 2 required positional arguments: 'count' and 'seed'"
    )


def test_integer_conversion():
    class Index:
        def __index__(self):
            return 2

    points = [[0.0], [1.0], [2.0]]
    assert len(_core.sample_uniform(points, True, 0)) == 1
    assert len(_core.sample_uniform(points, Index(), 0)) == 2
    assert _core.sample_uniform(points, 3, 2**64 - 1) == _core.sample_uniform(points, 3, 2**64 - 1)
    with pytest.raises(
        TypeError, match=r"^argument 'count': 'float' object cannot be interpreted as an integer$"
    ):
        _core.sample_uniform(points, 1.5, 0)
    for seed in (-1, 2**64):
        with pytest.raises(OverflowError) as info:
            _core.sample_uniform(points, 1, seed)
        assert not str(info.value).startswith("argument")


def test_later_argument_error_wins_over_dimension_error():
    with pytest.raises(OverflowError):
        _core.sample_uniform([[1.0], [1.0, 2.0]], -1, 0)
    with pytest.raises(TypeError, match="^argument 'seed': "):
        _core.sample_uniform([[1.0], [1.0, 2.0]], 1, "x")


def test_points_error_wins_over_later_arguments():
    with pytest.raises(TypeError, match="^argument 'points': "):
        _core.sample_uniform("ab", -1, 0)


def test_type_error_rewriting_keeps_cause_and_spares_subclasses():
    class Cause(Exception):
        pass

    class BadFloat:
        def __float__(self):
            try:
                raise Cause("inner")
            except Cause as e:
                raise TypeError("no float here") from e

    class SubTypeError(TypeError):
        pass

    class SubFloat:
        def __float__(self):
            raise SubTypeError("subclass passes unchanged")

    with pytest.raises(TypeError) as info:
        _core.bbox_volume([[BadFloat()]])
    assert str(info.value) == "argument 'points': no float here"
    assert isinstance(info.value.__cause__, Cause)

    with pytest.raises(SubTypeError) as info:
        _core.bbox_volume([[SubFloat()]])
    assert str(info.value) == "subclass passes unchanged"


def test_empty_selection_is_a_list_not_none():
    assert _core.sample_uniform([], 3, 0) == []


def run_python(code):
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True
    )


def test_second_initialisation_returns_the_same_module():
    result = run_python(
        """
        import sys, importlib
        import vorn._core as first
        del sys.modules["vorn._core"]
        import vorn._core as second
        assert first is second
        print("same")
        """
    )
    assert result.stdout.strip() == "same", result.stderr


def test_import_and_sequence_forms_work_without_numpy():
    result = run_python(
        """
        import sys
        sys.modules["numpy"] = None  # any import of numpy now fails
        import vorn
        from vorn import _core
        assert _core.bbox_volume([[0.0, 0.0], [1.0, 2.0]]) == 2.0
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
        """
    )
    assert result.stdout.splitlines() == [
        "vorn.sample_uniform() needs NumPy (pip install numpy); "
        "without NumPy, vorn._core.sample_uniform() takes a list of lists",
        "panic",
    ], result.stderr


def test_module_stays_usable_after_numpy_failure():
    result = run_python(
        """
        import sys
        sys.modules["numpy"] = None
        from vorn import _core
        for _ in range(2):
            try:
                _core.mean_dispersion_numpy([[1.0]])
            except _core.PanicException:
                pass
        del sys.modules["numpy"]
        import numpy
        print(_core.mean_dispersion_numpy(numpy.array([[0.0, 0.0], [3.0, 4.0]])))
        """
    )
    assert result.stdout.strip() == "5.0", result.stderr
