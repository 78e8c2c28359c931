#include "hull/polyhedron_volume_is_sound.h"

#include <gtest/gtest.h>

#include <vector>

#include "hull/polyhedron_volume.h"

namespace {

using vorn::ConvexPolyhedron;
using vorn::Vec3f;

bool sound(std::vector<Vec3f> points, std::vector<vorn::Triangle> triangles, float volume_scale) {
  const std::optional<ConvexPolyhedron> poly =
      ConvexPolyhedron::from_convex_mesh(std::move(points), std::move(triangles));
  return poly &&
         vorn::polyhedron_volume_is_sound(*poly, vorn::polyhedron_volume(*poly) * volume_scale);
}

// An octahedron with apexes at height +-top over the unit square's diagonals.
std::vector<Vec3f> octahedron(float top) {
  return {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 0, top}, {0, 0, -1}};
}
const std::vector<vorn::Triangle> kOctahedron = {{0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4},
                                                 {1, 0, 5}, {2, 1, 5}, {3, 2, 5}, {0, 3, 5}};

TEST(PolyhedronVolumeIsSound, Cases) {
  EXPECT_TRUE(sound(octahedron(1.0f), kOctahedron, 1.0f));
  EXPECT_FALSE(sound(octahedron(-0.5f), kOctahedron, 1.0f)) << "the upper apex pushed inside";
  EXPECT_FALSE(sound(octahedron(1.0f), kOctahedron, 1.0f + 0x1.0p-15f)) << "a drifted float sum";
}

}  // namespace
