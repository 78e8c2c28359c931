import pytest

np = pytest.importorskip("numpy")


@pytest.fixture
def rng():
    return np.random.default_rng(20261206)
