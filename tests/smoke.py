"""Import smoke test of an installed wheel, run on every CPython the machine has.

Runs without NumPy: the sequence forms must work and must not import it.
"""

import sys

sys.modules["numpy"] = None  # any import of NumPy now fails, as on a machine without it

import vorn  # noqa: E402

square = [[0.0, 0.0], [1.0, 0.0], [1.0, 1.0], [0.0, 1.0]]
assert vorn.bbox_volume([[0.0, 0.0], [1.0, 2.0]]) == 2.0
assert vorn.hull_volume(square) == 1.0
assert vorn.mean_dispersion([[0.0, 0.0], [3.0, 4.0]]) == 5.0
assert vorn.covariance_volume([[0.0], [2.0]]) == 1.414213565908629
assert vorn.sample_uniform([[float(i)] for i in range(10)], 10, 42) == [7, 1, 5, 4, 6, 9, 3, 8, 2, 0]
assert vorn.sample_centroid_fps(square, 2, 0) == [0, 2]
print(f"CPython {sys.version.split()[0]}: vorn {len(vorn._core.__all__)} functions, ok")
