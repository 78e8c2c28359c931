#include "hull/convex_hull3.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <map>
#include <vector>

#include "hull/support_point_id.h"
#include "hull/triangle_facet.h"

namespace {

using vorn::HullMesh;
using vorn::Triangle;
using vorn::Vec3f;

// Every directed edge appears once and its reverse once: closed and consistently wound.
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

// Each rim point of a cylinder lies in the plane of the current cap, so it removes the
// whole cap fan: the horizon walk goes about a thousand facets deep, which a recursive
// walk cannot do within a 32 KiB stack.
TEST(ConvexHull3, DeepHorizonRunsOnSmallStack) {
  std::vector<Vec3f> pts;
  for (int i = 0; i < 1000; ++i) {
    const double a = 6.283185307179586 * i / 1000;
    pts.push_back({float(std::cos(a)), float(std::sin(a)), 0.0f});
    pts.push_back({float(std::cos(a)), float(std::sin(a)), 1.0f});
  }
  std::optional<HullMesh> m;
  std::function<void()> build = [&] { m = vorn::try_convex_hull(pts); };
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  // Some targets (aarch64 with 64 KiB pages) refuse stacks below their own minimum.
  const std::size_t stack =
      std::max<std::size_t>(32 * 1024, static_cast<std::size_t>(PTHREAD_STACK_MIN));
  ASSERT_EQ(pthread_attr_setstacksize(&attr, stack), 0);
  pthread_t thread;
  auto run = [](void* f) -> void* {
    (*static_cast<std::function<void()>*>(f))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, &build), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  ASSERT_TRUE(m);
  EXPECT_GT(m->points.size(), 1800u);
  EXPECT_TRUE(closed_manifold(*m));
}

// A thin box and two points on its axis, the box's height chosen so that the normalised cloud's
// least covariance eigenvalue is exactly the zero bound (bits 0x33D6BF95): the cloud counts as
// flat, and its mesh is the two-sided square, not a closed box.
TEST(ConvexHull3, AnEigenvalueOfExactlyTheZeroBoundIsFlat) {
  const float t = 0x1.061d54p-10f, s = 0x1.f7428cp-16f;
  std::vector<Vec3f> pts;
  for (int i = 0; i < 8; ++i)
    pts.push_back({i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? t : -t});
  pts.push_back({0, 0, s});
  pts.push_back({0, 0, -s});
  const std::optional<HullMesh> m = vorn::try_convex_hull(pts);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->points.size(), 4u);
  EXPECT_EQ(m->triangles.size(), 4u);
}

TEST(TriangleFacet, APointOnThePlaneSeesIt) {
  const std::vector<Vec3f> plane = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3f, 0.7f, 0}};
  EXPECT_TRUE(vorn::facet_sees_point(vorn::make_facet(plane, 0, 1, 2), plane, 3));
}

using vorn::support_point_id;
using vorn::Vec2f;

TEST(SupportPointId, EqualMaximaKeepTheEarliestCandidate) {
  const std::vector<Vec2f> pts{{0, 0}, {2, 1}, {1, 5}, {2, -3}, {2, 1}};
  EXPECT_EQ(support_point_id(Vec2f{1, 0}, pts), 1u);
  // Candidate order, not index order, decides among equals.
  EXPECT_EQ(support_point_id(Vec2f{1, 0}, pts, {4, 3, 1}), 4u);
  const std::vector<Vec3f> p3{{0, 0, 1}, {0, 1, 1}, {0, 0, 1}};
  EXPECT_EQ(support_point_id(Vec3f{0, 0, 1}, p3), 0u);
  EXPECT_EQ(support_point_id(Vec3f{0, 0, 1}, p3, {2, 0}), 2u);
}

}  // namespace
