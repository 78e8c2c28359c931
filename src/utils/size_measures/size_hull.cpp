// Volume of the convex hull of a three-dimensional point set, or area of a two-dimensional one, in single precision.
// The size is measured in float and only the reciprocal of its float reciprocal is widened: the result is not always the float size itself.
#include "utils/size_measures/size_hull.h"

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "hull/convex_hull2.h"
#include "hull/convex_hull3.h"
#include "hull/convex_polygon.h"
#include "hull/convex_polyhedron.h"
#include "hull/polygon_area.h"
#include "hull/polygon_area_is_sound.h"
#include "hull/polyhedron_volume.h"
#include "hull/polyhedron_volume_is_sound.h"
#include "hull/robust_hull2_area.h"
#include "hull/robust_hull3_volume.h"
#include "utils/panic.h"

namespace vorn {

namespace {

template <class V>
bool all_finite(const std::vector<V>& points) {
  for (const V& p : points) {
    if constexpr (sizeof(V) == sizeof(Vec3f)) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    } else {
      if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    }
  }
  return true;
}

// The face-merged hull's volume: 0 for a cloud whose covariance calls it flat, linear or a
// point; nothing when the construction stops, or when its volume is not sound.
std::optional<float> merged_hull_volume(const std::vector<Vec3f>& p) {
  std::optional<ConvexPolyhedron> poly;
  try {
    std::optional<HullMesh> mesh = try_convex_hull(p);
    if (!mesh) return std::nullopt;
    if (mesh->dimension < 3) return 0.0f;
    poly = ConvexPolyhedron::from_convex_mesh(std::move(mesh->points), std::move(mesh->triangles));
  } catch (const Panic&) {
    return std::nullopt;  // an internal stop of the construction
  }
  if (!poly) return std::nullopt;
  const float v = polyhedron_volume(*poly);
  if (!polyhedron_volume_is_sound(*poly, v)) return std::nullopt;
  return v;
}

// The merged hull polygon's area, or nothing when the construction stops (all points at one
// position), leaves no polygon, or its area is not sound.
std::optional<float> merged_hull_area(const std::vector<Vec2f>& p) {
  std::vector<std::size_t> idx;
  try {
    idx = convex_hull2_idx(p);
  } catch (const Panic&) {
    return std::nullopt;
  }
  std::vector<Vec2f> loop;
  loop.reserve(idx.size());
  for (std::size_t i : idx) loop.push_back(p[i]);
  const std::optional<ConvexPolygon> polygon = ConvexPolygon::from_convex_polyline(loop);
  if (!polygon) return std::nullopt;
  const float area = polygon_area(*polygon);
  if (!polygon_area_is_sound(loop, *polygon, area)) return std::nullopt;
  return area;
}

float hull_size3(const PointSet& points) {
  std::vector<Vec3f> p(points.n);
  for (std::size_t i = 0; i < points.n; ++i) {
    const double* q = points[i];
    p[i] = {static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2])};
  }
  if (!all_finite(p)) {
    // No hull to measure against: the merged hull's volume, unchecked.
    const std::optional<ConvexPolyhedron> poly = ConvexPolyhedron::from_convex_hull(p);
    return poly ? polyhedron_volume(*poly) : 0.0f;
  }
  if (const std::optional<float> v = merged_hull_volume(p)) return *v;
  return robust_hull3_volume(p);
}

float hull_size2(const PointSet& points) {
  std::vector<Vec2f> p(points.n);
  for (std::size_t i = 0; i < points.n; ++i) {
    const double* q = points[i];
    p[i] = {static_cast<float>(q[0]), static_cast<float>(q[1])};
  }
  if (!all_finite(p)) {
    const std::optional<ConvexPolygon> polygon = ConvexPolygon::from_convex_hull(p);
    return polygon ? polygon_area(*polygon) : 0.0f;
  }
  if (const std::optional<float> a = merged_hull_area(p)) return *a;
  return robust_hull2_area(p);
}

}  // namespace

double size_hull(const PointSet& points) {
  if (points.n == 0) return 0.0;
  // Too few points for a hull of this dimension; tested before the dimension itself.
  if (points.n <= points.d) return 0.0;
  float v;
  if (points.d == 3) {
    v = hull_size3(points);
  } else if (points.d == 2) {
    v = hull_size2(points);
  } else {
    return 0.0;
  }

  // The inverse mass at density 1, then its inverse: two float reciprocals, so a size of
  // 7 comes back as 6.9999995.
  if (v == 0.0f) return 0.0;
  const float mass = (v * 1.0f) * std::copysign(1.0f, v);
  const float inv_mass = mass == 0.0f ? 0.0f : 1.0f / mass;
  if (inv_mass == 0.0f) return 0.0;
  return static_cast<double>(1.0f / inv_mass);
}

}  // namespace vorn
