// Euclidean distance between two points with a fixed summation order.
// Eight partial sums for the full blocks of eight, then the tail: do not reorder.
#pragma once

#include <cmath>
#include <cstddef>

namespace vorn {

// a, b: d coordinates each. Returns the correctly rounded square root of the sum of
// squared differences: for d >= 8, eight running sums s0..s7 over the full blocks,
// combined as r = s0 + s4, r += s1 + s5, r += s2 + s6, r += s3 + s7, then the
// remaining squares one by one; for d < 8 the plain left-to-right sum.
// Inline so that the samplers' hot loops see through it.
inline double squared_distance_sum(const double* a, const double* b, std::size_t d) {
  double r = 0.0;
  std::size_t t = 0;
  if (d >= 8) {
    double s[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    const std::size_t blocks = d / 8;
    for (std::size_t blk = 0; blk < blocks; ++blk) {
      for (std::size_t k = 0; k < 8; ++k) {
        const double v = a[8 * blk + k] - b[8 * blk + k];
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
    const double v = a[i] - b[i];
    r = r + v * v;
  }
  return r;
}

inline double point_distance(const double* a, const double* b, std::size_t d) {
  return std::sqrt(squared_distance_sum(a, b, d));
}

}  // namespace vorn
