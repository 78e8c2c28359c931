// Area of the exact convex hull of a planar single-precision cloud: monotone chain with exact
// orientation signs. Every turn is decided exactly, so the hull is the true hull of the float
// points; only the final area is rounded.
#pragma once

#include <vector>

#include "base/executor.h"
#include "hull/float_types.h"

namespace vorn {

// points: n points (x, y), all coordinates finite.
// Returns the area of their convex hull, summed in double (shoelace from the first hull
// vertex) and rounded once to float; 0 when n < 3, when the points coincide or are collinear,
// and when the hull is no wider than rounding (kCollinearArea of hull/tolerances.h).
// The points are sorted in ranges on the executor's threads; the result does not depend on
// their number. Throws only Panic::interrupted(), when the executor is stopped.
// loop: optional, a closed loop of some of the points (the merged construction's vertices);
// points strictly inside a disc inscribed in it are not hull vertices and are left out before
// sorting, which leaves the hull and the result unchanged.
float robust_hull2_area(const std::vector<Vec2f>& points, const Executor& executor = Executor(),
                        const std::vector<Vec2f>& loop = {});

}  // namespace vorn
