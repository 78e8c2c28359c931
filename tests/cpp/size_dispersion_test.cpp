#include "utils/size_measures/size_dispersion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "utils/size_measures/point_distance.h"

namespace {

// Every thread count gives the bits of the literal pair-order sum, on clouds of repeated points
// and points one ulp apart, across several blocks and a partial last one, on one thread
// (d = 3) and with the distances computed ahead of the sum, four points to a vector (d = 9).
TEST(SizeDispersion, LiteralPairOrderOnEveryThreadCount) {
  for (std::size_t d : {3u, 9u}) {
    const std::size_t n = 701;  // not a multiple of four: lanes of four points leave a tail
    vorn::PointSet p(n, d);
    std::mt19937_64 gen(d);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < d; ++j)
        p[i][j] = i % 5 == 1 ? p[i - 1][j] : i % 5 == 2 ? std::nextafter(p[i - 1][j], 2.0) : u(gen);
    double total = 0.0;
    for (std::size_t i = 0; i + 1 < n; ++i)
      for (std::size_t j = i + 1; j < n; ++j) total = total + vorn::point_distance(p[i], p[j], d);
    const double want = total / double(n * (n - 1) / 2);
    for (std::size_t threads : {1u, 2u, 3u, 8u}) {
      vorn::Executor executor(threads, vorn::CancelHook{});
      const double got = vorn::size_dispersion(p, executor);
      EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "d=" << d << " threads=" << threads;
    }
  }
}

}  // namespace
