#include "hull/exact_orient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using vorn::orient2d;
using vorn::orient3d;

struct Case2 {
  const char* label;
  double a[2], b[2], c[2];
  int sign;
};

TEST(ExactOrient, TwoDimensionalSigns) {
  const double one_up = std::nextafter(1.0f, 2.0f);  // 1 + 2^-23
  const double big = std::ldexp(1.0, 60);
  const Case2 cases[] = {
      {"counter-clockwise", {0, 0}, {1, 0}, {0, 1}, +1},
      {"clockwise", {0, 0}, {0, 1}, {1, 0}, -1},
      {"collinear", {0.1f, 0.3f}, {0.2f, 0.6f}, {0.4f, 1.2f}, 0},
      {"coincident", {3, 4}, {3, 4}, {3, 4}, 0},
      {"one ulp left of the line", {1, 1}, {2, 2}, {3, 3 * one_up}, +1},
      {"one ulp right of the line", {1, 1}, {2, 2}, {3 * one_up, 3}, -1},
      // The differences from a are not exact in double; the rounded determinant is 0.
      {"huge and tiny, below", {-big, -big}, {1, one_up}, {big, big}, -1},
      {"huge and tiny, on", {-big, -big}, {1, 1}, {big, big}, 0},
  };
  for (const Case2& k : cases) {
    EXPECT_EQ(orient2d(k.a, k.b, k.c), k.sign) << k.label;
    EXPECT_EQ(orient2d(k.b, k.c, k.a), k.sign) << k.label << ", rotated";
    EXPECT_EQ(orient2d(k.b, k.a, k.c), -k.sign) << k.label << ", swapped";
  }
}

struct Case3 {
  const char* label;
  double a[3], b[3], c[3], d[3];
  int sign;
};

TEST(ExactOrient, ThreeDimensionalSigns) {
  const double up = std::nextafter(1.0f, 2.0f) - 1.0;  // 2^-23
  const double big = std::ldexp(1.0, 60);
  const Case3 cases[] = {
      {"above", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, +1},
      {"below", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}, -1},
      // The plane z = x + y through float points, and a point one ulp off it.
      {"coplanar", {0.5f, 0.25f, 0.75f}, {1.5f, 0.5f, 2.0f}, {0.25f, 2.0f, 2.25f}, {3, 1, 4}, 0},
      {"one ulp above the plane",
       {0.5f, 0.25f, 0.75f},
       {1.5f, 0.5f, 2.0f},
       {0.25f, 2.0f, 2.25f},
       {3, 1, 4 + 4 * up},
       +1},
      {"collinear triangle", {0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {5, -1, 3}, 0},
      {"huge and tiny, above",
       {-big, 0, 0},
       {big, 0, 0},
       {1, 1, 0},
       {0.5, 0.5, std::ldexp(1.0, -140)},
       +1},
      {"huge and tiny, in plane", {-big, -big, 0}, {big, -big, 0}, {1, 1, 0}, {-3, 1 + up, 0}, 0},
      {"huge and tiny, just above",
       {-big, -big, -big},
       {big, big, big},
       {1, 0, 0},
       {1, 1 + up, 1},
       +1},
  };
  for (const Case3& k : cases) {
    EXPECT_EQ(orient3d(k.a, k.b, k.c, k.d), k.sign) << k.label;
    EXPECT_EQ(orient3d(k.b, k.c, k.a, k.d), k.sign) << k.label << ", rotated";
    EXPECT_EQ(orient3d(k.b, k.a, k.c, k.d), -k.sign) << k.label << ", swapped";
    EXPECT_EQ(orient3d(k.d, k.b, k.c, k.a), -k.sign) << k.label << ", apex swapped";
  }
}

// Integer coordinates below 2^24 are floats; their differences here stay below 2^5, so the
// determinants are exact in 64-bit integers.
// Points built on or one unit off a line or plane make the filter fail nearly every time.
TEST(ExactOrient, NearlyDegenerateIntegerPointsMatchWideIntegers) {
  std::mt19937_64 g(11);
  std::uniform_int_distribution<long long> coord(-(1 << 22), 1 << 22), small(-3, 3), off(-1, 1);
  int degenerate = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    long long a[3], u[3], v[3], b[3], c[3], d[3];
    for (int k = 0; k < 3; ++k) {
      a[k] = coord(g), u[k] = small(g), v[k] = small(g);
      b[k] = a[k] + 7 * u[k];
      c[k] = a[k] + 5 * v[k] + off(g) * (trial % 2);
      d[k] = a[k] + 3 * u[k] - 4 * v[k] + off(g);
    }
    const long long bx = b[0] - a[0], by = b[1] - a[1], bz = b[2] - a[2];
    const long long cx = c[0] - a[0], cy = c[1] - a[1], cz = c[2] - a[2];
    const long long dx = d[0] - a[0], dy = d[1] - a[1], dz = d[2] - a[2];
    const long long det2 = bx * cy - by * cx;
    const long long det3 =
        dx * (by * cz - bz * cy) + dy * (bz * cx - bx * cz) + dz * (bx * cy - by * cx);
    const int want2 = (det2 > 0) - (det2 < 0), want3 = (det3 > 0) - (det3 < 0);
    degenerate += want3 == 0;
    const double da[3] = {double(a[0]), double(a[1]), double(a[2])};
    const double db[3] = {double(b[0]), double(b[1]), double(b[2])};
    const double dc[3] = {double(c[0]), double(c[1]), double(c[2])};
    const double dd[3] = {double(d[0]), double(d[1]), double(d[2])};
    ASSERT_EQ(orient2d(da, db, dc), want2) << "trial " << trial;
    ASSERT_EQ(orient3d(da, db, dc, dd), want3) << "trial " << trial;
  }
  EXPECT_GT(degenerate, 200);  // the fixture really sits on the planes
}

}  // namespace
