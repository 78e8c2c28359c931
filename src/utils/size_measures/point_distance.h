// Euclidean distance between two points with a fixed summation order.
// Eight partial sums for the full blocks of eight, then the tail: do not reorder.
#pragma once

#include <cmath>
#include <cstddef>

namespace vorn {

// The sum of squares of the d differences diff(0) .. diff(d - 1), each rounded to T: for
// d >= 8, eight running sums s0..s7 over the full blocks, combined as r = s0 + s4,
// r += s1 + s5, r += s2 + s6, r += s3 + s7, then the remaining squares one by one; for d < 8
// the plain left-to-right sum. T is double, or a vector of doubles whose lanes are separate
// points (each lane then rounds exactly as the scalar form).
template <class T, class Diff>
inline T blocked_square_sum(std::size_t d, Diff diff) {
  T r = T{};
  std::size_t t = 0;
  if (d >= 8) {
    T s[8] = {T{}, T{}, T{}, T{}, T{}, T{}, T{}, T{}};
    const std::size_t blocks = d / 8;
    for (std::size_t blk = 0; blk < blocks; ++blk) {
      for (std::size_t k = 0; k < 8; ++k) {
        const T v = diff(8 * blk + k);
        s[k] = s[k] + v * v;
      }
    }
    r = s[0] + s[4];
    r = r + (s[1] + s[5]);
    r = r + (s[2] + s[6]);
    r = r + (s[3] + s[7]);
    t = 8 * blocks;
  }
  for (std::size_t i = t; i < d; ++i) {
    const T v = diff(i);
    r = r + v * v;
  }
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

}  // namespace vorn
