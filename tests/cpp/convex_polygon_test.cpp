#include "hull/convex_polygon.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using vorn::ConvexPolygon;
using vorn::Vec2f;
using Loop = std::vector<Vec2f>;

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
}

}  // namespace
