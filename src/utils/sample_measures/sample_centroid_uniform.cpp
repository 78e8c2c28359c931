// Centroid-uniform sampling: the point nearest the centroid, then the seeded shuffle's order.
// The shuffle is the first and only use of the generator: keep every draw after the centroid.
#include "utils/sample_measures/sample_centroid_uniform.h"

#include <algorithm>

#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/seeded_rng.h"
#include "utils/sample_measures/selection_set.h"

namespace vorn {

Indices sample_centroid_uniform(const PointSet& points, std::uint64_t count, std::uint64_t seed) {
  SeededRng rng = SeededRng::seed_from_u64(seed);
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::size_t target = static_cast<std::size_t>(std::min<std::uint64_t>(n, count));
  SelectionSet chosen(n);
  chosen.insert(nearest_to_centroid(points));
  // i0 can occur among the first target - 1 shuffled entries, so the walk may need target.
  for (std::uint64_t index : rng.shuffled_prefix(n, target)) {
    if (chosen.size() >= target) break;
    chosen.insert(index);
  }
  return chosen.take();
}

}  // namespace vorn
