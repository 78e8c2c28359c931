// Centre and covariance matrix of a single-precision three-dimensional cloud.
// Both sum in point order with each term pre-scaled by 1/n (never a final division): hull results
// are compared bit for bit.
#pragma once

#include <vector>

#include "hull/float_types.h"

namespace vorn {

// points: n >= 1 points. Returns c = p0 * s + p1 * s + ... + p(n-1) * s per coordinate,
// summed left to right, where s = 1/n computed in double and rounded to float.
// Throws Panic("Cannot compute the center of less than 1 point.") for an empty list.
Vec3f points_center(const std::vector<Vec3f>& points);

struct CenterCov {
  Vec3f center;
  Mat3f covariance;
};

// points: n >= 1 points. Returns points_center(points) and the matrix whose entry (r, k)
// is the sum over points, in order, of (d[k] * w) * d[r] with d = p - center and
// w = 1.0f / float(n). The matrix is symmetric only up to rounding.
// Throws the Panic of points_center for an empty list.
CenterCov center_cov(const std::vector<Vec3f>& points);

}  // namespace vorn
