"""vorn on a generated cloud: every size measure and every sampler, on both input forms."""

import numpy as np

import vorn

rng = np.random.default_rng(2026)
# An elongated 3-d cloud with a dense core and a sparse halo.
cloud = np.concatenate([
    rng.normal(size=(4_000, 3)) * [3.0, 1.0, 0.5],
    rng.uniform(-8.0, 8.0, size=(1_000, 3)),
])
points = cloud.tolist()

print(f"cloud: {cloud.shape[0]} points in {cloud.shape[1]} dimensions\n")
print("size measures (sequence form == NumPy form, bit for bit):")
for name in ["bbox_volume", "hull_volume", "covariance_volume", "mean_dispersion"]:
    value = getattr(vorn, name)(points)
    same = value == getattr(vorn, name + "_numpy")(cloud)
    print(f"  {name:18} {value:.12g}   {'identical' if same else 'DIFFERENT'}")

samplers = [
    ("sample_uniform", (8, 42)),
    ("sample_centroid_uniform", (8, 42)),
    ("sample_centroid_fps", (8, 42)),
    ("sample_centroid_voxel", (8, 42, 2.0)),
    ("sample_centroid_kmedoids", (8, 42, 20)),
    ("sample_centroid_stratified", (8, 42, 4, 10)),
]
print("\nsamplers (count=8, seed=42; the same list on every run and platform):")
for name, args in samplers:
    chosen = getattr(vorn, name + "_numpy")(cloud, *args)
    print(f"  {name:28} {chosen}")
