// Volume of the convex hull of a three-dimensional point set, or area of a two-dimensional one, in
// single precision. The size is measured in float and only the reciprocal of its float reciprocal
// is widened: the result is not always the float size itself.
#include "utils/size_measures/size_hull.h"

#include <algorithm>
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
  // 2-d: the construction's vertices, inside which the exact hull may skip points.
  std::vector<Vec2f> loop;
};

// The merged hull polyhedron's volume. A cloud whose covariance calls it flat, linear or a
// point has none: it may still be a thin or elongated solid, which only the exact hull tells.
Merged merged_hull_volume(const std::vector<Vec3f>& p, const Executor& executor) {
  std::optional<ConvexPolyhedron> poly;
  double visibility = 0.0;
  try {
    std::optional<HullMesh> mesh = try_convex_hull(p, executor);
    if (!mesh || mesh->dimension < 3) return {};
    visibility = mesh->visibility;
    poly = ConvexPolyhedron::from_convex_mesh(std::move(mesh->points), std::move(mesh->triangles),
                                              executor);
  } catch (const Panic& stop) {
    if (stop.is_interrupted()) throw;
    return {};  // an internal stop of the construction
  }
  if (!poly) return {};
  const float v = polyhedron_volume(*poly);
  return {v, polyhedron_volume_is_sound(*poly, v, visibility), {}};
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
  const bool sound = polygon_area_is_sound(loop, *polygon, area);
  return {area, sound, std::move(loop)};
}

// The points' first d coordinates rounded to float, each first scaled by 2^-shift (exactly: a
// multiplication by a power of two).
template <class V>
std::vector<V> float_points(const PointSet& points, int shift) {
  const double scale = std::ldexp(1.0, -shift);
  std::vector<V> p(points.n);
  for (std::size_t i = 0; i < points.n; ++i) {
    const double* q = points[i];
    if constexpr (sizeof(V) == sizeof(Vec3f)) {
      p[i] = {static_cast<float>(q[0] * scale), static_cast<float>(q[1] * scale),
              static_cast<float>(q[2] * scale)};
    } else {
      p[i] = {static_cast<float>(q[0] * scale), static_cast<float>(q[1] * scale)};
    }
  }
  return p;
}

// A power of two that brings every coordinate below 2^126, where float rounding of the scaled
// points is the rounding of the points themselves with the exponent range widened; 0 when
// they all round to finite floats already, or some coordinate is not finite.
int overflow_shift(const PointSet& points) {
  double magnitude = 0.0;
  for (std::size_t i = 0; i < points.n; ++i) {
    for (std::size_t k = 0; k < points.d; ++k) {
      const double c = std::fabs(points[i][k]);
      if (!std::isfinite(c)) return 0;
      magnitude = std::max(magnitude, c);
    }
  }
  if (magnitude < 0x1.ffffffp127) return 0;  // below the midpoint that rounds to infinity
  int exponent;
  std::frexp(magnitude, &exponent);
  return exponent - 126;
}

// The size of the exact hull of points that round to infinities in float: measured on the
// points scaled into range, then scaled back (exactly, or to infinity past the float range).
float scaled_exact_size(const PointSet& points, int shift, const Executor& executor) {
  if (points.d == 3) {
    const float v = robust_hull3_volume(float_points<Vec3f>(points, shift), executor);
    return round_to_float(std::ldexp(double(v), 3 * shift));
  }
  const float a = robust_hull2_area(float_points<Vec2f>(points, shift), executor);
  return round_to_float(std::ldexp(double(a), 2 * shift));
}

// The merged size where it is sound, else the exact hull's. The checks fail on non-finite
// coordinates, tested only then to keep them off the common path: points beyond the float
// range are measured scaled; other non-finite clouds keep the merged size unchecked.
template <class V, class Merge, class Exact>
float checked_size(const PointSet& points, Merge merge, Exact exact, const Executor& executor) {
  const std::vector<V> p = float_points<V>(points, 0);
  const Merged merged = merge(p, executor);
  if (merged.sound) return merged.size;
  if (all_finite(p)) return exact(p, executor, merged);
  const int shift = overflow_shift(points);
  return shift > 0 ? scaled_exact_size(points, shift, executor) : merged.size;
}

}  // namespace

double size_hull(const PointSet& points, const Executor& executor) {
  if (points.n == 0) return 0.0;
  // Too few points for a hull of this dimension; tested before the dimension itself.
  if (points.n <= points.d) return 0.0;
  if (points.is_float32() && points.d <= 3) return size_hull(widened(points), executor);
  float v;
  if (points.d == 3) {
    const auto exact = [](const std::vector<Vec3f>& p, const Executor& e, const Merged&) {
      return robust_hull3_volume(p, e);
    };
    v = checked_size<Vec3f>(points, merged_hull_volume, exact, executor);
  } else if (points.d == 2) {
    const auto exact = [](const std::vector<Vec2f>& p, const Executor& e, const Merged& merged) {
      return robust_hull2_area(p, e, merged.loop);
    };
    v = checked_size<Vec2f>(points, merged_hull_area, exact, executor);
  } else {
    return 0.0;
  }

  // The inverse mass at density 1, then its inverse: two float reciprocals, so a size of
  // 7 comes back as 6.9999995. A size past the float range, or too small for its reciprocal
  // to be finite, would come back as 0: it is returned as it is.
  if (v == 0.0f) return 0.0;
  const float mass = (v * 1.0f) * std::copysign(1.0f, v);
  const float inv_mass = 1.0f / mass;
  if (inv_mass == 0.0f || std::isinf(inv_mass)) return static_cast<double>(mass);
  return static_cast<double>(1.0f / inv_mass);
}

}  // namespace vorn
