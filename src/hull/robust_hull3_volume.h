// Volume of the exact convex hull of a single-precision 3-d cloud: quickhull with exact orientation
// signs. Every visibility test is exact, so the hull is the true hull of the float points; only the
// final volume is rounded.
#pragma once

#include <vector>

#include "base/executor.h"
#include "hull/float_types.h"

namespace vorn {

// points: n points (x, y, z), all coordinates finite.
// Returns the volume of their convex hull, summed in double over the hull's triangles as
// tetrahedra against an interior point and rounded once to float (infinity beyond the float
// range); 0 when the points are coincident, collinear or coplanar, or n < 4, and when the
// hull is no thicker than rounding (kCoplanarVolume of
// hull/tolerances.h). Memory O(n).
// Throws Panic("robust hull: the horizon is not one loop") if the hull under construction
// ever stops being convex (a defect, not a property of any input), and Panic::interrupted()
// when the executor is stopped (polled once per added vertex).
float robust_hull3_volume(const std::vector<Vec3f>& points, const Executor& executor = Executor());

}  // namespace vorn
