// A convex polygon with unit outward edge normals, built from a planar hull or a convex vertex
// loop. Collinear vertices are dropped by comparing each edge normal with the unmodified previous
// one; vertex 0 goes when the last and first edges are collinear.
#include "hull/convex_polygon.h"

#include <cmath>
#include <utility>

#include "hull/convex_hull2.h"
#include "hull/tolerances.h"

namespace vorn {

std::optional<ConvexPolygon> ConvexPolygon::from_convex_hull(const std::vector<Vec2f>& points) {
  const std::vector<std::size_t> idx = convex_hull2_idx(points);
  std::vector<Vec2f> vertices;
  vertices.reserve(idx.size());
  for (std::size_t i : idx) vertices.push_back(points[i]);
  return from_convex_polyline(std::move(vertices));
}

std::optional<ConvexPolygon> ConvexPolygon::from_convex_polyline(std::vector<Vec2f> vertices) {
  const std::size_t count = vertices.size();
  if (count == 0) return std::nullopt;

  std::vector<Vec2f> normals(count);
  for (std::size_t i = 0; i < count; ++i) {
    const Vec2f e = vertices[(i + 1) % count] - vertices[i];
    const float q = e.x * e.x + e.y * e.y;
    if (!(q > min_squared_length())) return std::nullopt;  // also rejects NaN
    const float r = std::sqrt(q);
    normals[i] = Vec2f{e.y / r, (-e.x) / r};
  }

  // In-place compaction is safe: step i writes only to positions <= i, and position i - 1
  // still holds its own normal when step i reads it.
  const float collinear = coplanar_dot();
  std::size_t removed = dot(normals[0], normals[count - 1]) > collinear ? 1 : 0;
  for (std::size_t i = 1; i < count; ++i) {
    if (dot(normals[i - 1], normals[i]) > collinear) {
      ++removed;
    } else {
      vertices[i - removed] = vertices[i];
      normals[i - removed] = normals[i];
    }
  }
  vertices.resize(count - removed);
  normals.resize(count - removed);
  if (vertices.size() < 3) return std::nullopt;
  return ConvexPolygon{std::move(vertices), std::move(normals)};
}

}  // namespace vorn
