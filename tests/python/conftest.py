import os

import pytest
from hypothesis import settings

np = pytest.importorskip("numpy")

# CI runs the property tests on a fixed sequence of examples, so that a run can be repeated
# exactly; elsewhere each run explores new examples.
settings.register_profile("ci", derandomize=True, deadline=None)
if os.environ.get("CI"):
    settings.load_profile("ci")


@pytest.fixture
def rng():
    return np.random.default_rng(20261206)
