#include "hull/convex_polyhedron.h"

#include <gtest/gtest.h>

#include <vector>

#include "hull/polyhedron_volume.h"

namespace {

using vorn::ConvexPolyhedron;
using vorn::Triangle;
using vorn::Vec3f;

const std::vector<Vec3f> kCube = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                  {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
// Two outward triangles per side.
const std::vector<Triangle> kCubeTriangles = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7},
                                              {0, 1, 5}, {0, 5, 4}, {1, 2, 6}, {1, 6, 5},
                                              {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};

// A flat tetrahedron: a unit square folded along both diagonals by lifting one corner. Across
// the diagonal 0-2 the unit normals' dot product is 1 / (1 + lift^2) as rounded, across 1-3 a
// little more; triangles merge only above the threshold 0x3F7FE95F (lift about 0.0186).
TEST(ConvexPolyhedron, AdjacentTrianglesMergeOnlyAboveTheThreshold) {
  const auto faces = [](float lift) {
    const std::vector<Vec3f> pts = {{0, 0, 0}, {1, 0, 0}, {1, 1, lift}, {0, 1, 0}};
    return ConvexPolyhedron::from_convex_mesh(pts, {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 3, 2}})
        ->faces.size();
  };
  EXPECT_EQ(faces(0.018f), 2u);
  EXPECT_EQ(faces(0x1.307fe6p-6f), 3u);  // exactly the threshold across 0-2
  EXPECT_EQ(faces(0.019f), 4u);
}

TEST(ConvexPolyhedron, RegionAroundAnUnmergedIslandIsNotSound) {
  // The cube with a low pyramid standing on the middle of its top: the flat ring around the
  // pyramid is one region with two boundaries, walked as two faces.
  std::vector<Vec3f> pts = kCube;
  pts.insert(pts.end(), {{0.25f, 0.25f, 1},
                         {0.75f, 0.25f, 1},
                         {0.75f, 0.75f, 1},
                         {0.25f, 0.75f, 1},
                         {0.5f, 0.5f, 1.125f}});
  std::vector<Triangle> tris = kCubeTriangles;
  tris.erase(tris.begin() + 2, tris.begin() + 4);  // the top
  for (std::size_t k = 0; k < 4; ++k) {
    const std::size_t a = 4 + k, b = 4 + (k + 1) % 4, ia = 8 + k, ib = 8 + (k + 1) % 4;
    tris.push_back({a, b, ib});
    tris.push_back({a, ib, ia});
    tris.push_back({ia, ib, 12});
  }
  const auto p = ConvexPolyhedron::from_convex_mesh(pts, tris);
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->faces_sound);
  // The unit cube plus a pyramid of base 0.25 and height 0.125.
  EXPECT_NEAR(vorn::polyhedron_volume(*p), 1.0 + 0.25 * 0.125 / 3.0, 1e-6);
}

}  // namespace
