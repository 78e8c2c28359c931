"""Import smoke test of an installed wheel, run on every CPython the machine has.

Importing vorn must not import NumPy, and vorn._core's sequence forms must work without it;
the package's functions, which need NumPy, say so with ImportError when it is missing.
"""

import sys

sys.modules["numpy"] = None  # any import of NumPy now fails, as on a machine without it

import vorn  # noqa: E402
from vorn import _core  # noqa: E402

square = [[0.0, 0.0], [1.0, 0.0], [1.0, 1.0], [0.0, 1.0]]
assert _core.bbox_volume([[0.0, 0.0], [1.0, 2.0]]) == 2.0
assert _core.hull_volume(square) == 1.0
assert _core.mean_dispersion([[0.0, 0.0], [3.0, 4.0]]) == 5.0
assert _core.covariance_volume([[0.0], [2.0]]) == 1.414213565908629
assert _core.sample_uniform([[float(i)] for i in range(10)], 10, 42) == [
    7,
    1,
    5,
    4,
    6,
    9,
    3,
    8,
    2,
    0,
]
assert _core.sample_centroid_fps(square, 2, 0) == [0, 2]
assert sys.modules["numpy"] is None  # nothing replaced the blocked entry

try:
    vorn.hull_volume(square)
    raise AssertionError("vorn.hull_volume ran without NumPy")
except ImportError as error:
    assert "needs NumPy" in str(error), error
print(
    f"CPython {sys.version.split()[0]}: vorn {vorn.__version__}, {len(_core.__all__)} functions, ok"
)
