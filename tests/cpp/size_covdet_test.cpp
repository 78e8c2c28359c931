#include "utils/size_measures/size_covdet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "utils/size_measures/determinant.h"

namespace {

using vorn::PointSet;
using vorn::size_covdet;

PointSet cloud(std::size_t d, std::vector<double> coords) {
  PointSet p(coords.size() / d, d);
  p.coords = std::move(coords);
  return p;
}

// The ridged covariance the result must come from, built step by step the slow way: an
// explicit centred matrix and transpose, and every scatter entry summed column by column.
std::vector<double> literal_ridged_covariance(const PointSet& p) {
  const std::size_t n = p.n, d = p.d;
  std::vector<double> m(d, 0.0), x(d * n), xt(n * d), s(d * d), r(d * d);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < d; ++j) m[j] = m[j] + p[i][j];
  for (std::size_t j = 0; j < d; ++j) m[j] = m[j] / double(n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < d; ++j) xt[i + j * n] = x[j + i * d] = p[i][j] - m[j];
  for (std::size_t c = 0; c < d; ++c) {
    for (std::size_t row = 0; row < d; ++row) s[row + c * d] = x[row] * xt[c * n];
    for (std::size_t k = 1; k < n; ++k)
      for (std::size_t row = 0; row < d; ++row)
        s[row + c * d] = x[row + k * d] * xt[k + c * n] + s[row + c * d];
  }
  for (std::size_t e = 0; e < d * d; ++e)
    r[e] = s[e] / (double(n) + -1.0) + (e % (d + 1) == 0 ? 1.0 : 0.0) * 1e-8;
  return r;
}

TEST(SizeCovdet, WorkedValues) {
  EXPECT_EQ(size_covdet(cloud(1, {})), 0.0);
  EXPECT_EQ(size_covdet(cloud(3, {1, 2, 3})), 0.0);
  EXPECT_EQ(size_covdet(cloud(1, {0, 2})), std::sqrt(2.0 + 1e-8));
  EXPECT_DOUBLE_EQ(size_covdet(cloud(1, {0, 2})), 1.414213565908629);
  EXPECT_EQ(size_covdet(cloud(1, {5, 5, 5})), std::sqrt(1e-8));
  EXPECT_DOUBLE_EQ(size_covdet(cloud(2, {5, -1, 5, -1})), 1e-8);
  EXPECT_EQ(size_covdet(cloud(2, {0, 0, 2, 0, 0, 2, 2, 2})), 4.0 / 3.0 + 1e-8);
  EXPECT_DOUBLE_EQ(size_covdet(cloud(2, {0, 0, 2, 0, 0, 2, 2, 2})), 1.3333333433333332);
}

// Both scatter paths (up to five dimensions, and the blocked one beyond), across block
// edges and dimension padding, must give the bits of the literal procedure.
TEST(SizeCovdet, MatchesLiteralProcedureBitForBit) {
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (std::size_t d : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 16u, 33u}) {
    for (std::size_t n : {2u, 5u, 6u, 255u, 256u, 257u, 700u}) {
      PointSet p(n, d);
      for (std::size_t e = 0; e < n * d; ++e) p.coords[e] = u(gen) * std::exp2(e % 7 * 9.0) + 3.0;
      const double got = size_covdet(p);
      const double want = std::sqrt(std::fabs(vorn::determinant(literal_ridged_covariance(p), d)));
      EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "d=" << d << " n=" << n << " " << got << " vs " << want;
    }
  }
}

TEST(SizeCovdet, LuPathOddExchangesAndZeroPivot) {
  // The second coordinate is ten times the first (plus a little): the first column pivots
  // on the second row, and the last two coordinates are uncorrelated with the rest.
  const PointSet skewed = cloud(4, {1, 10, 0, 0, -1, -10, 0, 0, 0, 1, 0, 0, 0, -1, 0, 0,
                                    0, 0, 1, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, -1});
  std::vector<double> r = literal_ridged_covariance(skewed);
  const double det = vorn::determinant(r, 4);
  ASSERT_EQ(vorn::lu_decompose(r.data(), 4) % 2, 1u);
  EXPECT_GT(det, 0.0);  // the exchange's sign is undone by the negative U(1, 1)
  EXPECT_EQ(size_covdet(skewed), std::sqrt(det));
  // Two equal coordinates so large that the ridge vanishes: an exactly singular matrix,
  // whose zero pivot must give 0, not NaN.
  const double a = std::exp2(20);
  EXPECT_EQ(size_covdet(cloud(5, {a, a, 1, 1, 0, -a, -a, -1, 0, 1})), 0.0);
}

}  // namespace
