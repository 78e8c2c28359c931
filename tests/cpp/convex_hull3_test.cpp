#include "hull/convex_hull3.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "utils/panic.h"

namespace {

using vorn::HullMesh;
using vorn::Triangle;
using vorn::Vec3f;

// Every directed edge appears once and its reverse once: a closed, consistently wound mesh.
bool closed_manifold(const HullMesh& m) {
  std::map<std::pair<std::size_t, std::size_t>, int> directed;
  for (const Triangle& t : m.triangles) {
    for (int k = 0; k < 3; ++k) ++directed[{t[k], t[(k + 1) % 3]}];
  }
  for (const auto& [e, count] : directed) {
    if (count != 1 || directed.count({e.second, e.first}) != 1) return false;
  }
  return true;
}

// Every input point lies on or below every triangle's plane, within `tol` of it.
bool contains_all(const HullMesh& m, const std::vector<Vec3f>& input, double tol) {
  for (const Triangle& t : m.triangles) {
    const Vec3f a = m.points[t[0]], b = m.points[t[1]], c = m.points[t[2]];
    const double u[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double v[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len == 0.0) return false;
    for (const Vec3f& p : input) {
      const double d = ((p.x - double(a.x)) * n[0] + (p.y - double(a.y)) * n[1] + (p.z - double(a.z)) * n[2]) / len;
      if (d > tol) return false;
    }
  }
  return true;
}

bool has_point(const HullMesh& m, Vec3f p) {
  return std::any_of(m.points.begin(), m.points.end(), [&](Vec3f q) { return q == p; });
}

TEST(ConvexHull3, CubeCornersGiveTwelveTriangles) {
  const std::vector<Vec3f> cube = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                   {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const auto m = vorn::try_convex_hull(cube);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->points.size(), 8u);
  EXPECT_EQ(m->triangles.size(), 12u);
  EXPECT_TRUE(closed_manifold(*m));
  EXPECT_TRUE(contains_all(*m, cube, 0.0));
}

TEST(ConvexHull3, FlatCloudGivesTwoSidedPolygon) {
  // An octagon in a tilted plane with points inside it.
  std::vector<Vec3f> pts;
  auto on_plane = [](float s, float t) { return Vec3f{s + 0.5f * t, t, 0.25f * s - 2.0f}; };
  for (int i = 0; i < 8; ++i) {
    const double a = 0.7853981633974483 * i;
    pts.push_back(on_plane(float(std::cos(a)), float(std::sin(a))));
  }
  for (int i = 0; i < 20; ++i) pts.push_back(on_plane(0.03f * i - 0.3f, 0.02f * i - 0.2f));
  const auto m = vorn::try_convex_hull(pts);
  ASSERT_TRUE(m);
  ASSERT_EQ(m->points.size(), 8u);
  ASSERT_EQ(m->triangles.size(), 12u);  // 2m - 4
  for (std::size_t k = 1; k + 1 < 8; ++k) EXPECT_EQ(m->triangles[k - 1], (Triangle{0, k, k + 1}));
  for (std::size_t k = 0; k + 2 < 8; ++k) EXPECT_EQ(m->triangles[6 + k], (Triangle{7, k + 1, k}));
  EXPECT_TRUE(closed_manifold(*m));
}

TEST(ConvexHull3, CollinearCloudGivesSegmentMesh) {
  std::vector<Vec3f> pts;
  for (int i : {3, 0, 7, 5, 1, 9, 2}) pts.push_back({float(i), 2.0f * i + 1.0f, -0.5f * i});
  const auto m = vorn::try_convex_hull(pts);
  ASSERT_TRUE(m);
  ASSERT_EQ(m->points.size(), 2u);
  EXPECT_TRUE(has_point(*m, pts[1]));  // i = 0
  EXPECT_TRUE(has_point(*m, pts[5]));  // i = 9
  EXPECT_EQ(m->triangles, (std::vector<Triangle>{{0, 1, 0}, {1, 0, 0}}));
}

TEST(ConvexHull3, NoHullForTooFewOrCoincidentPoints) {
  EXPECT_FALSE(vorn::try_convex_hull({{0, 0, 0}, {1, 1, 1}}));
  EXPECT_FALSE(vorn::try_convex_hull(std::vector<Vec3f>(12, Vec3f{0.5f, -3.0f, 2.0f})));
}

TEST(ConvexHull3, RandomCloudsGiveClosedHullsHoldingEveryPoint) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::normal_distribution<float> g(0.0f, 1.0f);
  auto sphere_point = [&] {
    Vec3f v{g(gen), g(gen), g(gen)};
    const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return Vec3f{v.x / l, v.y / l, v.z / l};
  };
  for (int round = 0; round < 40; ++round) {
    std::vector<Vec3f> pts;
    const int n = 20 + 37 * round;
    switch (round % 4) {
      case 0:
        for (int i = 0; i < n; ++i) pts.push_back({u(gen), u(gen), u(gen)});
        break;
      case 1:
        for (int i = 0; i < n; ++i) pts.push_back(sphere_point());
        break;
      case 2:  // four tight clusters far apart
        for (int i = 0; i < n; ++i) {
          const Vec3f c[4] = {{0, 0, 0}, {10, 7, 0}, {20, 0, 1}, {8, 3, 9}};
          pts.push_back({c[i % 4].x + 0.01f * u(gen), c[i % 4].y + 0.01f * u(gen), c[i % 4].z + 0.01f * u(gen)});
        }
        break;
      default:  // every point twice, the copies at the end
        for (int i = 0; i < n / 2; ++i) pts.push_back({u(gen), 3.0f * u(gen), u(gen)});
        for (int i = 0; i < n / 2; ++i) pts.push_back(pts[i]);
    }
    const auto m = vorn::try_convex_hull(pts);
    ASSERT_TRUE(m) << round;
    EXPECT_TRUE(closed_manifold(*m)) << round;
    // Inside a tight cluster three points can span a facet too small to orient, which every
    // point sees; its replacement may then lean out. Such hulls are closed but not convex.
    const bool clusters = round % 4 == 2;
    if (clusters) continue;
    // Points closer to the surface than the visibility distance may stay outside.
    EXPECT_TRUE(contains_all(*m, pts, 3e-4)) << round;
    std::set<std::pair<float, std::pair<float, float>>> distinct;
    for (const Vec3f& p : m->points) distinct.insert({p.x, {p.y, p.z}});
    EXPECT_EQ(distinct.size(), m->points.size()) << round;
    for (int axis = 0; axis < 3; ++axis) {
      auto key = [axis](Vec3f p) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; };
      const auto [lo, hi] = std::minmax_element(pts.begin(), pts.end(),
                                                [&](Vec3f a, Vec3f b) { return key(a) < key(b); });
      EXPECT_TRUE(has_point(*m, *lo) && has_point(*m, *hi)) << round << " axis " << axis;
    }
  }
}

// Each point of one rim of a cylinder lies in the plane of the current cap, so it removes
// the whole cap fan: the horizon walk goes about a thousand facets deep. A recursive walk
// overflows a 32 KiB stack on it.
TEST(ConvexHull3, DeepHorizonRunsOnSmallStack) {
  std::vector<Vec3f> pts;
  const int n = 1000;
  for (int i = 0; i < n; ++i) {
    const double a = 6.283185307179586 * i / n;
    pts.push_back({float(std::cos(a)), float(std::sin(a)), 0.0f});
    pts.push_back({float(std::cos(a)), float(std::sin(a)), 1.0f});
  }
  std::optional<HullMesh> m;
  std::function<void()> build = [&] { m = vorn::try_convex_hull(pts); };
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 32 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, [](void* f) -> void* {
    (*static_cast<std::function<void()>*>(f))();
    return nullptr;
  }, &build), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  ASSERT_TRUE(m);
  EXPECT_GT(m->points.size(), 1800u);
  EXPECT_TRUE(closed_manifold(*m));
}

}  // namespace
