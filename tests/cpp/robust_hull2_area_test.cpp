#include "hull/robust_hull2_area.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using vorn::robust_hull2_area;
using vorn::Vec2f;

struct Case {
  const char* label;
  std::vector<Vec2f> points;
  float area;
};

TEST(RobustHull2Area, ExactHulls) {
  const float tiny = 1e-8f;
  const Case cases[] = {
      {"square with inner, edge and repeated points",
       {{0, 0}, {1, 0}, {0.5f, 0}, {1, 1}, {0, 1}, {0.25f, 0.75f}, {1, 0}, {0, 0.5f}, {1, 1}},
       1.0f},
      {"collinear", {{0, 0}, {1, 2}, {3, 6}, {-2, -4}}, 0.0f},
      // Points of y = 0.3 x off the line by their rounding only.
      {"collinear up to rounding",
       {{0.1f, 0.03f}, {0.7f, 0.21f}, {1.3f, 0.39f}, {2.9f, 0.87f}},
       0.0f},
      {"coincident", {{2, 3}, {2, 3}, {2, 3}}, 0.0f},
      {"two points", {{0, 0}, {1, 1}}, 0.0f},
      // Too small for the merged polygon, which needs edges longer than about 1.2e-7.
      {"tiny triangle", {{0, 0}, {tiny, 0}, {0, tiny}}, 0.5f * tiny * tiny},
      {"lattice", {}, 81.0f},
  };
  for (const Case& c : cases) {
    std::vector<Vec2f> p = c.points;
    if (p.empty()) {
      for (int i = 0; i <= 9; ++i) {
        for (int j = 0; j <= 9; ++j) p.push_back({float(i), float(j)});
      }
    }
    EXPECT_EQ(robust_hull2_area(p), c.area) << c.label;
    std::reverse(p.begin(), p.end());
    EXPECT_EQ(robust_hull2_area(p), c.area) << c.label << ", reversed";
  }
}

}  // namespace
