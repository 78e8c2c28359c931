// Uniform sampling: up to count distinct point indices in the order a seeded shuffle leaves them.
// The whole index list is always shuffled, so a smaller count gives a prefix of a larger one.
#pragma once

#include <cstdint>

#include "base/point_set.h"

namespace vorn {

// points: n points (only n is read); count: indices wanted; seed: the SeededRng seed.
// Returns the first min(n, count) entries of the shuffled list 0 .. n - 1: distinct, each
// below n. Empty for n = 0 or count = 0. Memory O(min(n, count)). Never fails.
Indices sample_uniform(const PointSet& points, std::uint64_t count, std::uint64_t seed);

}  // namespace vorn
