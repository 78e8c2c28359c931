#include "utils/size_measures/determinant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using vorn::determinant;
using vorn::lu_decompose;

// Permutations of the identity: the sign comes only from the count of row exchanges.
TEST(Determinant, RowExchangeParityGivesTheSign) {
  std::vector<double> swap01 = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::vector<double> cycle = {0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(determinant(swap01, 4), -1.0);
  EXPECT_EQ(determinant(cycle, 4), 1.0);
  EXPECT_EQ(lu_decompose(cycle.data(), 4), 2u);
}

// Rows 0 and 1 are equal, so column 1 is all zero below the diagonal after the first step.
// Dividing by that zero pivot would turn the determinant into NaN; skipping it gives 0.
TEST(Determinant, ZeroPivotIsSkippedNotDividedBy) {
  std::vector<double> a = {1, 1, 0.5, 0, 1, 1, 0.5, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::vector<double> lu = a;
  EXPECT_EQ(lu_decompose(lu.data(), 4), 0u);  // equal maxima in column 0: row 0 stays
  EXPECT_EQ(lu[1 + 1 * 4], 0.0);
  EXPECT_EQ(lu[2 + 2 * 4], 1.0);  // the rows below the zero pivot are left as they were
  EXPECT_EQ(determinant(a, 4), 0.0);
  std::vector<double> negative_zero = {-0.0, 0.0, 1.0, 1.0};
  lu_decompose(negative_zero.data(), 2);
  EXPECT_EQ(negative_zero[3], 1.0);
}

TEST(Determinant, PivotIsFirstStrictlyGreaterMagnitude) {
  std::vector<double> a = {1, -1, 2, -2, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(determinant(a, 4), -2.0);
  EXPECT_EQ(lu_decompose(a.data(), 4), 1u);
  EXPECT_EQ(a[0], 2.0);                       // row 2 moved up, not row 3
  EXPECT_EQ(a[3], -2.0 * (1.0 / 2.0));
  std::vector<double> b = {10, 3, 0, 1};
  lu_decompose(b.data(), 2);
  EXPECT_EQ(b[1], 3.0 * (1.0 / 10.0));         // multiplier by the reciprocal...
  EXPECT_NE(b[1], 3.0 / 10.0);                 // ...which is not the quotient here
}

// The 3 x 3 closed form subtracts the second cofactor term from the first, then adds the
// third; other groupings round differently on some of these matrices.
TEST(Determinant, ThreeByThreeKeepsItsGrouping) {
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int regrouped_differs = 0;
  for (int trial = 0; trial < 1000; ++trial) {
    std::vector<double> a(9);
    for (double& v : a) v = u(gen);
    const double A = a[4] * a[8] - a[5] * a[7], B = a[1] * a[8] - a[2] * a[7];
    const double C = a[1] * a[5] - a[2] * a[4];
    const double t0 = a[0] * A, t1 = a[3] * B, t2 = a[6] * C;
    ASSERT_EQ(determinant(a, 3), (t0 - t1) + t2);
    regrouped_differs += (t0 - (t1 - t2)) != (t0 - t1) + t2;
  }
  EXPECT_GT(regrouped_differs, 0);
}

// Cofactor expansion in long double as an independent check of the elimination.
long double cofactor_det(const std::vector<long double>& a, std::size_t d) {
  if (d == 1) return a[0];
  long double sum = 0;
  for (std::size_t c = 0; c < d; ++c) {
    std::vector<long double> minor;
    for (std::size_t cc = 0; cc < d; ++cc)
      for (std::size_t r = 1; r < d && cc != c; ++r) minor.push_back(a[r + cc * d]);
    sum += (c % 2 ? -1 : 1) * a[c * d] * cofactor_det(minor, d - 1);
  }
  return sum;
}

TEST(Determinant, AgreesWithCofactorExpansion) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> u(-10.0, 10.0);
  for (std::size_t d = 1; d <= 7; ++d) {
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<double> a(d * d);
      for (double& v : a) v = u(gen);
      const long double want = cofactor_det(std::vector<long double>(a.begin(), a.end()), d);
      EXPECT_NEAR(determinant(a, d), static_cast<double>(want), 1e-9 * std::fabs(double(want)) + 1e-9)
          << "d=" << d;
    }
  }
}

}  // namespace
