// Volume of the convex hull of a three-dimensional point set, or area of a two-dimensional one, in single precision.
// The size is measured in float and only the reciprocal of its float reciprocal is widened: the result is not always the float size itself.
#pragma once

#include "utils/point_set.h"

namespace vorn {

// points: n x d. For d = 3 the volume of the hull polyhedron of the points rounded to
// float; for d = 2 the area of their hull polygon. Returns 0.0 when n = 0, n <= d, d is
// neither 2 nor 3, the hull is degenerate (collinear, coincident or, in three dimensions,
// flat points), or the size is 0 or too small for its float reciprocal to be finite.
// Otherwise returns double(1.0f / (1.0f / |size|)).
// Throws Panic("Failed to build the 2d convex hull of this point cloud.") when
// two-dimensional points all round to one float position, and the hull builders'
// internal Panics.
double size_hull(const PointSet& points);

}  // namespace vorn
