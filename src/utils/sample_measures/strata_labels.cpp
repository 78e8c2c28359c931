// The stratum of every point in a stratified selection.
// The strata are formed again from the same seed, by the same steps: keep them in step.
#include "utils/sample_measures/strata_labels.h"

#include <algorithm>

#include "utils/sample_measures/sample_centroid_stratified.h"
#include "utils/sample_measures/seeded_rng.h"

namespace vorn {

StrataLabels sample_centroid_stratified_labelled(const PointSet& points, std::uint64_t count,
                                                 std::uint64_t seed, std::uint64_t num_strata,
                                                 std::uint64_t max_iterations,
                                                 const Executor& executor) {
  if (points.is_float32()) {
    return sample_centroid_stratified_labelled(widened(points), count, seed, num_strata,
                                               max_iterations, executor);
  }
  StrataLabels out{
      sample_centroid_stratified(points, count, seed, num_strata, max_iterations, executor),
      std::vector<std::uint64_t>(points.n, 0)};
  const std::uint64_t n = points.n;
  if (std::min<std::uint64_t>(n, count) < 2) return out;  // the sampler formed no strata
  // The sampler's generator draws first for the starting centres.
  SeededRng rng = SeededRng::seed_from_u64(seed);
  const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, num_strata));
  std::vector<double> centres = initial_centres(points, k, rng);
  out.strata = lloyd_strata(points, centres, k, max_iterations, executor);
  return out;
}

}  // namespace vorn
