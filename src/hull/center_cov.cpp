// Centre and covariance matrix of a single-precision three-dimensional cloud.
// Both sum in point order with each term pre-scaled by 1/n (never a final division): hull results
// are compared bit for bit.
#include "hull/center_cov.h"

#include "base/panic.h"

namespace vorn {

Vec3f points_center(const std::vector<Vec3f>& points) {
  if (points.empty()) throw Panic("Cannot compute the center of less than 1 point.");
  // The reciprocal is taken in double and only then rounded to float.
  const float s = static_cast<float>(1.0 / static_cast<double>(points.size()));
  Vec3f c{points[0].x * s, points[0].y * s, points[0].z * s};
  for (std::size_t i = 1; i < points.size(); ++i) {
    c.x = c.x + points[i].x * s;
    c.y = c.y + points[i].y * s;
    c.z = c.z + points[i].z * s;
  }
  return c;
}

CenterCov center_cov(const std::vector<Vec3f>& points) {
  CenterCov out;
  out.center = points_center(points);
  // Unlike the centre, this reciprocal is a float division.
  const float w = 1.0f / static_cast<float>(points.size());
  Mat3f& m = out.covariance;
  for (const Vec3f& p : points) {
    const Vec3f dv = p - out.center;
    const float d[3] = {dv.x, dv.y, dv.z};
    for (int k = 0; k < 3; ++k) {
      for (int r = 0; r < 3; ++r) m(r, k) = m(r, k) + (d[k] * w) * d[r];
    }
  }
  return out;
}

}  // namespace vorn
