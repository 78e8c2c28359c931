// Mean Euclidean distance over all unordered pairs of points.
// The total is summed pair by pair in (i, j > i) order: results are compared bit for bit.
#pragma once

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

// points: n x d. Returns the sum of point_distance over pairs i < j, in row-major pair
// order, divided by n(n - 1)/2; 0.0 when n < 2. From eight dimensions on, the distances of
// a block of rows are computed in tiles of pairs (shared out over the executor's threads)
// while the previous block's are added to the total, which stays one sequential chain. Below
// eight dimensions on more than one thread, and up to four on one, rows whose additions keep
// the total within one binade are added as exact integer sums on that binade's grid (computed
// in parallel), the rest one distance at a time: the bits of the sequential chain either way.
// Memory O(n d) below eight dimensions (a column copy), else two blocks of distances
// (at most 32 MB) and, for rows of floats, their widened piece (at most 2 MB a thread).
// Throws std::bad_alloc, or Panic::interrupted() when the executor is stopped.
double size_dispersion(const PointSet& points, const Executor& executor = Executor());

}  // namespace vorn
