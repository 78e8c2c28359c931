#include "hull/convex_hull2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using vorn::convex_hull2_idx;
using vorn::Vec2f;
using Idx = std::vector<std::size_t>;

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
  // Exactly the threshold below the bottom edge: still inside.
  EXPECT_EQ(convex_hull2_idx({{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, -100 * 0x1p-23f}}).size(), 4u);
}

}  // namespace
