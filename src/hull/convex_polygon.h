// A convex polygon with unit outward edge normals, built from a planar hull or a convex vertex
// loop. Collinear vertices are dropped by comparing each edge normal with the unmodified previous
// one; vertex 0 goes when the last and first edges are collinear.
#pragma once

#include <optional>
#include <vector>

#include "hull/float_types.h"

namespace vorn {

struct ConvexPolygon {
  std::vector<Vec2f> vertices;  // m >= 3, counter-clockwise
  std::vector<Vec2f> normals;   // m unit vectors; normals[i] belongs to the edge vertices[i] ->
                                // vertices[i + 1 mod m]

  // points: n >= 2 planar points. The polygon of their convex hull (convex_hull2_idx), or
  // nothing when fewer than 3 non-collinear vertices remain or two consecutive hull vertices
  // are closer than about 1.19e-07. Propagates the Panics of convex_hull2_idx (all points at
  // one position; fewer than 2 points).
  static std::optional<ConvexPolygon> from_convex_hull(const std::vector<Vec2f>& points);

  // vertices: a convex loop, counter-clockwise. Computes the edge normals and drops every
  // vertex between two edges whose normals' dot product exceeds 0.9996547. Gives nothing for
  // an empty loop, for an edge of squared length <= 1.4210855e-14, or when fewer than 3
  // vertices remain. Never fails.
  static std::optional<ConvexPolygon> from_convex_polyline(std::vector<Vec2f> vertices);
};

}  // namespace vorn
