"""Calls a user writes: both checkers must accept every line and infer these types."""

from typing import List, Union

import numpy as np
import numpy.typing as npt
from typing_extensions import assert_type

import vorn
from vorn import _core

cloud = np.random.default_rng(0).normal(size=(100, 3))
single = cloud.astype(np.float32)
rows: List[List[float]] = cloud.tolist()

assert_type(vorn.bbox_volume(cloud), float)
assert_type(vorn.hull_volume(single), float)
assert_type(vorn.covariance_volume(rows), float)
assert_type(vorn.mean_dispersion([(0, 0), (3, 4)]), float)
assert_type(vorn.mean_dispersion(list(cloud)), float)
assert_type(vorn.bbox_volume(cloud, check_finite=False), float)
batch = np.zeros((4, 10, 3))
assert_type(vorn.mean_dispersion(batch), npt.NDArray[np.float64])
assert_type(vorn.sample_centroid_fps(batch, 5), npt.NDArray[np.intp])

assert_type(vorn.sample_uniform(cloud, 5), npt.NDArray[np.intp])
assert_type(vorn.sample_centroid_uniform(cloud, 5, seed=np.uint64(3)), npt.NDArray[np.intp])
assert_type(vorn.sample_centroid_fps(rows, 5), npt.NDArray[np.intp])
assert_type(
    vorn.sample_uniform(cloud, np.int64(5), seed=np.random.default_rng(0)), npt.NDArray[np.intp]
)
assert_type(vorn.sample_centroid_voxel(cloud, 5, voxel_size=0.5, seed=1), npt.NDArray[np.intp])
assert_type(vorn.sample_centroid_kmedoids(cloud, 5, max_iterations=10), npt.NDArray[np.intp])
assert_type(
    vorn.sample_centroid_stratified(cloud, 5, num_strata=3, max_iterations=5, seed=2),
    npt.NDArray[np.intp],
)
assert_type(vorn.sample_centroid_fps(cloud, 5, start=np.int64(-1)), npt.NDArray[np.intp])
assert_type(vorn.sample_centroid_fps(batch, 5, start=None), npt.NDArray[np.intp])
medoids = vorn.sample_centroid_kmedoids(cloud, 5, seed=1, return_labels=True)
assert_type(medoids, vorn.KMedoidsResult)
assert_type(medoids.cost, float)
assert_type(vorn.sample_centroid_kmedoids(cloud, 5, return_labels=False), npt.NDArray[np.intp])
assert_type(
    vorn.sample_centroid_stratified(rows, 5, return_labels=True).labels, npt.NDArray[np.intp]
)
flag = bool(len(rows))
assert_type(
    vorn.sample_centroid_stratified(cloud, 5, return_labels=flag),
    Union[npt.NDArray[np.intp], vorn.StratifiedResult],
)

assert_type(vorn.map_clouds(vorn.bbox_volume, [cloud, cloud], threads=2), List[float])
assert_type(
    vorn.map_clouds(vorn.sample_uniform, [cloud], count=3, progress=False),
    List[npt.NDArray[np.intp]],
)
assert_type(vorn.map_clouds(vorn.bbox_volume, [cloud], threads=np.int32(2)), List[float])
vorn.set_num_threads(np.int64(2))
with vorn.num_threads(np.uint8(1)):
    pass
assert_type(vorn.__version__, str)

assert_type(_core.bbox_volume(rows), float)
assert_type(_core.bbox_volume_numpy(cloud), float)
assert_type(_core.sample_uniform_numpy(cloud, 5, 0), List[int])
assert_type(_core.sample_centroid_voxel(rows, 5, 0, 0.5), List[int])
names: List[str] = _core.__all__

try:
    vorn.bbox_volume(rows)
except vorn.PanicException:
    pass
