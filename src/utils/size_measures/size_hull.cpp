// Volume of the convex hull of a three-dimensional point set, or area of a two-dimensional one, in single precision.
// The size is measured in float and only the reciprocal of its float reciprocal is widened: the result is not always the float size itself.
#include "utils/size_measures/size_hull.h"

#include <cmath>
#include <optional>
#include <vector>

#include "hull/convex_polygon.h"
#include "hull/convex_polyhedron.h"
#include "hull/polygon_area.h"
#include "hull/polyhedron_volume.h"

namespace vorn {

namespace {

std::optional<float> hull_size3(const PointSet& points) {
  std::vector<Vec3f> p(points.n);
  for (std::size_t i = 0; i < points.n; ++i) {
    const double* q = points[i];
    p[i] = {static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2])};
  }
  const std::optional<ConvexPolyhedron> poly = ConvexPolyhedron::from_convex_hull(p);
  if (!poly) return std::nullopt;
  return polyhedron_volume(*poly);
}

std::optional<float> hull_size2(const PointSet& points) {
  std::vector<Vec2f> p(points.n);
  for (std::size_t i = 0; i < points.n; ++i) {
    const double* q = points[i];
    p[i] = {static_cast<float>(q[0]), static_cast<float>(q[1])};
  }
  const std::optional<ConvexPolygon> polygon = ConvexPolygon::from_convex_hull(p);
  if (!polygon) return std::nullopt;
  return polygon_area(*polygon);
}

}  // namespace

double size_hull(const PointSet& points) {
  if (points.n == 0) return 0.0;
  // Too few points for a hull of this dimension; tested before the dimension itself.
  if (points.n <= points.d) return 0.0;
  std::optional<float> size;
  if (points.d == 3) {
    size = hull_size3(points);
  } else if (points.d == 2) {
    size = hull_size2(points);
  } else {
    return 0.0;
  }
  if (!size) return 0.0;

  // The inverse mass at density 1, then its inverse: two float reciprocals, so a size of
  // 7 comes back as 6.9999995.
  const float v = *size;
  if (v == 0.0f) return 0.0;
  const float mass = (v * 1.0f) * std::copysign(1.0f, v);
  const float inv_mass = mass == 0.0f ? 0.0f : 1.0f / mass;
  if (inv_mass == 0.0f) return 0.0;
  return static_cast<double>(1.0f / inv_mass);
}

}  // namespace vorn
