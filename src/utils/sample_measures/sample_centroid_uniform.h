// Centroid-uniform sampling: the point nearest the centroid, then the seeded shuffle's order.
// The shuffle is the first and only use of the generator: keep every draw after the centroid.
#pragma once

#include <cstdint>

#include "base/point_set.h"

namespace vorn {

// points: n x d; count: indices wanted; seed: the SeededRng seed.
// Returns min(n, count) distinct indices in the order chosen: first i0, the point nearest to
// the centroid (lowest index on ties), then the entries of the shuffled list 0 .. n - 1 that
// differ from i0, in shuffled order. Empty for n = 0 or count = 0.
// Throws Panic("called `Option::unwrap()` on a `None` value") when n >= 2 and a coordinate
// is NaN or infinite.
Indices sample_centroid_uniform(const PointSet& points, std::uint64_t count, std::uint64_t seed);

}  // namespace vorn
