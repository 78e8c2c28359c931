// Farthest-point sampling: start at the point nearest the centroid, then always take the point
// farthest from everything chosen. Equal maxima go to the highest index, chosen points included.
#pragma once

#include <cstdint>

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

// points: n x d; count: indices wanted; seed: accepted and ignored (the result is determined).
// Returns min(n, count) indices in the order chosen: first i0, the point nearest to the
// centroid (lowest index on ties); then repeatedly the last index k maximising nearest[k], the
// smallest point_distance from point k to any chosen point, compared after the square root.
// Once every point coincides with a chosen one all entries are 0 and index n - 1 is taken,
// even again. Empty for n = 0 or count = 0. Memory O(n * d) for any cloud shape.
// Throws Panic("called `Option::unwrap()` on a `None` value") when n >= 2 and a coordinate
// is NaN or infinite.
Indices sample_centroid_fps(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                            const Executor& executor = Executor());

// points: n x d; start: the first choice. The selection of sample_centroid_fps begun at point
// start instead of the point nearest the centroid (which is not computed): min(n, count)
// indices, start first. Empty for n = 0 or count = 0. Throws Panic("start index out of range")
// when start >= n, and Panic("called `Option::unwrap()` on a `None` value") when n >= 2 and a
// coordinate is NaN or infinite, as sample_centroid_fps does.
Indices sample_centroid_fps_from(const PointSet& points, std::uint64_t count, std::uint64_t start,
                                 const Executor& executor = Executor());

// The same selection, with the points filed into a tree of boxes whose buckets (leaves) hold
// at most bucket_size points, unless they all coincide; a choice visits only the boxes where it
// can bring a point closer. The result does not depend on bucket_size (n or more means one
// bucket, as does any n above 2^32 - 1) nor on the executor's threads; sample_centroid_fps
// picks the size. Working memory: about 36 bytes per point for d = 3.
Indices sample_centroid_fps_bucketed(const PointSet& points, std::uint64_t count,
                                     std::size_t bucket_size,
                                     const Executor& executor = Executor());

// The number of buckets sample_centroid_fps_bucketed files the points into; at most
// 16 n / bucket_size for every cloud, however flat, clustered or spread.
std::size_t sample_centroid_fps_buckets(const PointSet& points, std::size_t bucket_size);

}  // namespace vorn
