#include "hull/polygon_area.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using vorn::ConvexPolygon;
using vorn::polygon_area;
using vorn::Vec2f;

float area_of_hull(const std::vector<Vec2f>& pts) {
  return polygon_area(*ConvexPolygon::from_convex_hull(pts));
}

TEST(PolygonArea, SquareAndTriangle) {
  EXPECT_EQ(area_of_hull({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), 1.0f);
  EXPECT_EQ(area_of_hull({{0, 0}, {1, 0}, {0, 1}}), 0.5f);
  EXPECT_EQ(area_of_hull({{-3, -1}, {5, -1}, {5, 3}, {-3, 3}, {1, 1}}), 32.0f);
  // Recorded bits of an irregular pentagon: the order of every operation, down to dividing
  // the vertex sums by m rather than multiplying by 1 / m, is part of the result.
  EXPECT_EQ(area_of_hull({{-1.12028742f, 2.18421984f},
                          {4.36383629f, -4.79385519f},
                          {4.75995445f, -3.57282662f},
                          {1.7238369f, -1.74693823f},
                          {4.02834129f, 3.08929253f},
                          {3.45750904f, -1.01009035f},
                          {-1.22005963f, -0.752984047f}}),
            0x1.e9d21p+4f);
}

}  // namespace
