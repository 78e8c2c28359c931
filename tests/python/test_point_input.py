"""Reading points from sequences and from NumPy arrays."""

import os
import struct
import subprocess
import sys

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

from vorn import _core
from vorn._checks import as_points


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
    "misaligned": lambda a: offset_copy(a, 1),
    "read-in-place-8-byte-aligned": lambda a: offset_copy(a, 8),
}


def offset_copy(a, offset):
    # C-ordered, `offset` bytes past a 64-byte boundary: read in place when the offset keeps
    # the elements aligned, copied otherwise.
    raw = np.empty(a.nbytes + 128, np.uint8)
    start = -raw.ctypes.data % 64 + offset
    out = raw[start : start + a.nbytes].view(a.dtype).reshape(a.shape)
    out[...] = a
    return out


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


@pytest.mark.skipif(sys.platform != "linux", reason="needs RLIMIT_AS and /proc")
def test_c_ordered_arrays_are_read_in_place_and_others_copied():
    # With the address space capped below the size of a copy (a float32 array's copy is
    # float64, twice its size), only a call that reads the array in place can succeed; the
    # cap leaves room for O(n) working memory.
    script = """
import resource, numpy as np
from vorn import _core
a = np.ones((1 << 21, 8))  # 128 MiB
tall = np.ones((1 << 21, 16), np.float32)  # 128 MiB each
wide = np.ones((4, 1 << 23), np.float32)
_core._bbox_volume_array(tall[:4, ::-1])
with open("/proc/self/statm") as f:
    size = int(f.read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (size + (96 << 20), resource.RLIM_INFINITY))
print(_core.bbox_volume_numpy(a), _core._bbox_volume_array(tall))
print(_core._covariance_volume_array(tall), _core._mean_dispersion_array(wide))
print(_core._sample_centroid_uniform_array(tall, 1, 0))
print(_core._sample_centroid_fps_array(tall, 3, 0))
print(len(_core._sample_centroid_stratified_array(tall, 3, 0, 4, 2)))
print(_core._sample_centroid_voxel_array(tall, 3, 0, 0.5))
print(_core._sample_centroid_kmedoids_array(tall, 1, 0, 5))
for copied in (a[:, ::-1], tall[:, ::-1]):
    try:
        _core._bbox_volume_array(copied)
    except MemoryError:
        print("copy refused")
"""
    done = subprocess.run(
        [sys.executable, "-c", script],
        capture_output=True,
        text=True,
        timeout=300,
        env={**os.environ, "VORN_NUM_THREADS": "1"},
    )
    assert done.stdout.split("\n")[:9] == [
        "0.0 0.0",
        "1.0000000000000003e-64 0.0",
        "[0]",
        "[0, 2097151, 2097151]",
        "3",
        "[0, 433922, 1509470]",
        "[0]",
        "copy refused",
        "copy refused",
    ], done.stderr


ARRAY_FORMS = {
    "bbox_volume": (),
    "hull_volume": (),
    "covariance_volume": (),
    "mean_dispersion": (),
    "sample_uniform": (20, 5),
    "sample_centroid_uniform": (20, 5),
    "sample_centroid_fps": (20, 5),
    "sample_centroid_voxel": (20, 5, 0.25),
    "sample_centroid_kmedoids": (8, 5, 10),
    "sample_centroid_stratified": (20, 5, 4, 10),
}


@pytest.mark.parametrize("d", [1, 2, 3, 9, 65, 384])
@pytest.mark.parametrize("name", ARRAY_FORMS)
def test_float32_and_in_place_arrays_give_the_bits_of_a_float64_copy(name, d):
    # Neither n nor d a multiple of a vector's lanes, except where d is the lanes' multiple
    # plus one; 384 runs the full blocks of the row and tile kernels with no tail.
    a32 = np.random.default_rng(8).normal(size=(301, d)).astype(np.float32)
    a32[::7] = a32[1::7]  # exact ties
    args = ARRAY_FORMS[name]
    widened = getattr(_core, name + "_numpy")(np.asfortranarray(a32, np.float64), *args)
    for view in (a32, np.asfortranarray(a32), offset_copy(a32, 4), offset_copy(a32, 2)):
        got = getattr(_core, f"_{name}_array")(view, *args)
        assert (bits(got) == bits(widened)) if isinstance(got, float) else got == widened
    with pytest.raises(TypeError, match="'ndarray' object cannot be cast as 'ndarray'"):
        getattr(_core, name + "_numpy")(a32, *args)


def test_package_passes_float32_and_float64_arrays_without_a_copy():
    for dtype in (np.float32, np.float64):
        a = np.ones((5, 2), dtype)
        assert as_points(a, True, "bbox_volume") is a
    assert as_points(np.ones((5, 2), ">f4"), True, "bbox_volume").dtype == np.float64
