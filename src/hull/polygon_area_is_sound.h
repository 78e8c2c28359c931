// Whether the area of a merged hull polygon can stand for the area of the hull of the points.
// Cheap next to building the hull: one pass over the quickhull's vertices and one over the
// polygon's.
#pragma once

#include <vector>

#include "hull/convex_polygon.h"

namespace vorn {

// loop: the quickhull's vertices, counter-clockwise (before collinear vertices are dropped);
// polygon: the polygon made from them; area: polygon_area(polygon).
// True when the float area is within kSumDrift of the double shoelace area of the polygon,
// and the polygon's possible shortfall against the hull of the points (the area of the
// dropped vertices plus the band within the visibility distance outside the loop) is at
// most kShortfall of it. Never fails.
bool polygon_area_is_sound(const std::vector<Vec2f>& loop, const ConvexPolygon& polygon,
                           float area);

}  // namespace vorn
