#include "hull/compute_silhouette.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <vector>

namespace {

using vorn::SilhouetteEdge;
using vorn::TriangleFacet;
using vorn::Vec3f;

// Two cones over a ring of n points, wound outward, with the neighbours filled in.
void bipyramid(int n, std::vector<Vec3f>& points, std::vector<TriangleFacet>& facets) {
  for (int i = 0; i < n; ++i) {
    const double a = 6.283185307179586 * i / n;
    points.push_back({float(std::cos(a)), float(std::sin(a)), 0.0f});
  }
  points.push_back({0.0f, 0.0f, 1.0f});
  points.push_back({0.0f, 0.0f, -1.0f});
  const std::size_t top = n, bottom = n + 1;
  for (int i = 0; i < n; ++i) {
    facets.push_back(vorn::make_facet(points, top, i, (i + 1) % n));
    facets.push_back(vorn::make_facet(points, bottom, (i + 1) % n, i));
  }
  std::map<std::pair<std::size_t, std::size_t>, std::pair<std::size_t, int>> directed;
  for (std::size_t t = 0; t < facets.size(); ++t) {
    for (int k = 0; k < 3; ++k)
      directed[{facets[t].vertices[k], facets[t].vertices[(k + 1) % 3]}] = {t, k};
  }
  for (TriangleFacet& f : facets) {
    for (int k = 0; k < 3; ++k) {
      const auto [g, e] = directed.at({f.vertices[(k + 1) % 3], f.vertices[k]});
      f.neighbours[k] = g;
      f.neighbour_edge[k] = static_cast<std::uint8_t>(e);
    }
  }
}

TEST(ComputeSilhouette, VisitsInTheOrderOfTheRecursiveWalk) {
  std::vector<Vec3f> base_points;
  std::vector<TriangleFacet> base;
  bipyramid(40, base_points, base);
  for (Vec3f q : {Vec3f{0.0f, 0.1f, 1.5f}, Vec3f{1.3f, 0.4f, 0.1f}, Vec3f{30.0f, -20.0f, 9.0f},
                  Vec3f{0.2f, -0.1f, -4.0f}}) {
    std::vector<Vec3f> points = base_points;
    points.push_back(q);
    const std::size_t p = points.size() - 1;
    std::size_t start = 0;
    for (std::size_t f = 1; f < base.size(); ++f) {
      if (vorn::facet_distance(base[f], points, p) > vorn::facet_distance(base[start], points, p))
        start = f;
    }
    // The walk as plain recursion: the order the explicit stack must reproduce.
    std::vector<TriangleFacet> ref = base;
    std::vector<SilhouetteEdge> ref_sil;
    std::vector<std::size_t> ref_removed{start};
    std::function<void(std::size_t, int)> walk = [&](std::size_t f, int e) {
      if (!ref[f].valid) return;
      if (!vorn::facet_sees_point(ref[f], points, p)) {
        ref_sil.emplace_back(f, e);
        return;
      }
      ref[f].valid = false;
      ref_removed.push_back(f);
      const TriangleFacet t = ref[f];
      for (int k : {1, 2}) walk(t.neighbours[(e + k) % 3], t.neighbour_edge[(e + k) % 3]);
    };
    ref[start].valid = false;
    for (int k = 0; k < 3; ++k) walk(ref[start].neighbours[k], ref[start].neighbour_edge[k]);

    std::vector<TriangleFacet> facets = base;
    std::vector<SilhouetteEdge> sil{{7, 7}};  // stale contents are replaced
    std::vector<std::size_t> removed{9};
    vorn::compute_silhouette(facets, start, points, p, sil, removed);
    EXPECT_EQ(sil, ref_sil);
    EXPECT_EQ(removed, ref_removed);
    EXPECT_GT(removed.size(), 2u);
    // The horizon is one loop: each entry starts where the next one ends.
    for (std::size_t k = 0; k < sil.size(); ++k) {
      const auto [f, e] = sil[k];
      const auto [g, h] = sil[(k + 1) % sil.size()];
      EXPECT_EQ(facets[f].vertices[e], facets[g].vertices[(h + 1) % 3]);
    }
  }
}

}  // namespace
