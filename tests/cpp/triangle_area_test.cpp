#include "hull/triangle_area.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace {

using vorn::triangle_area;

TEST(TriangleArea, SideOrderDoesNotChangeTheBits) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> u(0.1f, 10.0f);
  for (int trial = 0; trial < 200; ++trial) {
    std::array<float, 3> s{u(gen), u(gen), u(gen)};
    std::sort(s.begin(), s.end());
    const float ref = triangle_area(s[0], s[1], s[2]);
    do {
      ASSERT_EQ(triangle_area(s[0], s[1], s[2]), ref);
    } while (std::next_permutation(s.begin(), s.end()));
  }
}

TEST(TriangleArea, KnownTriangles) {
  EXPECT_EQ(triangle_area(3, 4, 5), 6.0f);
  EXPECT_EQ(triangle_area(1, 1, 0), 0.0f);
  // Sides that violate the triangle inequality give a negative product, which counts as 0.
  EXPECT_EQ(triangle_area(1, 2, 3.5f), 0.0f);
  EXPECT_EQ(triangle_area(NAN, 1, 1), 0.0f);
}

// The sorted grouping stays accurate for needles, where the textbook formula loses every digit.
TEST(TriangleArea, NeedlesStayAccurate) {
  for (float h : {1e-2f, 1e-3f, 1e-4f}) {
    const double a = 1.0, b = std::sqrt(1.0 + double(h) * h);  // right triangle with legs 1 and h
    const float got = triangle_area(1.0f, float(b), h);
    const double expect = 0.5 * a * double(h);
    EXPECT_NEAR(got, expect, 1e-5 * expect) << "h=" << h;
  }
}

}  // namespace
