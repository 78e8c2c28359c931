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
