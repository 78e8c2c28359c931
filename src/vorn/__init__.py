"""Reproducible size measures and seeded samplers for point clouds."""

from vorn._core import *  # noqa: F401,F403
from vorn._core import PanicException, __all__ as _core_all
from vorn._threads import get_num_threads, num_threads, set_num_threads

__all__ = [*_core_all, "PanicException", "get_num_threads", "num_threads", "set_num_threads"]
