#include "hull/exact_orient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using vorn::orient2d;
using vorn::orient3d;

TEST(ExactOrient, TwoDimensionalSigns) {
  const double one_up = std::nextafter(1.0f, 2.0f);  // 1 + 2^-23
  const double big = std::ldexp(1.0, 60);
  const struct {
    const char* label;
    double a[2], b[2], c[2];
    int sign;
  } cases[] = {
      {"collinear", {0.1f, 0.3f}, {0.2f, 0.6f}, {0.4f, 1.2f}, 0},
      {"one ulp left of the line", {1, 1}, {2, 2}, {3, 3 * one_up}, +1},
      {"one ulp right of the line", {1, 1}, {2, 2}, {3 * one_up, 3}, -1},
      // The differences from a are not exact in double; the rounded determinant is 0.
      {"huge and tiny, below", {-big, -big}, {1, one_up}, {big, big}, -1},
      {"huge and tiny, on", {-big, -big}, {1, 1}, {big, big}, 0},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(orient2d(k.a, k.b, k.c), k.sign) << k.label;
    EXPECT_EQ(orient2d(k.b, k.c, k.a), k.sign) << k.label << ", rotated";
    EXPECT_EQ(orient2d(k.b, k.a, k.c), -k.sign) << k.label << ", swapped";
  }
}

TEST(ExactOrient, ThreeDimensionalSigns) {
  const double up = std::nextafter(1.0f, 2.0f) - 1.0;  // 2^-23
  const double big = std::ldexp(1.0, 60), tiny = std::ldexp(1.0, -140);
  const struct {
    const char* label;
    double p[4][3];  // a, b, c, d
    int sign;
  } cases[] = {
      // The plane z = x + y through float points, and a point on it or one ulp above it.
      {"coplanar", {{0.5f, 0.25f, 0.75f}, {1.5f, 0.5f, 2}, {0.25f, 2, 2.25f}, {3, 1, 4}}, 0},
      {"one ulp above",
       {{0.5f, 0.25f, 0.75f}, {1.5f, 0.5f, 2}, {0.25f, 2, 2.25f}, {3, 1, 4 + 4 * up}},
       +1},
      {"huge and tiny, above", {{-big, 0, 0}, {big, 0, 0}, {1, 1, 0}, {0.5, 0.5, tiny}}, +1},
      {"huge and tiny, in plane", {{-big, -big, 0}, {big, -big, 0}, {1, 1, 0}, {-3, 1 + up, 0}}, 0},
      {"huge and tiny, just above",
       {{-big, -big, -big}, {big, big, big}, {1, 0, 0}, {1, 1 + up, 1}},
       +1},
  };
  for (const auto& k : cases) {
    const double *a = k.p[0], *b = k.p[1], *c = k.p[2], *d = k.p[3];
    EXPECT_EQ(orient3d(a, b, c, d), k.sign) << k.label;
    EXPECT_EQ(orient3d(b, c, a, d), k.sign) << k.label << ", rotated";
    EXPECT_EQ(orient3d(b, a, c, d), -k.sign) << k.label << ", swapped";
    EXPECT_EQ(orient3d(d, b, c, a), -k.sign) << k.label << ", apex swapped";
  }
}

// Integer coordinates below 2^24 are floats; their differences here stay below 2^5, so the
// determinants are exact in 64-bit integers. Points built on or one unit off a line or plane
// make the filter fail nearly every time.
TEST(ExactOrient, NearlyDegenerateIntegerPointsMatchWideIntegers) {
  std::mt19937_64 g(11);
  std::uniform_int_distribution<long long> coord(-(1 << 22), 1 << 22), small(-3, 3), off(-1, 1);
  int degenerate = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    long long e[3][3];  // b - a, c - a, d - a
    double p[4][3];     // a, b, c, d
    for (int k = 0; k < 3; ++k) {
      const long long a = coord(g), u = small(g), v = small(g);
      e[0][k] = 7 * u;
      e[1][k] = 5 * v + off(g) * (trial % 2);
      e[2][k] = 3 * u - 4 * v + off(g);
      p[0][k] = double(a);
      for (int r = 0; r < 3; ++r) p[r + 1][k] = double(a + e[r][k]);
    }
    const auto cross = [&](int i, int j) { return e[0][i] * e[1][j] - e[0][j] * e[1][i]; };
    const long long det2 = cross(0, 1);
    const long long det3 = e[2][0] * cross(1, 2) + e[2][1] * cross(2, 0) + e[2][2] * cross(0, 1);
    degenerate += det3 == 0;
    ASSERT_EQ(orient2d(p[0], p[1], p[2]), (det2 > 0) - (det2 < 0)) << "trial " << trial;
    ASSERT_EQ(orient3d(p[0], p[1], p[2], p[3]), (det3 > 0) - (det3 < 0)) << "trial " << trial;
  }
  EXPECT_GT(degenerate, 200);  // the fixture really sits on the planes
}

}  // namespace
