#include "utils/size_measures/point_distance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// The grouping the distance must follow: eight partial sums over full blocks of eight,
// combined pairwise, then the tail.
double reference_sum(const std::vector<double>& v) {
  const std::size_t d = v.size();
  double r = 0.0;
  std::size_t t = 0;
  if (d >= 8) {
    double s[8] = {};
    for (std::size_t b = 0; b < d / 8; ++b)
      for (std::size_t k = 0; k < 8; ++k) s[k] += v[8 * b + k] * v[8 * b + k];
    r = s[0] + s[4];
    r += s[1] + s[5];
    r += s[2] + s[6];
    r += s[3] + s[7];
    t = d / 8 * 8;
  }
  for (std::size_t i = t; i < d; ++i) r += v[i] * v[i];
  return r;
}

// For d = 7 the sum is the plain left-to-right one; from 8 on the blocked grouping rounds
// differently from it on some of these vectors, and only the blocked grouping may be matched.
TEST(PointDistance, SummationOrderFollowsBlocksOfEight) {
  std::mt19937_64 gen(12345);
  std::uniform_real_distribution<double> coord(-1e3, 1e3);
  for (std::size_t d : {7u, 8u, 9u, 16u, 17u}) {
    for (int trial = 0; trial < 2000; ++trial) {
      std::vector<double> a(d), b(d), v(d);
      for (std::size_t k = 0; k < d; ++k) {
        a[k] = coord(gen);
        b[k] = coord(gen) * 1e-3;
        v[k] = a[k] - b[k];
      }
      const double got = vorn::point_distance(a.data(), b.data(), d);
      ASSERT_EQ(got, std::sqrt(reference_sum(v))) << "d=" << d;
    }
  }
}

}  // namespace
