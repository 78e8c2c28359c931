"""vorn on a generated cloud: every size measure and every sampler, then many clouds at once."""

import numpy as np

import vorn
from vorn import _core

rng = np.random.default_rng(2026)
# An elongated 3-d cloud with a dense core and a sparse halo.
cloud = np.concatenate(
    [
        rng.normal(size=(4_000, 3)) * [3.0, 1.0, 0.5],
        rng.uniform(-8.0, 8.0, size=(1_000, 3)),
    ]
)

print(f"vorn {vorn.__version__}; cloud: {cloud.shape[0]} points in {cloud.shape[1]} dimensions\n")
print("size measures (array, float32 copy and list of lists):")
for measure in [vorn.bbox_volume, vorn.hull_volume, vorn.covariance_volume, vorn.mean_dispersion]:
    value = measure(cloud)
    # The compiled function on lists of lists gives the same bits.
    same = value == getattr(_core, measure.__name__)(cloud.tolist())
    print(
        f"  {measure.__name__:18} {value:.12g}   float32: {measure(cloud.astype(np.float32)):.6g}"
        f"   lists: {'identical' if same else 'DIFFERENT'}"
    )

print("\nsamplers (count=8, seed=42; the same indices on every run and platform):")
samplers = [
    (vorn.sample_uniform, {"seed": 42}),
    (vorn.sample_centroid_uniform, {"seed": 42}),
    (vorn.sample_centroid_fps, {}),
    (vorn.sample_centroid_voxel, {"voxel_size": 2.0, "seed": 42}),
    (vorn.sample_centroid_kmedoids, {"max_iterations": 20, "seed": 42}),
    (vorn.sample_centroid_stratified, {"num_strata": 4, "max_iterations": 10, "seed": 42}),
]
for sampler, options in samplers:
    print(f"  {sampler.__name__:28} {sampler(cloud, 8, **options)}")

try:
    vorn.sample_centroid_voxel(cloud, 8, voxel_size=0.0)
except ValueError as error:
    print(f"\nbad arguments are named: {error}")

clouds = [cloud[rng.permutation(len(cloud))[:500]] for _ in range(64)]
volumes = vorn.map_clouds(vorn.hull_volume, clouds, threads=2)
print(f"\n64 subclouds of 500 points: hull volumes from {min(volumes):.4g} to {max(volumes):.4g}")
