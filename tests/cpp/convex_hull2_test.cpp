#include "hull/convex_hull2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using vorn::convex_hull2_idx;
using vorn::Vec2f;
using Idx = std::vector<std::size_t>;

std::string panic_message(const std::vector<Vec2f>& pts) {
  return vorn_test::panic_of([&] { convex_hull2_idx(pts); }).what();
}

TEST(ConvexHull2, CollinearCloudGivesRightmostAndFarthest) {
  // p1 is the first of the largest x; the first fallback direction finds the smallest x.
  EXPECT_EQ(convex_hull2_idx({{0, 0}, {3, 3}, {1, 1}, {3, 3}, {-2, -2}, {2, 2}}), (Idx{1, 4}));
  // A vertical line: every x ties, so p1 is index 0 and the search falls through to the
  // third direction (largest y) after the second one lands on p1 again.
  EXPECT_EQ(convex_hull2_idx({{1, 0}, {1, 2}, {1, 1}, {1, 0}}), (Idx{0, 1}));
  // Here the second direction (smallest y) already finds another position.
  EXPECT_EQ(convex_hull2_idx({{1, 1}, {1, 2}, {1, 0}}), (Idx{0, 2}));
}

TEST(ConvexHull2, StopsWithItsMessage) {
  EXPECT_EQ(panic_message({{2, 5}, {2, 5}, {2, 5}}),
            "Failed to build the 2d convex hull of this point cloud.");
  // Coordinates equal after rounding to single precision are one position.
  EXPECT_EQ(panic_message({{1.0f, 0}, {float(1.0 + 1e-12), 0}}),
            "Failed to build the 2d convex hull of this point cloud.");
  EXPECT_EQ(panic_message({{1, 1}}), "assertion failed: points.len() >= 2");
}

// Outside an edge by less than 100 * 2^-23 is still inside; by more is a vertex. The bottom
// edge of the square is one of the two start segments; the slanted triangle edge appears
// only during the expansion.
TEST(ConvexHull2, VisibilityThresholdIsAnAbsoluteDistance) {
  const float s5 = std::sqrt(5.0f);
  for (auto [offset, is_vertex] : {std::pair{1e-6f, false}, std::pair{1e-5f, false},
                                   std::pair{1.3e-5f, true}, std::pair{1e-4f, true}}) {
    const Idx square = convex_hull2_idx({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5f, -offset}});
    EXPECT_EQ(std::count(square.begin(), square.end(), 4u), is_vertex) << offset;
    const Vec2f outside{1.5f + 2 * offset / s5, 1.0f + offset / s5};
    const Idx triangle = convex_hull2_idx({{0, 0}, {2, 0}, {1, 2}, outside});
    EXPECT_EQ(std::count(triangle.begin(), triangle.end(), 3u), is_vertex) << offset;
  }
}

}  // namespace
