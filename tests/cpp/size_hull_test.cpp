#include "utils/size_measures/size_hull.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "utils/panic.h"

namespace {

vorn::PointSet make(std::size_t d, const std::vector<double>& coords) {
  vorn::PointSet p(coords.size() / d, d);
  p.coords = coords;
  return p;
}

const std::vector<double> kCube = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0,
                                   0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};

TEST(SizeHull, WorkedResults) {
  struct Case {
    const char* name;
    std::size_t d;
    std::vector<double> coords;
    double expected;
  };
  const Case cases[] = {
      {"unit square", 2, {0, 0, 1, 0, 1, 1, 0, 1}, 1.0},
      {"triangle", 2, {0, 0, 1, 0, 0, 1}, 0.5},
      // One sixth in float: four faces of 0.25 / 6 each.
      {"corner tetrahedron", 3, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, 0.1666666716337204},
      // Twelve fan triangles of 0.5 / 6 summed in float.
      {"unit cube", 3, kCube, 0.9999998807907104},
  };
  for (const Case& c : cases) EXPECT_EQ(vorn::size_hull(make(c.d, c.coords)), c.expected) << c.name;
}

TEST(SizeHull, UndefinedInputsGiveZero) {
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  auto random_cloud = [&](std::size_t n, std::size_t d) {
    std::vector<double> c(n * d);
    for (double& x : c) x = u(gen);
    return make(d, c);
  };
  struct Case {
    const char* name;
    vorn::PointSet points;
  };
  std::vector<double> line3, line2;
  for (int i = 0; i < 20; ++i) {
    line3.insert(line3.end(), {0.5 * i, 1.0 + i, -2.0 * i});
    line2.insert(line2.end(), {0.5 * i, 1.0 + i});
  }
  std::vector<double> same3;
  for (int i = 0; i < 10; ++i) same3.insert(same3.end(), {0.25, -4.0, 3.0});
  const Case cases[] = {
      {"no points", vorn::PointSet()},
      {"three points in 3-d", random_cloud(3, 3)},
      {"two points in 2-d", random_cloud(2, 2)},
      {"dimension 1", random_cloud(100, 1)},
      {"dimension 4", random_cloud(100, 4)},
      {"collinear 3-d", make(3, line3)},
      {"collinear 2-d", make(2, line2)},
      {"coincident 3-d", make(3, same3)},
  };
  for (const Case& c : cases) EXPECT_EQ(vorn::size_hull(c.points), 0.0) << c.name;
}

TEST(SizeHull, CoincidentPlanarPointsPanic) {
  // Distinct as doubles, one position as floats.
  const auto p = make(2, {1.0, 2.0, 1.0 + 1e-12, 2.0, 1.0, 2.0 - 1e-12, 1.0, 2.0});
  try {
    vorn::size_hull(p);
    FAIL() << "no panic";
  } catch (const vorn::Panic& e) {
    EXPECT_STREQ(e.what(), "Failed to build the 2d convex hull of this point cloud.");
  }
}

TEST(SizeHull, FlatCloudsHaveNoVolume) {
  // Both sides are fanned against one float reference point: they cancel exactly when
  // that point keeps the plane's z, and leave a rounding residue otherwise.
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  auto disc = [&](double z) {
    std::vector<double> c;
    for (int i = 0; i < 200; ++i) c.insert(c.end(), {u(gen), u(gen), z});
    return make(3, c);
  };
  EXPECT_EQ(vorn::size_hull(disc(0.0)), 0.0);
  EXPECT_EQ(vorn::size_hull(make(3, {0, 0, 0.5, 1, 0, 0.5, 1, 1, 0.5, 0, 1, 0.5})), 0.0);
  const double residue = vorn::size_hull(disc(0.3));
  EXPECT_LT(std::fabs(residue), 1e-12);
  // A tilted plane, too.
  std::vector<double> c;
  for (int i = 0; i < 200; ++i) {
    const double x = u(gen), y = u(gen);
    c.insert(c.end(), {x, y, 0.25 * x - 0.5 * y + 2.0});
  }
  EXPECT_LT(std::fabs(vorn::size_hull(make(3, c))), 1e-6);
}

TEST(SizeHull, DifferencesBeyondSinglePrecisionVanish) {
  std::vector<double> c = kCube;
  for (std::size_t i = 0; i < kCube.size(); ++i) c.push_back(kCube[i] + 1e-12);
  EXPECT_EQ(vorn::size_hull(make(3, c)), 0.9999998807907104);
}

}  // namespace
