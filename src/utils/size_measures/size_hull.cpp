// Volume of the convex hull of a three-dimensional point set, or area of a two-dimensional one, in
// single precision. The size is measured in float and only the reciprocal of its float reciprocal
// is widened: the result is not always the float size itself.
#include "utils/size_measures/size_hull.h"

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "base/panic.h"
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

// A size from the face-merged hulls, and whether it is sound. A construction that stops or
// gives nothing leaves size 0, unsound.
struct Merged {
  float size = 0.0f;
  bool sound = false;
};

// The merged hull polyhedron's volume; 0, and sound, for a cloud whose covariance calls it
// flat, linear or a point.
Merged merged_hull_volume(const std::vector<Vec3f>& p, const Executor& executor) {
  std::optional<ConvexPolyhedron> poly;
  try {
    std::optional<HullMesh> mesh = try_convex_hull(p, executor);
    if (!mesh) return {};
    if (mesh->dimension < 3) return {0.0f, true};
    poly = ConvexPolyhedron::from_convex_mesh(std::move(mesh->points), std::move(mesh->triangles),
                                              executor);
  } catch (const Panic& stop) {
    if (stop.is_interrupted()) throw;
    return {};  // an internal stop of the construction
  }
  if (!poly) return {};
  const float v = polyhedron_volume(*poly);
  return {v, polyhedron_volume_is_sound(*poly, v)};
}

// The merged hull polygon's area.
Merged merged_hull_area(const std::vector<Vec2f>& p, const Executor& executor) {
  std::vector<std::size_t> idx;
  try {
    idx = convex_hull2_idx(p, executor);
  } catch (const Panic& stop) {
    if (stop.is_interrupted()) throw;
    return {};  // all points at one position
  }
  std::vector<Vec2f> loop;
  loop.reserve(idx.size());
  for (std::size_t i : idx) loop.push_back(p[i]);
  const std::optional<ConvexPolygon> polygon = ConvexPolygon::from_convex_polyline(loop);
  if (!polygon) return {};
  const float area = polygon_area(*polygon);
  return {area, polygon_area_is_sound(loop, *polygon, area)};
}

// The checks fail on non-finite coordinates, which have no exact hull either: such a cloud
// keeps the merged hull's size unchecked. Tested only then, to keep it off the common path.
float hull_size3(const PointSet& points, const Executor& executor) {
  std::vector<Vec3f> p(points.n);
  for (std::size_t i = 0; i < points.n; ++i) {
    const double* q = points[i];
    p[i] = {static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2])};
  }
  const Merged merged = merged_hull_volume(p, executor);
  if (merged.sound || !all_finite(p)) return merged.size;
  return robust_hull3_volume(p, executor);
}

float hull_size2(const PointSet& points, const Executor& executor) {
  std::vector<Vec2f> p(points.n);
  for (std::size_t i = 0; i < points.n; ++i) {
    const double* q = points[i];
    p[i] = {static_cast<float>(q[0]), static_cast<float>(q[1])};
  }
  const Merged merged = merged_hull_area(p, executor);
  if (merged.sound || !all_finite(p)) return merged.size;
  return robust_hull2_area(p, executor);
}

}  // namespace

double size_hull(const PointSet& points, const Executor& executor) {
  if (points.n == 0) return 0.0;
  // Too few points for a hull of this dimension; tested before the dimension itself.
  if (points.n <= points.d) return 0.0;
  float v;
  if (points.d == 3) {
    v = hull_size3(points, executor);
  } else if (points.d == 2) {
    v = hull_size2(points, executor);
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
