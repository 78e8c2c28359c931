// Farthest-point sampling for points of many coordinates: each point is filed under its
// nearest chosen point, and a new choice skips every point that it provably cannot bring closer.
// The skips are exact: every choice equals that of the plain procedure, bit for bit.
#pragma once

#include <cstdint>

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

// points: n x d with n < 2^32; count: indices wanted. Returns what sample_centroid_fps returns:
// min(n, count) indices in the order chosen, i0 first, then the highest index of the largest
// nearest distance, chosen points included. Reads the points in place; working memory 12 to 24
// bytes per point (entries left by moved points are dropped once they make half of a group),
// 16 more while the first group is ordered, and about 100 bytes per choice. The executor's
// threads change no choice. Distances run as stored rows, eight coordinates per vector step, so
// it suits d >= 8; any d gives the same choices. Throws
// Panic("called `Option::unwrap()` on a `None` value") when n >= 2 and a coordinate is NaN or
// infinite.
Indices sample_centroid_fps_pruned(const PointSet& points, std::uint64_t count,
                                   const Executor& executor = Executor());

// result: one index below n, the first choice (with n < 2^32). Appends the choices that follow
// it, as above, until result holds target <= n indices.
void extend_fps_pruned(const PointSet& points, std::size_t target, const Executor& executor,
                       Indices& result);

}  // namespace vorn
