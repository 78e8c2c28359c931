// Area of a convex polygon as a sum of triangles against its vertex mean, each from its three side
// lengths. Side lengths are sorted before the product and the product is grouped exactly as
// written: results are compared bit for bit.
#include "hull/polygon_area.h"

#include <cmath>

#include "hull/triangle_area.h"

namespace vorn {

namespace {

// sqrt(dx * dx + dy * dy) with dx = b.x - a.x, dy = b.y - a.y.
float length(Vec2f a, Vec2f b) {
  const float dx = b.x - a.x;
  const float dy = b.y - a.y;
  return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

float polygon_area(const ConvexPolygon& polygon) {
  const std::vector<Vec2f>& q = polygon.vertices;
  const std::size_t m = q.size();
  float sx = 0.0f, sy = 0.0f;
  for (const Vec2f& v : q) {
    sx = sx + v.x;
    sy = sy + v.y;
  }
  // A division by m, not a multiplication by 1 / m.
  const Vec2f g{sx / static_cast<float>(m), sy / static_cast<float>(m)};

  float area = 0.0f;
  for (std::size_t i = 0; i < m; ++i) {
    const Vec2f a = q[i];
    const Vec2f b = q[(i + 1) % m];
    area = area + triangle_area(length(a, b), length(b, g), length(g, a));
  }
  return area;
}

}  // namespace vorn
