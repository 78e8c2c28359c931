// The horizon of a point about to join a three-dimensional hull: the facets it removes and the
// edges around them. Depth first, neighbour (e + 1) before (e + 2), on an explicit stack: that
// visiting order fixes the new facets' order, and recursion would overflow on large hulls.
#include "hull/compute_silhouette.h"

namespace vorn {

void compute_silhouette(std::vector<TriangleFacet>& facets, std::size_t start,
                        const std::vector<Vec3f>& points, std::size_t p,
                        std::vector<SilhouetteEdge>& silhouette,
                        std::vector<std::size_t>& removed) {
  silhouette.clear();
  removed.clear();
  facets[start].valid = false;
  removed.push_back(start);

  // Pending explorations, the next one on top. Children are pushed in reverse so that
  // they pop in the order a recursive walk would call them; validity is tested when an
  // entry pops, which is when the recursive call would have begun.
  std::vector<SilhouetteEdge> stack;
  const TriangleFacet& s = facets[start];
  for (int k = 2; k >= 0; --k) stack.emplace_back(s.neighbours[k], s.neighbour_edge[k]);

  while (!stack.empty()) {
    const auto [f, e] = stack.back();
    stack.pop_back();
    TriangleFacet& facet = facets[f];
    if (!facet.valid) continue;
    if (!facet_sees_point(facet, points, p)) {
      silhouette.emplace_back(f, e);
      continue;
    }
    facet.valid = false;
    removed.push_back(f);
    const int e2 = (e + 2) % 3;
    const int e1 = (e + 1) % 3;
    stack.emplace_back(facet.neighbours[e2], facet.neighbour_edge[e2]);
    stack.emplace_back(facet.neighbours[e1], facet.neighbour_edge[e1]);
  }
}

}  // namespace vorn
