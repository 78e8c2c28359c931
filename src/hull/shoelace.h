// Twice the signed area of a polygon in double, as a fan from its first vertex: sum over i of
// (v[i] - v[0]) x (v[i + 1] - v[0]). The exact 2-d hull's result is this sum rounded: keep its
// order.
#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "hull/float_types.h"

namespace vorn {

using Vec2d = std::array<double, 2>;

inline Vec2d to_double(Vec2f p) {
  return {p.x, p.y};
}
inline const Vec2d& to_double(const Vec2d& p) {
  return p;
}

// Length of (dx, dy) where each is the difference of two floats. In double the squares can
// neither overflow nor underflow, and the three operations are each rounded correctly, so the
// length has the same bits on every platform; a C library's hypot need not.
inline double planar_length(double dx, double dy) {
  return std::sqrt(dx * dx + dy * dy);
}

// v: the polygon's vertices (Vec2f or Vec2d), in order; positive when counter-clockwise.
template <class P>
double twice_signed_area(const std::vector<P>& v) {
  if (v.empty()) return 0.0;
  const Vec2d o = to_double(v[0]);
  double twice = 0.0;
  for (std::size_t i = 1; i + 1 < v.size(); ++i) {
    const Vec2d a = to_double(v[i]), b = to_double(v[i + 1]);
    twice += (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
  }
  return twice;
}

}  // namespace vorn
