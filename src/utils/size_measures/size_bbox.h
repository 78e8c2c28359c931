// Volume of the axis-aligned bounding box of a point set.
// Bounds move only on ordered comparisons, so a NaN after point 0 never enters them.
#pragma once

#include "base/point_set.h"

namespace vorn {

// points: n x d. Returns the product of the d axis extents |hi - lo|, multiplied from
// axis 0 upward; 0.0 when n == 0. Never fails.
double size_bbox(const PointSet& points);

}  // namespace vorn
