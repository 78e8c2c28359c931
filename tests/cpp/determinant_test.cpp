#include "utils/size_measures/determinant.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

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

}  // namespace
