#include "hull/robust_hull2_area.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "hull/robust_hull3_volume.h"

namespace {

using vorn::robust_hull2_area;
using vorn::robust_hull3_volume;
using vorn::Vec2f;
using vorn::Vec3f;

TEST(RobustHull2Area, ExactHulls) {
  const float tiny = 1e-8f;
  std::vector<Vec2f> lattice;
  for (int i = 0; i < 100; ++i) lattice.push_back({float(i / 10), float(i % 10)});
  const struct {
    const char* label;
    std::vector<Vec2f> points;
    float area;
  } cases[] = {
      {"square with inner, edge and repeated points",
       {{0, 0}, {1, 0}, {0.5f, 0}, {1, 1}, {0, 1}, {0.25f, 0.75f}, {1, 0}, {0, 0.5f}, {1, 1}},
       1.0f},
      // Points of y = 0.3 x off the line by their rounding only.
      {"collinear up to rounding",
       {{0.1f, 0.03f}, {0.7f, 0.21f}, {1.3f, 0.39f}, {2.9f, 0.87f}},
       0.0f},
      // Too small for the merged polygon, which needs edges longer than about 1.2e-7.
      {"tiny triangle", {{0, 0}, {tiny, 0}, {0, tiny}}, 0.5f * tiny * tiny},
      {"lattice", lattice, 81.0f},
  };
  for (const auto& c : cases) {
    std::vector<Vec2f> p = c.points;
    EXPECT_EQ(robust_hull2_area(p), c.area) << c.label;
    std::reverse(p.begin(), p.end());
    EXPECT_EQ(robust_hull2_area(p), c.area) << c.label << ", reversed";
  }
}

// Enough points for the sort to run in several ranges and merge rounds: any misplaced point
// bends the chain. The corners repeat, one with a negative zero.
TEST(RobustHull2Area, SortedInRangesOnAnyThreadCount) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> inside(0.001f, 0.999f);
  std::vector<Vec2f> p(100000);
  for (Vec2f& q : p) q = {inside(rng), inside(rng)};
  const Vec2f corners[] = {{0, 0}, {-0.0f, 1}, {1, 0}, {1, 1}, {0, 1}, {0, -0.0f}};
  for (std::size_t k = 0; k < 6 * 7; ++k) p[rng() % p.size()] = corners[k % 6];
  for (std::size_t threads : {1, 3}) {
    EXPECT_EQ(robust_hull2_area(p, vorn::Executor(threads, {})), 1.0f) << threads << " threads";
  }
}

// Points inside the loop's inner disc are skipped; the hull, and so every bit, stays that of all
// points, for a loop of true hull vertices, one wound the wrong way, one that is not convex,
// and one whose edges graze the hull's boundary points.
TEST(RobustHull2Area, SkippingPointsInsideALoopKeepsTheBits) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::vector<Vec2f> p;
  while (p.size() < 20000) {
    const Vec2f q{unit(rng), unit(rng)};
    if (q.x * q.x + q.y * q.y < 1.0f) p.push_back(q);
  }
  std::vector<Vec2f> ring;  // every 40th point by angle: a loop of points near the rim
  for (int k = 0; k < 40; ++k) {
    const float a = 6.2831853f * float(k) / 40.0f;
    Vec2f best = p[0];
    for (const Vec2f& q : p)
      if (q.x * std::cos(a) + q.y * std::sin(a) > best.x * std::cos(a) + best.y * std::sin(a))
        best = q;
    ring.push_back(best);
  }
  std::vector<Vec2f> reversed(ring.rbegin(), ring.rend()), zigzag = ring;
  for (std::size_t k = 0; k < zigzag.size(); k += 2)
    zigzag[k] = {zigzag[k].x * 0.5f, zigzag[k].y * 0.5f};
  const float all = robust_hull2_area(p);
  for (const auto& loop : {ring, reversed, zigzag, std::vector<Vec2f>{p[0], p[1], p[2]}}) {
    EXPECT_EQ(robust_hull2_area(p, vorn::Executor(), loop), all);
  }
}

std::vector<Vec3f> lattice(int k, float z_scale) {
  std::vector<Vec3f> p;
  for (int i = 0; i <= k; ++i)
    for (int j = 0; j <= k; ++j)
      for (int l = 0; l <= k; ++l) p.push_back({float(i), float(j), float(l) * z_scale});
  return p;
}

// Lattices are all ties: every face is split by coplanar points and every edge carries
// collinear ones, so only exact signs give a closed hull.
TEST(RobustHull3Volume, LatticesAndDegenerateClouds) {
  std::mt19937_64 g(3);
  struct Case {
    const char* label;
    std::vector<Vec3f> points;
    float volume;
  } cases[] = {
      {"lattice cube", lattice(10, 1.0f), 1000.0f},
      {"flat lattice", lattice(6, 0.0f), 0.0f},
      {"collinear", {{0, 0, 0}, {1, 2, 3}, {2, 4, 6}, {-1, -2, -3}, {0.5f, 1, 1.5f}}, 0.0f},
      {"corner tetrahedron and a repeat",
       {{0, 0, 0}, {6, 0, 0}, {0, 6, 0}, {0, 0, 6}, {6, 0, 0}},
       36.0f},
  };
  for (Case& c : cases) {
    EXPECT_EQ(robust_hull3_volume(c.points), c.volume) << c.label;
    std::shuffle(c.points.begin(), c.points.end(), g);
    EXPECT_EQ(robust_hull3_volume(c.points), c.volume) << c.label << ", shuffled";
  }
}

// A point a little outside a face becomes a vertex, however close; one on the face does not.
TEST(RobustHull3Volume, PointsJustOutsideAFaceCount) {
  std::vector<Vec3f> cube = lattice(1, 1.0f);
  std::vector<Vec3f> on = cube, out = cube;
  on.push_back({0.5f, 0.5f, 1.0f});
  out.push_back({0.5f, 0.5f, 1.0f + 0x1.0p-20f});
  EXPECT_EQ(robust_hull3_volume(on), 1.0f);
  // The pyramid over the top face adds 2^-20 / 3.
  EXPECT_EQ(robust_hull3_volume(out), float(1.0 + 0x1.0p-20 / 3.0));
}

}  // namespace
