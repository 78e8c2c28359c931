// Farthest-point sampling: start at the point nearest the centroid, then always take the point
// farthest from everything chosen. Equal maxima go to the highest index, chosen points included.
#pragma once

#include <cstdint>

#include "utils/executor.h"
#include "utils/point_set.h"

namespace vorn {

// points: n x d; count: indices wanted; seed: accepted and ignored (the result is determined).
// Returns min(n, count) indices in the order chosen: first i0, the point nearest to the
// centroid (lowest index on ties); then repeatedly the last index k maximising nearest[k], the
// smallest point_distance from point k to any chosen point, compared after the square root.
// Once every point coincides with a chosen one all entries are 0 and index n - 1 is taken,
// even again. Empty for n = 0 or count = 0. Memory O(n * d).
// Throws Panic("called `Option::unwrap()` on a `None` value") when n >= 2 and a coordinate
// is NaN or infinite.
Indices sample_centroid_fps(const PointSet& points, std::uint64_t count, std::uint64_t seed,
    const Executor& executor = Executor());

// The same selection, with the points filed into spatial buckets of at most bucket_size points
// whose boxes let a new choice skip the points it cannot bring closer. The result does not
// depend on bucket_size (n or more means one bucket); sample_centroid_fps picks it.
Indices sample_centroid_fps_bucketed(const PointSet& points, std::uint64_t count,
                                     std::size_t bucket_size);

}  // namespace vorn
