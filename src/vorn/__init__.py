"""Reproducible size measures and seeded samplers for point clouds."""

from vorn._core import *  # noqa: F401,F403
from vorn._core import PanicException, __all__ as _core_all

__all__ = [*_core_all, "PanicException"]
