"""Reproducible size measures and seeded samplers for point clouds.

Measures return a float and samplers an array of point indices (``numpy.intp``). Every
function takes a point cloud as any 2-d array-like, one row per point, and checks its
arguments before the compiled core runs. ``map_clouds`` applies one of them to many clouds,
on local threads or on a Dask cluster.

The compiled functions themselves, with their fixed positional parameters and list
results, stay available in ``vorn._core``; they need no NumPy for lists of lists.
"""

__version__ = "0.1.0"

from vorn._core import PanicException
from vorn._measures import (
    bbox_volume,
    covariance_log_volume,
    covariance_volume,
    hull_volume,
    mean_dispersion,
)
from vorn._parallel import map_clouds
from vorn._samplers import (
    KMedoidsResult,
    StratifiedResult,
    sample_centroid_fps,
    sample_centroid_kmedoids,
    sample_centroid_stratified,
    sample_centroid_uniform,
    sample_centroid_voxel,
    sample_uniform,
)
from vorn._threads import get_num_threads, num_threads, set_num_threads
from vorn._typing import PointsLike

__all__ = [
    "KMedoidsResult",
    "PanicException",
    "PointsLike",
    "StratifiedResult",
    "bbox_volume",
    "covariance_log_volume",
    "covariance_volume",
    "get_num_threads",
    "hull_volume",
    "map_clouds",
    "mean_dispersion",
    "num_threads",
    "sample_centroid_fps",
    "sample_centroid_kmedoids",
    "sample_centroid_stratified",
    "sample_centroid_uniform",
    "sample_centroid_voxel",
    "sample_uniform",
    "set_num_threads",
]
