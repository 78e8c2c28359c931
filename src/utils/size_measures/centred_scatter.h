// Scatter matrix of a point set about a given centre: S(r, c) = sum over points of (p[r] - m[r])
// (p[c] - m[c]). Every entry is one running sum taken in point order, each product and sum rounded
// on its own: never split or reorder it.
#pragma once

#include <vector>

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

// points: n x d with n >= 1; mean: d entries. Returns the d x d scatter matrix stored
// column by column (it is symmetric, so also row by row): S(r, c) starts at X(r, 0) X(c, 0)
// and takes S(r, c) + X(r, k) X(c, k) for k = 1 .. n - 1, where X(j, k) = p_k[j] - m[j].
// Up to five dimensions one pass advances every sum at once; beyond, register tiles of the
// upper triangle advance many entries' sums at a time through the same additions, the tiles
// shared out over the executor's threads. Memory O(d^2) plus one block of points per thread.
// Throws std::bad_alloc, or Panic::interrupted() when the executor is stopped.
std::vector<double> centred_scatter(const PointSet& points, const double* mean,
                                    const Executor& executor = Executor());

}  // namespace vorn
