// Double-precision 3-vectors for the checks and the exact hull, which measure float points without
// rounding their differences: a difference of two floats is exact in double up to a factor of 2^29.
#pragma once

#include <array>

#include "hull/float_types.h"

namespace vorn {

using Vec3d = std::array<double, 3>;

inline Vec3d to_double(Vec3f a) {
  return {a.x, a.y, a.z};
}
inline Vec3d sub(const Vec3d& a, const Vec3d& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
// a - b of two float points, in double.
inline Vec3d sub(Vec3f a, Vec3f b) {
  return {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z};
}
inline Vec3d cross(const Vec3d& a, const Vec3d& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double dot(const Vec3d& a, const Vec3d& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

}  // namespace vorn
