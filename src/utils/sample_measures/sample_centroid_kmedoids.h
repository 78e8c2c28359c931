// K-medoids sampling: the point nearest the centroid, then first-improvement medoid swaps.
// Costs are summed in point order and compared strictly: equal costs never swap.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

// points: n x d; medoids: indices below n, non-empty. Returns the sum over points i = 0 .. n - 1,
// in that order from 0.0, of the distance from point i to its nearest medoid; a NaN distance is
// passed over (a point whose distances are all NaN adds +inf). Never fails.
double compute_total_distance(const PointSet& points, const Indices& medoids);

// What a swap search did: the candidate swaps whose cost was summed from exact distances (the
// bounds passed over the others).
struct KMedoidsWork {
  std::uint64_t exact_costs = 0;
};

// points: n x d. Returns t = min(n, count) distinct indices (empty when n = 0 or count = 0):
// position 0 holds the point nearest the centroid; positions 1 .. t - 1 start as a seeded shuffle
// of the other indices and are improved by swaps. A pass tries positions 1 .. t - 1 in order and,
// at each, the non-medoids x = 0 .. n - 1 in order; the first swap that lowers
// compute_total_distance strictly is made and the pass restarts. The search ends after
// max_iterations swaps or a pass without one. Fails (Panic) as find_closest_point does when
// n >= 2 and a coordinate is NaN or infinite.
Indices sample_centroid_kmedoids(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                                 std::uint64_t max_iterations,
                                 const Executor& executor = Executor());

// As above, adding what the swap search did to work.
Indices sample_centroid_kmedoids(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                                 std::uint64_t max_iterations, const Executor& executor,
                                 KMedoidsWork& work);

// As above, with a unit table of pairwise distances of at most table_entries entries (1 << 28
// above); without one, the bounds compute the distances they need row by row.
Indices sample_centroid_kmedoids(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                                 std::uint64_t max_iterations, const Executor& executor,
                                 KMedoidsWork& work, std::size_t table_entries);

}  // namespace vorn
