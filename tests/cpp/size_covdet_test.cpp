#include "utils/size_measures/size_covdet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "utils/size_measures/determinant.h"

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
      EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "d=" << d << " n=" << n;
    }
  }
}

}  // namespace
