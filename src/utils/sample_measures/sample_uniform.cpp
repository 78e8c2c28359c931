// Uniform sampling: up to count distinct point indices in the order a seeded shuffle leaves them.
// The whole index list is always shuffled, so a smaller count gives a prefix of a larger one.
#include "utils/sample_measures/sample_uniform.h"

#include "utils/sample_measures/seeded_rng.h"

namespace vorn {

Indices sample_uniform(const PointSet& points, std::uint64_t count, std::uint64_t seed) {
  SeededRng rng = SeededRng::seed_from_u64(seed);
  if (points.n == 0 || count == 0) return {};
  // Draws for all n positions, but only the kept prefix is ever stored.
  return rng.shuffled_prefix(points.n, count);
}

}  // namespace vorn
