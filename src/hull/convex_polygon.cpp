// A convex polygon with unit outward edge normals, built from a planar hull or a convex vertex loop.
// Collinear vertices are dropped by comparing each edge normal with the unmodified previous one; vertex 0 goes when the last and first edges are collinear.
#include "hull/convex_polygon.h"

#include "utils/panic.h"

namespace vorn {

std::optional<ConvexPolygon> ConvexPolygon::from_convex_hull(const std::vector<Vec2f>&) {
  throw Panic("not implemented");
}

std::optional<ConvexPolygon> ConvexPolygon::from_convex_polyline(std::vector<Vec2f>) {
  throw Panic("not implemented");
}

}  // namespace vorn
