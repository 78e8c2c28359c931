#include "hull/polygon_area.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
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

// Every triangle is measured from its side lengths, so the area does not depend on where the
// polygon sits, only on rounding; and the sum matches the exact area closely.
TEST(PolygonArea, RandomPolygonsMatchTheExactArea) {
  std::mt19937 gen(99);
  std::uniform_real_distribution<float> angle(0.0f, 6.2831853f);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<Vec2f> pts;
    const float cx = trial * 10.0f, cy = -trial * 5.0f;
    for (int k = 0; k < 3 + trial % 40; ++k) {
      const float a = angle(gen);
      pts.push_back({cx + 2.0f * std::cos(a), cy + std::sin(a)});
    }
    const auto poly = ConvexPolygon::from_convex_hull(pts);
    if (!poly) continue;
    double exact = 0.0;  // shoelace, in double
    const auto& v = poly->vertices;
    for (std::size_t i = 0, j = 1; i < v.size(); ++i, j = (i + 1) % v.size())
      exact += ((double(v[i].x) - cx) * (double(v[j].y) - cy) -
                (double(v[j].x) - cx) * (double(v[i].y) - cy)) /
               2;
    EXPECT_NEAR(polygon_area(*poly), exact, 1e-5 * (1.0 + cx)) << trial;
  }
}

}  // namespace
