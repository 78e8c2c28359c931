// Drops the points that no triangle names, filling each hole with the then-last point.
// Swap-with-last, not a stable compaction: the surviving order feeds the volume sums, so keep it.
#include "hull/remove_unused_points.h"

#include <numeric>

namespace vorn {

void remove_unused_points(std::vector<Vec3f>& points, std::vector<Triangle>& triangles) {
  const std::size_t n = points.size();
  std::vector<char> used(n, 0);
  for (const Triangle& t : triangles) {
    for (std::size_t v : t) used[v] = 1;
  }
  std::vector<std::size_t> remap(n);
  std::iota(remap.begin(), remap.end(), std::size_t{0});

  std::size_t k = 0;
  while (k < points.size()) {
    if (used[k]) {
      ++k;
      continue;
    }
    // Positions beyond k have never moved, so the last point still sits at its
    // original index l.
    points[k] = points.back();
    points.pop_back();
    const std::size_t l = points.size();
    remap[l] = k;
    used[k] = used[l];
  }
  for (Triangle& t : triangles) {
    for (std::size_t& v : t) v = remap[v];
  }
}

}  // namespace vorn
