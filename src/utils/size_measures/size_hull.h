// Volume of the convex hull of a three-dimensional point set, or area of a two-dimensional one, in
// single precision. The size is measured in float and only the reciprocal of its float reciprocal
// is widened: the result is not always the float size itself.
#pragma once

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

// points: n x d, rounded to float. For d = 3 the volume of the face-merged hull polyhedron
// of the points; for d = 2 the area of their merged hull polygon. Where that size is not
// sound (the construction stops or fails, the cloud is flat, linear or a point by its
// covariance, the mesh is not closed and convex, fanning merged faces or dropping vertices
// and points within the visibility distance may cut away more than kShortfall, the float sum
// drifts, the size exceeds what the points span: the tolerances of hull/tolerances.h), the
// size of the exact hull of the float points instead, summed in double and rounded once to
// float. Returns 0.0 when n = 0, n <= d, d is neither 2 nor 3, or the exact hull has no
// size beyond rounding (coincident, collinear or coplanar points, up to kCollinearArea and
// kCoplanarVolume). Points that round to infinities are measured scaled into the float
// range: a size past it is infinity. Otherwise returns double(1.0f / (1.0f / size)), or the
// size itself where its float reciprocal is not finite (a subnormal size). A cloud with a
// non-finite coordinate keeps the merged hull's size unchecked (0.0 when the construction
// stops). Throws only Panic::interrupted(), when the executor is stopped; its threads sort
// the points of a two-dimensional exact hull.
double size_hull(const PointSet& points, const Executor& executor = Executor());

}  // namespace vorn
