#include "hull/polygon_area.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "hull/convex_polygon.h"
#include "hull/triangle_area.h"

namespace {

using vorn::ConvexPolygon;
using vorn::polygon_area;
using vorn::triangle_area;
using vorn::Vec2f;
using Loop = std::vector<Vec2f>;

float area_of_hull(const std::vector<Vec2f>& pts) {
  return polygon_area(*ConvexPolygon::from_convex_hull(pts));
}

// Recorded bits of the hull of seven points, an irregular pentagon: the order of every
// operation, down to dividing the vertex sums by m rather than multiplying by 1 / m, is part
// of the result.
TEST(PolygonArea, IrregularPentagonGivesTheRecordedBits) {
  EXPECT_EQ(area_of_hull({{-1.12028742f, 2.18421984f},
                          {4.36383629f, -4.79385519f},
                          {4.75995445f, -3.57282662f},
                          {1.7238369f, -1.74693823f},
                          {4.02834129f, 3.08929253f},
                          {3.45750904f, -1.01009035f},
                          {-1.22005963f, -0.752984047f}}),
            0x1.e9d21p+4f);
}

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
    while (std::next_permutation(s.begin(), s.end()))
      ASSERT_EQ(triangle_area(s[0], s[1], s[2]), ref);
  }
}

Loop vertices_of(const std::optional<ConvexPolygon>& poly) {
  return poly ? poly->vertices : Loop{};
}

TEST(ConvexPolygon, FromHullOfSquareHasOutwardUnitNormals) {
  const auto poly = ConvexPolygon::from_convex_hull({{0.5f, 0.5f}, {0, 0}, {1, 0}, {1, 1}, {0, 1}});
  EXPECT_EQ(vertices_of(poly), (Loop{{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
  EXPECT_EQ(poly->normals, (Loop{{0, -1}, {1, 0}, {0, 1}, {-1, 0}}));
}

// A vertex between two collinear edges goes; vertex 0 goes when the closing edge and the
// first edge are collinear, and the first survivor then leads.
TEST(ConvexPolygon, CollinearVerticesAreDropped) {
  const auto drop = [](Loop loop) {
    return vertices_of(ConvexPolygon::from_convex_polyline(std::move(loop)));
  };
  EXPECT_EQ(drop({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 3}, {0, 3}}),
            (Loop{{0, 0}, {3, 0}, {3, 3}, {0, 3}}));
  EXPECT_EQ(drop({{2, 0}, {3, 0}, {3, 3}, {0, 3}, {0, 0}, {1, 0}}),
            (Loop{{3, 0}, {3, 3}, {0, 3}, {0, 0}}));
  // Each bend is compared with its own neighbour edge, not with the last kept one: two
  // successive 1-degree bends both go although together they turn by 2 degrees.
  EXPECT_EQ(drop({{0, 0}, {1, 0}, {2, 0.0175f}, {3, 0.0524f}, {3, 3}, {0, 3}}),
            (Loop{{0, 0}, {3, 0.0524f}, {3, 3}, {0, 3}}));
  // A single bend of about 2 degrees stays (the threshold is about 1.5).
  EXPECT_EQ(drop({{0, 0}, {1, 0}, {2, 0.035f}, {2, 2}, {0, 2}}).size(), 5u);
  // So does a bend whose normals' dot product is exactly the threshold, 0x3F7FE95F.
  EXPECT_EQ(drop({{0, 0}, {0.75f, 0}, {1.5f, 0x1.42f944p-6f}, {1.5f, 2}, {0, 2}}).size(), 5u);
}

TEST(ConvexPolygon, GivesNothingWithoutAProperPolygon) {
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({}));
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({{0, 0}, {1, 1}}));
  // Points on one line: the hull is two points with opposite edge normals.
  EXPECT_FALSE(ConvexPolygon::from_convex_hull({{0, 0}, {1, 2}, {2, 4}, {0.5f, 1}}));
  // A sliver whose every edge is within the collinearity threshold of its neighbour.
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({{0, 0}, {10, 0}, {5, 0.01f}}));
  // An edge of squared length at most 2^-46 fails the whole polygon.
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({{0, 0}, {1e-7f, 0}, {0, 1e-7f}}));
  EXPECT_TRUE(ConvexPolygon::from_convex_polyline({{0, 0}, {2e-7f, 0}, {0, 2e-7f}}));
  EXPECT_FALSE(ConvexPolygon::from_convex_hull({{0, 0}, {5e-8f, 0}, {0, 5e-8f}}));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({{0, 0}, {1, 0}, {nan, 1}, {0, 1}}));
}

}  // namespace
