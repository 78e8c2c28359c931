// The stratum of every point in a stratified selection.
#include "utils/sample_measures/strata_labels.h"

#include "utils/sample_measures/sample_centroid_stratified.h"

namespace vorn {

StrataLabels sample_centroid_stratified_labelled(const PointSet& points, std::uint64_t count,
                                                 std::uint64_t seed, std::uint64_t num_strata,
                                                 std::uint64_t max_iterations,
                                                 const Executor& executor) {
  StrataLabels out;
  out.chosen = sample_centroid_stratified_into(points, count, seed, num_strata, max_iterations,
                                               executor, &out.strata);
  return out;
}

}  // namespace vorn
