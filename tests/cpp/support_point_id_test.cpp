#include "hull/support_point_id.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using vorn::support_point_id;
using vorn::Vec2f;
using vorn::Vec3f;

TEST(SupportPointId, EqualMaximaKeepTheEarliestCandidate) {
  const std::vector<Vec2f> pts{{0, 0}, {2, 1}, {1, 5}, {2, -3}, {2, 1}};
  EXPECT_EQ(support_point_id(Vec2f{1, 0}, pts), 1u);
  // Candidate order, not index order, decides among equals.
  EXPECT_EQ(support_point_id(Vec2f{1, 0}, pts, {4, 3, 1}), 4u);
  const std::vector<Vec3f> p3{{0, 0, 1}, {0, 1, 1}, {0, 0, 1}};
  EXPECT_EQ(support_point_id(Vec3f{0, 0, 1}, p3), 0u);
  EXPECT_EQ(support_point_id(Vec3f{0, 0, 1}, p3, {2, 0}), 2u);
}

// The search starts from the most negative finite float: products at or below it, and NaN, never
// win.
TEST(SupportPointId, NothingBeatsTheStartValue) {
  const float big = 3.4028235e38f;
  EXPECT_FALSE(support_point_id(Vec2f{1, 0}, std::vector<Vec2f>{{1, 1}}, {}));
  EXPECT_FALSE(support_point_id(Vec2f{-1, 0}, std::vector<Vec2f>{{big, 0}, {INFINITY, 0}}));
  EXPECT_EQ(support_point_id(Vec2f{1, 0}, std::vector<Vec2f>{{NAN, 0}, {-big, 0}, {-1e38f, 0}}),
            2u);
}

}  // namespace
