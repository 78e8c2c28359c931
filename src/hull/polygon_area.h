// Area of a convex polygon as a sum of triangles against its vertex mean, each from its three side
// lengths. Side lengths are sorted before the product and the product is grouped exactly as
// written: results are compared bit for bit.
#pragma once

#include "hull/convex_polygon.h"

namespace vorn {

// polygon: m >= 1 vertices. Returns the sum over edges (Q[i], Q[i+1 mod m]) of the area of the
// triangle they form with the vertex mean g = (sum x / m, sum y / m), summed in vertex order
// starting from 0. Always >= 0 (or NaN for non-finite vertices). Never fails.
float polygon_area(const ConvexPolygon& polygon);

}  // namespace vorn
