#include "hull/remove_unused_points.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(RemoveUnusedPoints, HolesTakeTheThenLastPoint) {
  // Points 0, 2 and 5 of 0..6 are unused. Position 0 takes 6; position 2 takes 5, which is
  // unused too, and then 4: the result is 6, 1, 4, 3.
  std::vector<vorn::Vec3f> pts;
  for (int i = 0; i < 7; ++i) pts.push_back({float(i), 0.0f, 0.0f});
  std::vector<vorn::Triangle> tris = {{1, 3, 4}, {6, 1, 3}};
  vorn::remove_unused_points(pts, tris);
  ASSERT_EQ(pts.size(), 4u);
  const float xs[] = {6, 1, 4, 3};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pts[i].x, xs[i]) << i;
  EXPECT_EQ(tris, (std::vector<vorn::Triangle>{{1, 3, 2}, {0, 1, 3}}));
}

}  // namespace
