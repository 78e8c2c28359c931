"""Wrong calls: each line must give exactly the error named in its ignore comment, and no
line may give another (both checkers report ignores that suppress nothing)."""

import numpy as np

import vorn
from vorn import _core

cloud = np.zeros((4, 3))

vorn.bbox_volume("0 0 1")  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType, reportCallIssue]
vorn.bbox_volume(3.0)  # type: ignore[call-overload]  # pyright: ignore[reportArgumentType, reportCallIssue]
vorn.bbox_volume(cloud, finite=False)  # type: ignore[call-overload]  # pyright: ignore[reportCallIssue]
vorn.sample_uniform(cloud)  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
vorn.sample_uniform(cloud, 2.5)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
vorn.sample_uniform(cloud, 5, 7)  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
vorn.sample_uniform(cloud, 5, seed="7")  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
vorn.sample_uniform(cloud, 5, seed=np.random.RandomState(0))  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
vorn.set_num_threads(2.0)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
vorn.sample_centroid_fps(cloud, 5, seed=1)  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
vorn.sample_centroid_fps(cloud, 5, start="0")  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
strata: int = vorn.sample_centroid_stratified(cloud, 5, return_labels=True).labels  # type: ignore[assignment]  # pyright: ignore[reportAssignmentType]
vorn.sample_centroid_kmedoids(cloud, 5, return_labels=True).indices.cost  # type: ignore[attr-defined]  # pyright: ignore[reportAttributeAccessIssue, reportUnknownMemberType]
vorn.sample_centroid_voxel(cloud, 5)  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
vorn.sample_centroid_voxel(cloud, 5, voxel_size="1")  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
volume: int = vorn.bbox_volume(cloud)  # type: ignore[assignment]  # pyright: ignore[reportAssignmentType]
chosen: list = vorn.sample_uniform(cloud, 5)  # type: ignore[type-arg, assignment]  # pyright: ignore[reportAssignmentType, reportMissingTypeArgument]
vorn.map_clouds(vorn.bbox_volume, [cloud], threads="2")  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]

# mypy takes float32 for a kind of float64 (NumPy's precision types nest), pyright does not.
_core.bbox_volume_numpy(cloud.astype(np.float32))  # type: ignore[arg-type, unused-ignore]  # pyright: ignore[reportArgumentType]
_core.bbox_volume_numpy([[1.0]])  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
_core.sample_uniform(cloud.tolist(), 5)  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
_core.no_such_function  # type: ignore[attr-defined]  # pyright: ignore[reportAttributeAccessIssue, reportUnknownMemberType]
