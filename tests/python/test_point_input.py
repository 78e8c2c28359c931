"""Reading points from sequences and from NumPy arrays."""

import struct
import sys

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

from vorn import _core


def bits(x):
    return struct.pack("<d", x)


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


NO_DIMENSION = "ValueError: Points must have at least one dimension"
CAST = "TypeError: argument 'points': '{}' object cannot be cast as '{}'"
SEQUENCE_ERRORS = {
    "empty-point": ([[]], NO_DIMENSION),
    "empty-first": ([[], [1.0]], NO_DIMENSION),
    "short-second": ([[1.0, 2.0], [3.0]], "ValueError: Point 1 has dimension 1, expected 2"),
    "first-mismatch-only": (
        [[1.0], [2.0, 3.0], []],
        "ValueError: Point 1 has dimension 2, expected 1",
    ),
    "str": ("ab", "TypeError: argument 'points': Can't extract `str` to `Vec`"),
    "str-point": (["ab"], "TypeError: argument 'points': Can't extract `str` to `Vec`"),
    "int": (5, CAST.format("int", "Sequence")),
    "int-point": ([5], CAST.format("int", "Sequence")),
    "dict": ({}, CAST.format("dict", "Sequence")),
    "generator": ((p for p in [[1.0]]), CAST.format("generator", "Sequence")),
    "str-coordinate": ([[1.0, "x"]], "TypeError: argument 'points': must be real number, not str"),
    "later-conversion-error-wins": (
        [[1.0, 2.0], [3.0], [None]],
        "TypeError: argument 'points': must be real number, not NoneType",
    ),
    "huge-int-unprefixed": ([[10**400]], "OverflowError: int too large to convert to float"),
    "iteration-error-passes": (Broken(), "KeyError: 'boom'"),
    "own-iterator": (
        Reversed([[1.0, 2.0], [3.0]]),
        "ValueError: Point 1 has dimension 2, expected 1",
    ),
    # Sizes guessed from len() must not be reserved before the points are seen.
    "long-first-point": (
        [[0.0] * 10**6] + [[0.0]] * (10**6 - 1),
        "ValueError: Point 1 has dimension 1, expected 1000000",
    ),
    "overstated-len": (
        Overstated([[1.0, 2.0], [3.0]]),
        "ValueError: Point 1 has dimension 1, expected 2",
    ),
}
NUMPY_ERRORS = {
    "rank-1": (np.zeros(3), CAST.format("ndarray", "ndarray")),
    "rank-3": (np.zeros((2, 2, 2)), CAST.format("ndarray", "ndarray")),
    "float32": (np.zeros((2, 2), dtype=np.float32), CAST.format("ndarray", "ndarray")),
    "big-endian": (np.zeros((2, 2), dtype=">f8"), CAST.format("ndarray", "ndarray")),
    "list": ([[1.0]], CAST.format("list", "ndarray")),
    "no-columns": (np.zeros((4, 0)), NO_DIMENSION),
    "empty": (np.zeros((0, 0)), NO_DIMENSION),
}


INPUT_ERRORS = {
    **{"list-" + k: (_core.bbox_volume, *case) for k, case in SEQUENCE_ERRORS.items()},
    **{"numpy-" + k: (_core.bbox_volume_numpy, *case) for k, case in NUMPY_ERRORS.items()},
}


@pytest.mark.parametrize("call, points, message", INPUT_ERRORS.values(), ids=INPUT_ERRORS.keys())
def test_input_errors(call, points, message):
    with pytest.raises(Exception) as caught:
        call(points)
    assert f"{type(caught.value).__name__}: {caught.value}" == message


ANY_KIND = {
    "ints-and-tuples": ([[1, 2], (3, 4.5)], 2.0 * 2.5),
    "bools": ([[True, 2], [0, 0]], 2.0),
    "bytes-as-points": ([b"\x01\x02", bytearray(b"\x03\x05")], 2.0 * 3.0),
    "numpy-scalars": ([[np.float32(1.5)], [np.int64(4)]], 2.5),
    "array-as-sequence": (np.array([[0.0, 0.0], [1.0, 2.0]]), 2.0),
}


@pytest.mark.parametrize("points, volume", ANY_KIND.values(), ids=ANY_KIND.keys())
def test_sequence_form_accepts_numbers_of_any_kind(points, volume):
    assert _core.bbox_volume(points) == volume


def test_numpy_form_accepts_subclasses_and_empty_rows():
    class Sub(np.ndarray):
        pass

    assert _core.bbox_volume_numpy(np.array([[0.0, 0.0], [1.0, 2.0]]).view(Sub)) == 2.0
    assert _core.bbox_volume_numpy(np.zeros((0, 3))) == 0.0


VIEWS = {
    "c-order": lambda a: a,
    "transposed": lambda a: a.T,
    "fortran": np.asfortranarray,
    "reversed-rows-every-other-column": lambda a: a[::-1, ::2],
    "negative-both": lambda a: a[::-2, ::-1],
    "column-slice": lambda a: a[:, 1:],
}


@settings(max_examples=100, deadline=None)
@given(
    hnp.arrays(
        np.float64,
        hnp.array_shapes(min_dims=2, max_dims=2, max_side=12),
        elements=st.floats(allow_nan=True, allow_infinity=True, width=64),
    ),
    st.sampled_from(list(VIEWS)),
)
def test_both_forms_give_identical_bits_on_every_stride(a, view):
    a = VIEWS[view](a)
    for measure in ("bbox_volume", "mean_dispersion") if a.shape[1] else ():
        from_numpy = getattr(_core, measure + "_numpy")(a)
        assert bits(from_numpy) == bits(getattr(_core, measure)(a.tolist()))


def test_unallocatable_point_set_raises_memory_error():
    # A zero-stride view claims 2^41 rows of 4 doubles (64 TiB) without owning them.
    huge = np.lib.stride_tricks.as_strided(np.zeros(1), shape=(2**41, 4), strides=(0, 0))
    for _ in range(3):  # nothing is left behind: the module keeps working
        with pytest.raises(MemoryError):
            _core.bbox_volume_numpy(huge)
    assert _core.bbox_volume_numpy(np.array([[0.0], [2.0]])) == 2.0


def test_array_is_neither_written_nor_retained():
    a = np.arange(12.0).reshape(4, 3)
    before = a.copy()
    refs = sys.getrefcount(a)
    _core.mean_dispersion_numpy(a)
    assert sys.getrefcount(a) == refs
    assert np.array_equal(a, before)
