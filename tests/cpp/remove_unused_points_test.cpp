#include "hull/remove_unused_points.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using vorn::Triangle;
using vorn::Vec3f;

std::vector<Vec3f> numbered(int n) {
  std::vector<Vec3f> pts;
  for (int i = 0; i < n; ++i) pts.push_back({float(i), 0.0f, 0.0f});
  return pts;
}

TEST(RemoveUnusedPoints, HolesTakeTheThenLastPoint) {
  // Points 0, 2 and 5 are unused among 0..6. Position 0 takes 6; position 2 takes the
  // new last (5, unused) and then 4; the result is 6, 1, 4, 3.
  std::vector<Vec3f> pts = numbered(7);
  std::vector<Triangle> tris = {{1, 3, 4}, {6, 1, 3}};
  vorn::remove_unused_points(pts, tris);
  ASSERT_EQ(pts.size(), 4u);
  const float xs[] = {6, 1, 4, 3};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pts[i].x, xs[i]) << i;
  EXPECT_EQ(tris, (std::vector<Triangle>{{1, 3, 2}, {0, 1, 3}}));
}

TEST(RemoveUnusedPoints, AllUsedOrTrailingUnused) {
  std::vector<Vec3f> pts = numbered(4);
  std::vector<Triangle> tris = {{0, 1, 2}, {2, 1, 0}};
  vorn::remove_unused_points(pts, tris);
  EXPECT_EQ(pts.size(), 3u);
  EXPECT_EQ(tris, (std::vector<Triangle>{{0, 1, 2}, {2, 1, 0}}));

  std::vector<Vec3f> none = numbered(3);
  std::vector<Triangle> empty;
  vorn::remove_unused_points(none, empty);
  EXPECT_TRUE(none.empty());
}

}  // namespace
