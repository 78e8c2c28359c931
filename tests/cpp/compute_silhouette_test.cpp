#include "hull/compute_silhouette.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cmath>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace {

using vorn::SilhouetteEdge;
using vorn::TriangleFacet;
using vorn::Vec3f;

// A closed latitude-longitude sphere of radius 1, wound outward, with its neighbours.
struct Sphere {
  std::vector<Vec3f> points;
  std::vector<TriangleFacet> facets;
};

Sphere uv_sphere(int stacks, int slices) {
  Sphere s;
  const double pi = 3.14159265358979323846;
  s.points.push_back({0.0f, 0.0f, 1.0f});
  for (int i = 1; i < stacks; ++i) {
    const double th = pi * i / stacks;
    for (int j = 0; j < slices; ++j) {
      const double ph = 2.0 * pi * j / slices;
      s.points.push_back({static_cast<float>(std::sin(th) * std::cos(ph)),
                          static_cast<float>(std::sin(th) * std::sin(ph)),
                          static_cast<float>(std::cos(th))});
    }
  }
  s.points.push_back({0.0f, 0.0f, -1.0f});
  const std::size_t south = s.points.size() - 1;
  auto ring = [&](int i, int j) { return std::size_t(1 + (i - 1) * slices + (j % slices)); };
  std::vector<std::array<std::size_t, 3>> tris;
  for (int j = 0; j < slices; ++j) tris.push_back({0, ring(1, j), ring(1, j + 1)});
  for (int i = 1; i + 1 < stacks; ++i) {
    for (int j = 0; j < slices; ++j) {
      tris.push_back({ring(i, j), ring(i + 1, j), ring(i + 1, j + 1)});
      tris.push_back({ring(i, j), ring(i + 1, j + 1), ring(i, j + 1)});
    }
  }
  for (int j = 0; j < slices; ++j) tris.push_back({south, ring(stacks - 1, j + 1), ring(stacks - 1, j)});

  std::map<std::pair<std::size_t, std::size_t>, std::pair<std::size_t, int>> directed;
  for (std::size_t t = 0; t < tris.size(); ++t) {
    for (int k = 0; k < 3; ++k) directed[{tris[t][k], tris[t][(k + 1) % 3]}] = {t, k};
  }
  for (std::size_t t = 0; t < tris.size(); ++t) {
    TriangleFacet f = vorn::make_facet(s.points, tris[t][0], tris[t][1], tris[t][2]);
    for (int k = 0; k < 3; ++k) {
      const auto& other = directed.at({tris[t][(k + 1) % 3], tris[t][k]});
      f.neighbours[k] = other.first;
      f.neighbour_edge[k] = static_cast<std::uint8_t>(other.second);
    }
    s.facets.push_back(f);
  }
  return s;
}

// The walk written as plain recursion: the order the explicit stack must reproduce.
void recursive_walk(std::vector<TriangleFacet>& facets, std::size_t f, int e,
                    const std::vector<Vec3f>& points, std::size_t p,
                    std::vector<SilhouetteEdge>& silhouette, std::vector<std::size_t>& removed) {
  if (!facets[f].valid) return;
  if (!vorn::facet_sees_point(facets[f], points, p)) {
    silhouette.emplace_back(f, e);
    return;
  }
  facets[f].valid = false;
  removed.push_back(f);
  const TriangleFacet& t = facets[f];
  recursive_walk(facets, t.neighbours[(e + 1) % 3], t.neighbour_edge[(e + 1) % 3], points, p,
                 silhouette, removed);
  recursive_walk(facets, t.neighbours[(e + 2) % 3], t.neighbour_edge[(e + 2) % 3], points, p,
                 silhouette, removed);
}

// Runs fn on a thread whose whole stack is `bytes`.
void run_on_small_stack(std::size_t bytes, std::function<void()> fn) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, bytes), 0);
  pthread_t thread;
  auto trampoline = [](void* arg) -> void* {
    (*static_cast<std::function<void()>*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, trampoline, &fn), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

// Consecutive horizon edges share a vertex: each entry starts where the next one ends.
void expect_closed_loop(const std::vector<TriangleFacet>& facets,
                        const std::vector<SilhouetteEdge>& sil) {
  for (std::size_t k = 0; k < sil.size(); ++k) {
    const auto& [f, e] = sil[k];
    const auto& [g, h] = sil[(k + 1) % sil.size()];
    EXPECT_EQ(facets[f].vertices[e], facets[g].vertices[(h + 1) % 3]) << "entry " << k;
  }
}

TEST(ComputeSilhouette, VisitsInTheOrderOfTheRecursiveWalk) {
  const Sphere base = uv_sphere(24, 31);
  const Vec3f outside[] = {{0.0f, 0.0f, 1.2f}, {3.0f, 0.5f, 0.1f}, {40.0f, -30.0f, 25.0f},
                           {0.7f, 0.7f, 0.2f}, {-0.2f, 0.1f, -1.01f}};
  for (const Vec3f& q : outside) {
    Sphere s = base;
    s.points.push_back(q);
    const std::size_t p = s.points.size() - 1;
    // Start from the facet the point lies farthest above.
    std::size_t start = 0;
    for (std::size_t f = 1; f < s.facets.size(); ++f) {
      if (vorn::facet_distance(s.facets[f], s.points, p) >
          vorn::facet_distance(s.facets[start], s.points, p))
        start = f;
    }
    std::vector<TriangleFacet> ref_facets = s.facets;
    std::vector<SilhouetteEdge> ref_sil;
    std::vector<std::size_t> ref_removed{start};
    ref_facets[start].valid = false;
    for (int k = 0; k < 3; ++k) {
      recursive_walk(ref_facets, ref_facets[start].neighbours[k], ref_facets[start].neighbour_edge[k],
                     s.points, p, ref_sil, ref_removed);
    }

    std::vector<SilhouetteEdge> sil{{7, 7}};  // stale contents must be replaced
    std::vector<std::size_t> removed{9};
    vorn::compute_silhouette(s.facets, start, s.points, p, sil, removed);
    EXPECT_EQ(sil, ref_sil);
    EXPECT_EQ(removed, ref_removed);
    EXPECT_GT(removed.size(), 1u);
    expect_closed_loop(s.facets, sil);
    for (std::size_t f = 0; f < s.facets.size(); ++f) {
      EXPECT_EQ(s.facets[f].valid, ref_facets[f].valid);
    }
  }
}

// A point far away sees half of a sphere of 400,000 facets; walked recursively the
// depth would reach the hundreds of thousands. A 256 KiB stack is enough for the
// explicit stack.
TEST(ComputeSilhouette, DeepHorizonNeedsNoDeepStack) {
  Sphere s = uv_sphere(500, 401);
  s.points.push_back({1000.0f, 10.0f, 20.0f});
  const std::size_t p = s.points.size() - 1;
  std::size_t start = 0;
  while (!vorn::facet_sees_point(s.facets[start], s.points, p)) ++start;
  std::vector<SilhouetteEdge> sil;
  std::vector<std::size_t> removed;
  run_on_small_stack(256 * 1024, [&] { vorn::compute_silhouette(s.facets, start, s.points, p, sil, removed); });
  EXPECT_GT(removed.size(), s.facets.size() * 2 / 5);
  EXPECT_LT(removed.size(), s.facets.size() * 3 / 5);
  expect_closed_loop(s.facets, sil);
}

}  // namespace
