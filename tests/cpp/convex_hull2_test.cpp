#include "hull/convex_hull2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "utils/panic.h"

namespace {

using vorn::convex_hull2_idx;
using vorn::Vec2f;
using Idx = std::vector<std::size_t>;

std::string panic_message(const std::vector<Vec2f>& pts) {
  try {
    convex_hull2_idx(pts);
  } catch (const vorn::Panic& p) {
    return p.what();
  }
  return "no panic";
}

TEST(ConvexHull2, SmallShapesListVerticesCounterClockwise) {
  EXPECT_EQ(convex_hull2_idx({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), (Idx{0, 1, 2, 3}));
  EXPECT_EQ(convex_hull2_idx({{1, 1}, {0, 1}, {0, 0}, {1, 0}}), (Idx{0, 1, 2, 3}));
  EXPECT_EQ(convex_hull2_idx({{0, 0}, {1, 0}, {0, 1}}), (Idx{0, 1, 2}));
  // Interior points and duplicates of vertices never show up.
  EXPECT_EQ(convex_hull2_idx({{0.5f, 0.5f}, {0, 0}, {1, 0}, {1, 1}, {0, 1}, {1, 0}, {0.2f, 0.7f}}),
            (Idx{1, 2, 3, 4}));
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
  EXPECT_EQ(panic_message({}), "assertion failed: points.len() >= 2");
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

// Signed distance of v from the line a -> b, positive on the right (outside a counter-clockwise
// edge).
double outside_distance(Vec2f a, Vec2f b, Vec2f v) {
  const double ex = double(b.x) - a.x, ey = double(b.y) - a.y;
  return ((double(v.x) - a.x) * ey - (double(v.y) - a.y) * ex) / std::hypot(ex, ey);
}

std::vector<Vec2f> random_cloud(std::mt19937& gen, int kind) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::uniform_int_distribution<int> count(3, 300);
  std::vector<Vec2f> pts(count(gen));
  for (Vec2f& q : pts) {
    const float a = u(gen), b = u(gen);
    switch (kind) {
      case 0: q = {a, b}; break;                                    // square
      case 1: q = {std::cos(3.2f * a), std::sin(3.2f * a)}; break;  // on a circle
      case 2: q = {a * 10.0f, b * 1e-3f}; break;                    // thin sliver
      default: q = {std::round(a * 4.0f), std::round(b * 4.0f)};    // grid with many ties
    }
  }
  return pts;
}

TEST(ConvexHull2, RandomCloudsGiveConvexCounterClockwiseHullsAroundEveryPoint) {
  std::mt19937 gen(2024);
  for (int trial = 0; trial < 400; ++trial) {
    const std::vector<Vec2f> pts = random_cloud(gen, trial % 4);
    const Idx idx = convex_hull2_idx(pts);
    const std::size_t m = idx.size();
    float maxabs = 0.0f;
    for (const Vec2f& v : pts) maxabs = std::max({maxabs, std::fabs(v.x), std::fabs(v.y)});
    // The threshold, plus the rounding of the distances near it.
    const double slack = 1.1920929e-05 + 16 * 1.1920929e-07 * maxabs;
    ASSERT_GE(m, 3u) << trial;
    Idx sorted = idx;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_TRUE(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end()) << trial;

    double area2 = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
      const Vec2f a = pts[idx[i]], b = pts[idx[(i + 1) % m]], c = pts[idx[(i + 2) % m]];
      // No turn to the right beyond rounding, and every point inside every edge up to the
      // threshold.
      ASSERT_LT(outside_distance(a, b, c), slack) << trial;
      for (const Vec2f& v : pts) ASSERT_LT(outside_distance(a, b, v), slack) << trial;
      area2 += double(a.x) * b.y - double(b.x) * a.y;
    }
    ASSERT_GT(area2, 0.0) << "clockwise, trial " << trial;
  }
}

}  // namespace
