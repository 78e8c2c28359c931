// Volume of the convex hull of a three-dimensional point set, or area of a two-dimensional one, in
// single precision. The size is measured in float and only the reciprocal of its float reciprocal
// is widened: the result is not always the float size itself.
#pragma once

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

// points: n x d, rounded to float. For d = 3 the volume of the face-merged hull polyhedron
// of the points; for d = 2 the area of their merged hull polygon. Where that size is not
// sound (the construction stops or fails on a solid cloud, the mesh is not closed and
// convex, vertex drops or merged faces fall short by more than the tolerances of
// hull/sound_tolerances.h, the float sum drifts, the size exceeds what the points span), the
// size of the exact hull of the float points instead, summed in double and rounded once to
// float. Returns 0.0 when n = 0, n <= d, d is neither 2 nor 3, the points coincide or are
// collinear (in 2-d, up to the rounding width kCollinearArea), a three-dimensional cloud is flat by
// its covariance (variance along its thinnest principal axis at most 1e-7 of the squared
// bounding-box diagonal), or the size is too small for its float reciprocal to be finite. Otherwise
// returns double(1.0f / (1.0f / size)). A cloud with a non-finite coordinate keeps the merged
// hull's size unchecked (0.0 when the construction stops). Throws only Panic::interrupted(), when
// the executor is stopped; its threads sort the points of a two-dimensional exact hull.
double size_hull(const PointSet& points, const Executor& executor = Executor());

}  // namespace vorn
