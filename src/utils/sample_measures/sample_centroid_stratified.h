// Stratified sampling: the point nearest the centroid, then proportional quotas of k-means strata.
// Lloyd steps give ties to the lower centre and sum members in index order, bit for bit.
#pragma once

#include <cstdint>
#include <vector>

#include "base/executor.h"
#include "base/point_set.h"
#include "utils/sample_measures/seeded_rng.h"

namespace vorn {

// sizes: the k stratum sizes, summing to n; places: the number of indices to share out.
// Returns k quotas: round((size / n) * places) in doubles, halves away from zero, with any
// shortfall below places added to quota 0 (an excess is kept). Never fails.
std::vector<std::uint64_t> stratum_quotas(const std::vector<std::uint64_t>& sizes, std::uint64_t n,
                                          std::uint64_t places);

// points: n x d with n >= 2; k <= n. The k starting centres, row by row: centre j is a copy of
// the point at position j of the indices 0 .. n - 1 shuffled by rng (the sampler's first draw).
std::vector<double> initial_centres(const PointSet& points, std::size_t k, SeededRng& rng);

// points: n x d; centres: k x d, row by row, the starting centres. Runs max_iterations Lloyd
// iterations (each point to its nearest centre by point_distance, ties to the lower centre;
// then each centre with members to their mean, summed in index order) and returns the n
// stratum numbers of the last assignment, all 0 when no iteration runs or k = 1; centres
// ends as the last update left it. Iterations stop early once they leave every centre
// unchanged, which changes no result. Throws Panic("called `Option::unwrap()` on a `None`
// value") when k = 0 and an iteration is asked for.
std::vector<std::uint64_t> lloyd_strata(const PointSet& points, std::vector<double>& centres,
                                        std::size_t k, std::uint64_t max_iterations,
                                        const Executor& executor = Executor());

// points: n x d. Returns at most t = min(n, count) distinct indices (empty when n = 0 or
// count = 0, [nearest to the centroid] when t = 1): the point nearest the centroid, then, for
// strata 0 .. k - 1 with k = min(n, num_strata), up to round((size / n) * (t - 1)) shuffled
// members of each (stratum 0 also takes any shortfall of the rounded quotas). Strata come from
// max_iterations Lloyd iterations started at k points chosen by a seeded shuffle; iterations
// stop early once they leave every centre unchanged, which changes no result. The list can hold
// fewer than t indices. Fails (Panic) as find_closest_point does when n >= 2 and a coordinate
// is NaN or infinite, and when t >= 2 and num_strata = 0.
Indices sample_centroid_stratified(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                                   std::uint64_t num_strata, std::uint64_t max_iterations,
                                   const Executor& executor = Executor());

}  // namespace vorn
