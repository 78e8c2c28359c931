#include "hull/convex_polygon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using vorn::ConvexPolygon;
using vorn::Vec2f;
using Loop = std::vector<Vec2f>;

void expect_vertices(const std::optional<ConvexPolygon>& poly, const Loop& expected) {
  ASSERT_TRUE(poly.has_value());
  ASSERT_EQ(poly->vertices.size(), expected.size());
  ASSERT_EQ(poly->normals.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(poly->vertices[i].x, expected[i].x) << i;
    EXPECT_EQ(poly->vertices[i].y, expected[i].y) << i;
  }
}

TEST(ConvexPolygon, FromHullOfSquareHasOutwardUnitNormals) {
  const auto poly = ConvexPolygon::from_convex_hull({{0.5f, 0.5f}, {0, 0}, {1, 0}, {1, 1}, {0, 1}});
  expect_vertices(poly, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  const Loop normals{{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(poly->normals[i].x, normals[i].x) << i;
    EXPECT_EQ(poly->normals[i].y, normals[i].y) << i;
  }
}

// A vertex between two collinear edges goes; vertex 0 goes when the closing edge and the
// first edge are collinear, and the first survivor then leads.
TEST(ConvexPolygon, CollinearVerticesAreDropped) {
  expect_vertices(ConvexPolygon::from_convex_polyline({{0, 0}, {1, 0}, {2, 0}, {2, 2}, {0, 2}}),
                  {{0, 0}, {2, 0}, {2, 2}, {0, 2}});
  expect_vertices(ConvexPolygon::from_convex_polyline({{1, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}}),
                  {{2, 0}, {2, 2}, {0, 2}, {0, 0}});
  // Two neighbouring collinear vertices, and a run that wraps around vertex 0.
  expect_vertices(
      ConvexPolygon::from_convex_polyline({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 3}, {0, 3}}),
      {{0, 0}, {3, 0}, {3, 3}, {0, 3}});
  expect_vertices(
      ConvexPolygon::from_convex_polyline({{2, 0}, {3, 0}, {3, 3}, {0, 3}, {0, 0}, {1, 0}}),
      {{3, 0}, {3, 3}, {0, 3}, {0, 0}});
  // Each bend is compared with its own neighbour edge, not with the last kept one: two
  // successive 1-degree bends both go although together they turn by 2 degrees.
  expect_vertices(
      ConvexPolygon::from_convex_polyline({{0, 0}, {1, 0}, {2, 0.0175f}, {3, 0.0524f}, {3, 3}, {0, 3}}),
      {{0, 0}, {3, 0.0524f}, {3, 3}, {0, 3}});
  // A bend of about 2 degrees stays; one of about 1 degree (below 1.5) is taken as straight.
  EXPECT_EQ(ConvexPolygon::from_convex_polyline({{0, 0}, {1, 0}, {2, 0.035f}, {2, 2}, {0, 2}})
                ->vertices.size(),
            5u);
  EXPECT_EQ(ConvexPolygon::from_convex_polyline({{0, 0}, {1, 0}, {2, 0.017f}, {2, 2}, {0, 2}})
                ->vertices.size(),
            4u);
}

TEST(ConvexPolygon, GivesNothingWithoutAProperPolygon) {
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({}));
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({{1, 1}}));
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({{0, 0}, {1, 1}}));
  // Points on one line: the hull is two points with opposite edge normals.
  EXPECT_FALSE(ConvexPolygon::from_convex_hull({{0, 0}, {1, 2}, {2, 4}, {0.5f, 1}}));
  // Every edge of a sliver within the collinearity threshold of its neighbour.
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({{0, 0}, {10, 0}, {5, 0.01f}}));
  // An edge of squared length at most 2^-46 fails the whole polygon.
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({{0, 0}, {1e-7f, 0}, {0, 1e-7f}}));
  EXPECT_FALSE(ConvexPolygon::from_convex_polyline({{0, 0}, {1, 0}, {1, 0}, {0, 1}}));
  EXPECT_TRUE(ConvexPolygon::from_convex_polyline({{0, 0}, {2e-7f, 0}, {0, 2e-7f}}));
  // A triangle with sides below 1e-7 has no hull polygon.
  EXPECT_FALSE(ConvexPolygon::from_convex_hull({{0, 0}, {5e-8f, 0}, {0, 5e-8f}}));
}

}  // namespace
