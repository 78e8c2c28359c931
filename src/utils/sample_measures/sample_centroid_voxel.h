// Voxel sampling: the point nearest the centroid, one shuffled member per voxel, then a fill.
// Voxels are listed in order of first occurrence before the shuffle: the seed alone decides.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

// The voxel coordinate of x on a grid of edge voxel_size: floor(x / voxel_size) clamped to the
// signed 32-bit range; a NaN quotient gives 0. Any voxel_size is accepted (0, negative, NaN, inf).
std::int32_t voxel_coordinate(double x, double voxel_size);

// x: count values. Sets out[i] = voxel_coordinate(x[i], voxel_size), to the bit, for every i.
void voxel_coordinates(const double* x, std::size_t count, double voxel_size, std::int32_t* out);

// points: n x d. Returns min(n, count) distinct indices (empty when n = 0 or count = 0): the
// point nearest the centroid, then at most one member from each occupied voxel of edge
// voxel_size, visited in an order shuffled by the seed, then points not yet chosen in shuffled
// order until the count is reached. The chosen set and its order follow from the arguments alone.
// Fails (Panic) as find_closest_point does when n >= 2 and a coordinate is NaN or infinite.
Indices sample_centroid_voxel(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                              double voxel_size, const Executor& executor = Executor());

}  // namespace vorn
