// Drops the points that no triangle names, filling each hole with the then-last point.
// Swap-with-last, not a stable compaction: the surviving order feeds the volume sums, so keep it.
#pragma once

#include <vector>

#include "hull/float_types.h"
#include "hull/triangle.h"

namespace vorn {

// points: n points; triangles: index triples, each index below n.
// Scans positions k = 0, 1, ...; an unused point at k is replaced by the current last
// point (the list shrinks by one) and position k is tested again. Every triangle index
// is then renamed to the point's new position. Never fails.
void remove_unused_points(std::vector<Vec3f>& points, std::vector<Triangle>& triangles);

}  // namespace vorn
