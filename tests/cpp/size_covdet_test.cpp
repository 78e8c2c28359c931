#include "utils/size_measures/size_covdet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "test_support.h"
#include "utils/size_measures/determinant.h"
#include "utils/size_measures/point_distance.h"
#include "utils/size_measures/size_dispersion.h"

namespace {

// The ridged covariance built the slow way: an explicit centred matrix and its transpose,
// each scatter entry summed column by column in point order.
std::vector<double> literal_ridged_covariance(const vorn::PointSet& p) {
  const std::size_t n = p.n, d = p.d;
  std::vector<double> m(d, 0.0), x(d * n), xt(n * d), s(d * d);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < d; ++j) m[j] = m[j] + p[i][j];
  for (std::size_t j = 0; j < d; ++j) m[j] = m[j] / double(n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < d; ++j) xt[i + j * n] = x[j + i * d] = p[i][j] - m[j];
  for (std::size_t c = 0; c < d; ++c) {
    for (std::size_t r = 0; r < d; ++r) s[r + c * d] = x[r] * xt[c * n];
    for (std::size_t k = 1; k < n; ++k)
      for (std::size_t r = 0; r < d; ++r)
        s[r + c * d] = x[r + k * d] * xt[k + c * n] + s[r + c * d];
  }
  for (std::size_t e = 0; e < d * d; ++e)
    s[e] = s[e] / (double(n) + -1.0) + (e % (d + 1) == 0 ? 1.0 : 0.0) * 1e-8;
  return s;
}

// Both scatter paths (one pass up to five dimensions, the blocked kernel beyond), across
// block edges and tile padding, give the bits of the literal procedure.
TEST(SizeCovdet, MatchesLiteralProcedureBitForBit) {
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (std::size_t d : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 16u, 33u}) {
    for (std::size_t n : {2u, 5u, 6u, 255u, 256u, 257u, 700u}) {
      vorn::PointSet p(n, d);
      for (std::size_t e = 0; e < n * d; ++e) p.coords[e] = u(gen) * std::exp2(e % 7 * 9.0) + 3.0;
      const double got = vorn::size_covdet(p);
      const double want = std::sqrt(std::fabs(vorn::determinant(literal_ridged_covariance(p), d)));
      EXPECT_EQ(vorn_test::bits(got), vorn_test::bits(want)) << "d=" << d << " n=" << n;
    }
  }
}

using vorn::determinant;
using vorn::lu_decompose;

// Matrices are written column by column.
TEST(Determinant, LuPivotsOnFirstGreatestMagnitudeAndCountsExchanges) {
  std::vector<double> swap01 = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::vector<double> cycle = {0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(determinant(swap01, 4), -1.0);
  EXPECT_EQ(determinant(cycle, 4), 1.0);
  std::vector<double> a = {1, -1, 2, -2, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(determinant(a, 4), -2.0);
  EXPECT_EQ(lu_decompose(a.data(), 4), 1u);
  EXPECT_EQ(a[0], 2.0);  // row 2 moved up, not the equally large row 3
  std::vector<double> b = {10, 3, 0, 1};
  lu_decompose(b.data(), 2);
  EXPECT_EQ(b[1], 3.0 * (1.0 / 10.0));  // the multiplier uses the reciprocal,
  EXPECT_NE(b[1], 3.0 / 10.0);          // which rounds differently from the quotient here
}

// Rows 0 and 1 are equal, so column 1 is zero below the diagonal after the first step.
// Dividing by that zero pivot would make everything below it NaN; skipping it gives 0.
TEST(Determinant, ZeroPivotOfEitherSignIsSkipped) {
  std::vector<double> a = {1, 1, 0.5, 0, 1, 1, 0.5, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_EQ(determinant(a, 4), 0.0);
  EXPECT_EQ(lu_decompose(a.data(), 4), 0u);
  EXPECT_EQ(a[2 + 2 * 4], 1.0);
  std::vector<double> negative_zero = {-0.0, 0.0, 1.0, 1.0};
  lu_decompose(negative_zero.data(), 2);
  EXPECT_EQ(negative_zero[3], 1.0);
}

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
      EXPECT_EQ(vorn_test::bits(got), vorn_test::bits(want)) << "d=" << d << " threads=" << threads;
    }
  }
}

}  // namespace
