// Convex hull of a planar single-precision cloud by incremental quickhull, as vertex indices.
// Points count as outside an edge only beyond 1.1920929e-05 in the caller's units; visit and tie
// orders fix the result.
#pragma once

#include <cstddef>
#include <vector>

#include "base/executor.h"
#include "hull/float_types.h"

namespace vorn {

// points: n >= 2 points (x, y), used as given (neither translated nor scaled).
// Returns the indices of the hull's vertices in counter-clockwise order, starting at the
// start point of the lowest-positioned live edge. Points on an edge, or outside it by at
// most 1.1920929e-05, are not vertices. Collinear clouds give [rightmost, farthest other].
// Throws Panic("assertion failed: points.len() >= 2") for fewer than 2 points, and
// Panic("Failed to build the 2d convex hull of this point cloud.") when all points lie at
// one position, and Panic::interrupted() when the executor is stopped (polled once per added
// vertex).
std::vector<std::size_t> convex_hull2_idx(const std::vector<Vec2f>& points,
                                          const Executor& executor = Executor());

}  // namespace vorn
