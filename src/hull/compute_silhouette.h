// The horizon of a point about to join a three-dimensional hull: the facets it removes and the
// edges around them. Depth first, neighbour (e + 1) before (e + 2), on an explicit stack: that
// visiting order fixes the new facets' order, and recursion would overflow on large hulls.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "hull/triangle_facet.h"

namespace vorn {

// (facet position, edge number): one edge of the horizon, seen from the kept facet.
using SilhouetteEdge = std::pair<std::size_t, int>;

// facets: a closed mesh with consistent neighbours; start: a valid facet that sees p;
// points: the cloud the facets index; p: the joining point.
// Marks `start` removed and sets removed = [start]; then for k = 0, 1, 2 explores
// neighbour k of `start`. Exploring (f, e): nothing if f is already removed; if f does not
// see p, (f, e) is appended to the silhouette; otherwise f is marked removed, appended to
// `removed`, and its neighbours across edges (e + 1) % 3 and then (e + 2) % 3 are explored,
// the first completely before the second. Outputs are overwritten. Never fails.
void compute_silhouette(std::vector<TriangleFacet>& facets, std::size_t start,
                        const std::vector<Vec3f>& points, std::size_t p,
                        std::vector<SilhouetteEdge>& silhouette, std::vector<std::size_t>& removed);

}  // namespace vorn
