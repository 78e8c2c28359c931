// Euclidean distance between two points with a fixed summation order.
// Eight partial sums for the full blocks of eight, then the tail: do not reorder.
#pragma once

#include <cmath>
#include <cstddef>

#include "base/simd_lanes.h"

namespace vorn {

// The one combination of the eight partial sums s[0..7] of a squared distance: r = s0 + s4,
// r += s1 + s5, r += s2 + s6, r += s3 + s7. Every kernel that sums squares combines them here.
template <class T>
VORN_LANE_HELPER void combine_partial_sums(const T* s, T& r) {
  r = s[0] + s[4];
  r = r + (s[1] + s[5]);
  r = r + (s[2] + s[6]);
  r = r + (s[3] + s[7]);
}

// Sets r to the sum of squares of the d differences diff(0, v) .. diff(d - 1, v) (each sets v),
// each rounded to T: for d >= 8, eight running sums s0..s7 over the full blocks (s_k takes k,
// k + 8, k + 16, ...) combined by combine_partial_sums, then the remaining squares one by one;
// for d < 8 the plain left-to-right sum. T is double, or a vector of doubles whose lanes are
// separate points (each lane then rounds exactly as the scalar form).
template <class T, class Diff>
VORN_LANE_HELPER void blocked_square_sum(std::size_t d, Diff diff, T& r) {
  r = T{};
  std::size_t t = 0;
  T v;
  if (d >= 8) {
    T s[8] = {T{}, T{}, T{}, T{}, T{}, T{}, T{}, T{}};
    const std::size_t blocks = d / 8;
    for (std::size_t blk = 0; blk < blocks; ++blk) {
      for (std::size_t k = 0; k < 8; ++k) {
        diff(8 * blk + k, v);
        s[k] = s[k] + v * v;
      }
    }
    combine_partial_sums(s, r);
    t = 8 * blocks;
  }
  for (std::size_t i = t; i < d; ++i) {
    diff(i, v);
    r = r + v * v;
  }
}

// The same sum of the differences diff(0) .. diff(d - 1), returned.
template <class T, class Diff>
inline T blocked_square_sum(std::size_t d, Diff diff) {
  T r;
  blocked_square_sum(d, [&diff](std::size_t i, T& v) { v = diff(i); }, r);
  return r;
}

// a, b: d coordinates each. The squared sum of point_distance, before the square root.
// Inline so that the samplers' hot loops see through it.
inline double squared_distance_sum(const double* a, const double* b, std::size_t d) {
  return blocked_square_sum<double>(d, [a, b](std::size_t i) { return a[i] - b[i]; });
}

// a, b: d coordinates each. Returns the correctly rounded square root of squared_distance_sum.
inline double point_distance(const double* a, const double* b, std::size_t d) {
  return std::sqrt(squared_distance_sum(a, b, d));
}

// Skipping a distance by the triangle inequality, exactly. Write D for the true distance and D'
// for point_distance. Each square passes through at most d + 6 roundings (difference, square,
// d + 3 additions at most, each rounding by u = 2^-53), and the square root through one more,
// so D' = D (1 + e) with |e| <= (d + 9) u / 2 + O(u^2) < delta = (d + 16) u, as long as the
// squared sum is at least 2^-800: then squares lost to underflow (each off by 2^-1075 at most)
// weigh less than d 2^-275 of it. Take a new point c, a point i and o, the chosen point
// nearest to i, with a = D'(c, o), b = D'(i, o) and b' = max(b, kTriangleFloor). If
// b' <= a * triangle_skip_factor(d), then a >= 2 b' (1 + delta) / (1 - delta), hence
// D(i, c) >= D(c, o) - D(i, o) >= b' / (1 - delta) and D'(i, c) >= b' >= b: the new distance
// cannot lower i's nearest one. With b = 0 nothing can, so such entries may always be skipped.
constexpr double kTriangleFloor = 0x1p-400;

// a * triangle_skip_factor(d) is the largest nearest distance the rule above skips (0 for a
// dimension so large that the bound says nothing): 1/2 (1 - 5 delta), where 4 delta absorb
// the bound and one more the rounding of the product.
inline double triangle_skip_factor(std::size_t d) {
  const double delta = (static_cast<double>(d) + 16.0) * 0x1p-53;
  return delta > 0x1p-8 ? 0.0 : 0.5 * (1.0 - 5.0 * delta);
}

// a: D'(c, o); factor: triangle_skip_factor(d). Returns the bound at or below which nearest
// distances of points whose nearest chosen point is o may be skipped: 0 (only zeros skip) when
// a is infinite, since then D(c, o) need not be, or when the bound falls below kTriangleFloor.
inline double triangle_skip_bound(double a, double factor) {
  const double bound = a * factor;
  return bound >= kTriangleFloor && bound <= 0x1.fffffffffffffp+1023 ? bound : 0.0;
}

}  // namespace vorn
