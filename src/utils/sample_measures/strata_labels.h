// The stratum of every point in a stratified selection.
// The strata are formed again from the same seed, by the same steps: keep them in step.
#pragma once

#include <cstdint>
#include <vector>

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

struct StrataLabels {
  Indices chosen;                     // the selection, as sample_centroid_stratified returns it
  std::vector<std::uint64_t> strata;  // per point: the stratum it was filed into
};

// sample_centroid_stratified, with the n stratum numbers its quotas were drawn from: the last
// Lloyd assignment (ties to the lower centre). Every point is in stratum 0 when the call forms
// no strata (t = min(n, count) below 2) or runs no iteration. The strata cost a second run of
// the Lloyd iterations. Fails as sample_centroid_stratified does.
StrataLabels sample_centroid_stratified_labelled(const PointSet& points, std::uint64_t count,
                                                 std::uint64_t seed, std::uint64_t num_strata,
                                                 std::uint64_t max_iterations,
                                                 const Executor& executor = Executor());

}  // namespace vorn
