"""Parameter descriptions that many of the package's docstrings share, written once here and
filled in where a docstring says ``%(name)s``."""

from typing import Callable, TypeVar

F = TypeVar("F", bound=Callable[..., object])

_SHARED = {
    "points": "points : array_like, shape (n, d) or (B, n, d)\n"
    "        One row per point, in any form `bbox_volume` takes; a 3-d array is a batch of B\n"
    "        clouds, each giving its own result.",
    "count": "count : int\n        How many points to choose, >= 0; at most n are returned.",
    "seed": "seed : int or numpy.random.Generator, default 0\n"
    "        Seed of the random choices, as in `sample_uniform`.",
    "check_finite": "check_finite : bool, default True\n"
    "        Reject NaN and infinite coordinates.",
}
_SHARED["measure_parameters"] = (
    "Parameters\n    ----------\n    {points}\n    {check_finite}".format(**_SHARED)
)
_SHARED["measure_raises"] = (
    "Raises\n    ------\n    TypeError, ValueError, ImportError\n        As `bbox_volume`."
)
_SHARED["batch_rows"] = (
    "For a batch, shape (B, min(n, count)): one row per cloud, padded with -1 where\n"
    "        a cloud gives fewer indices; the bits of B separate calls, run on threads."
)
_SHARED["returns_indices"] = (
    "Returns\n    -------\n    numpy.ndarray of numpy.intp, shape (min(n, count),)"
)
_SHARED["sampler_raises"] = (
    "Raises\n    ------\n    TypeError, ValueError, ImportError\n"
    "        As `sample_uniform`; also for a non-finite coordinate"
)


def shared_docs(func: F) -> F:
    """`func` with the shared descriptions filled into its docstring."""
    if func.__doc__ is not None:  # None under python -OO
        func.__doc__ = func.__doc__ % _SHARED
    return func
