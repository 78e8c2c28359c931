// Convex hull of a planar single-precision cloud by incremental quickhull, as vertex indices.
// Points count as outside an edge only beyond 1.1920929e-05 in the caller's units; visit and tie orders fix the result.
#include "hull/convex_hull2.h"

#include "utils/panic.h"

namespace vorn {

std::vector<std::size_t> convex_hull2_idx(const std::vector<Vec2f>&) {
  throw Panic("not implemented");
}

}  // namespace vorn
