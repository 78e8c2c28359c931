// One triangle of a three-dimensional hull under construction, with its adjacency and outside
// points. Visibility and distances use the facet's vertex 0 and the fixed dot-product grouping: the
// hull's shape depends on those bits.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hull/float_types.h"
#include "hull/tolerances.h"

namespace vorn {

struct TriangleFacet {
  std::array<std::size_t, 3> vertices{};    // edge k runs from vertices[k] to vertices[(k + 1) % 3]
  std::array<std::size_t, 3> neighbours{};  // the facet across edge k
  std::array<std::uint8_t, 3> neighbour_edge{};  // edge k's number within that neighbour
  Vec3f normal;
  bool degenerate = false;           // too small to orient: sees every point, is assigned none
  bool valid = true;                 // false once removed from the hull
  std::vector<std::size_t> visible;  // points outside this facet, in the order of assignment
};

// points: the cloud; a, b, c: indices into it. Returns the valid facet (a, b, c) with
// normal (b - a) x (c - a) divided by its length sqrt(z^2 + (x^2 + y^2)), and no
// neighbours yet. Never fails.
inline TriangleFacet make_facet(const std::vector<Vec3f>& points, std::size_t a, std::size_t b,
                                std::size_t c) {
  TriangleFacet f;
  f.vertices = {a, b, c};
  const Vec3f n = cross(points[b] - points[a], points[c] - points[a]);
  // z first: this sum is grouped differently from dot().
  const float q = n.z * n.z + (n.x * n.x + n.y * n.y);
  const float len = std::sqrt(q);
  f.normal = {n.x / len, n.y / len, n.z / len};
  f.degenerate = q == 0.0f || (std::isfinite(q) && q <= degenerate_facet_bound());
  return f;
}

// Signed distance of points[k] above the facet's plane, measured from its vertex 0.
inline float facet_distance(const TriangleFacet& f, const std::vector<Vec3f>& points,
                            std::size_t k) {
  return dot(points[k] - points[f.vertices[0]], f.normal);
}

// Whether the facet is removed when points[p] joins the hull: a degenerate facet always
// is; otherwise p must lie on or above the plane as measured from at least one vertex,
// which makes the answer independent of the order of the vertices.
inline bool facet_sees_point(const TriangleFacet& f, const std::vector<Vec3f>& points,
                             std::size_t p) {
  if (f.degenerate) return true;
  for (std::size_t v : f.vertices) {
    if (dot(points[p] - points[v], f.normal) >= 0.0f) return true;
  }
  return false;
}

}  // namespace vorn
