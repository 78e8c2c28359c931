"""Import smoke test of an installed wheel, run on every CPython the machine has.

Runs without NumPy: the sequence forms must work and must not import it.
"""

import sys

import vorn

assert vorn.bbox_volume([[0.0, 0.0], [1.0, 2.0]]) == 2.0
assert vorn.mean_dispersion([[0.0, 0.0], [3.0, 4.0]]) == 5.0
assert "numpy" not in sys.modules
print(f"CPython {sys.version.split()[0]}: vorn {len(vorn._core.__all__)} functions, ok")
