#include "hull/triangle_area.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace {

using vorn::triangle_area;

TEST(TriangleArea, KnownTriangles) {
  EXPECT_EQ(triangle_area(3, 4, 5), 6.0f);
  EXPECT_EQ(triangle_area(1, 1, 0), 0.0f);
  // Sides that break the triangle inequality, or NaN, give a product that counts as 0.
  EXPECT_EQ(triangle_area(1, 2, 3.5f), 0.0f);
  EXPECT_EQ(triangle_area(NAN, 1, 1), 0.0f);
  // The sorted form stays accurate for a needle (legs 1 and 1e-4).
  EXPECT_NEAR(triangle_area(1.0f, 1.0f, 1e-4f), 5e-5f, 1e-5f * 5e-5f);
}

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

}  // namespace
