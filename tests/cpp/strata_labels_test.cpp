#include "utils/sample_measures/strata_labels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "test_support.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/sample_centroid_stratified.h"
#include "utils/sample_measures/seeded_rng.h"

namespace {

using vorn::Indices;
using vorn::PointSet;
using vorn_test::sorted;

// The sampler's selection redone from given strata: the starting shuffle only advances the
// generator, then every stratum shuffles its members and gives up to its quota.
Indices chosen_from_strata(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                           std::size_t k, const std::vector<std::uint64_t>& strata) {
  const std::size_t n = points.n, t = std::min<std::uint64_t>(n, count);
  auto rng = vorn::SeededRng::seed_from_u64(seed);
  Indices order(n);
  rng.shuffle(order.data(), n);
  std::vector<Indices> members(k);
  for (std::size_t i = 0; i < n; ++i) members[strata[i]].push_back(i);
  std::vector<std::uint64_t> sizes;
  for (const Indices& m : members) sizes.push_back(m.size());
  std::vector<std::uint64_t> quota = vorn::stratum_quotas(sizes, n, t - 1);
  Indices chosen{vorn::nearest_to_centroid(points)};
  for (std::size_t j = 0; j < k; ++j) {
    rng.shuffle(members[j].data(), members[j].size());
    for (std::size_t m = 0; m < members[j].size() && quota[j] > 0 && chosen.size() < t; ++m) {
      --quota[j];
      if (std::find(chosen.begin(), chosen.end(), members[j][m]) == chosen.end())
        chosen.push_back(members[j][m]);
    }
  }
  return chosen;
}

// The strata are those the sampler drew from: its selection follows from them and the seed
// (a stratum number off anywhere moves the draws). Clouds on a coarse grid give ties.
TEST(StrataLabels, AreTheStrataTheSelectionWasDrawnFrom) {
  std::mt19937_64 gen(31);
  for (int trial = 0; trial < 200; ++trial) {
    const std::size_t n = 2 + gen() % 80, d = 1 + gen() % 4;
    PointSet points(n, d);
    std::uniform_int_distribution<int> grid(-2, 2);
    for (double& c : points.coords) c = grid(gen);
    const std::uint64_t count = 2 + gen() % n, strata = 1 + gen() % 9, seed = gen();
    const std::uint64_t iterations = gen() % 6;
    const vorn::StrataLabels got =
        vorn::sample_centroid_stratified_labelled(points, count, seed, strata, iterations);
    const std::size_t k = std::min<std::uint64_t>(n, strata);
    for (std::uint64_t s : got.strata) ASSERT_LT(s, k);
    if (iterations == 0) {
      EXPECT_EQ(got.strata, std::vector<std::uint64_t>(n, 0));
    }
    EXPECT_EQ(sorted(got.chosen), sorted(chosen_from_strata(points, count, seed, k, got.strata)))
        << "trial " << trial;
  }
}

// A call that forms no strata puts every point in stratum 0, and refuses no strata count.
TEST(StrataLabels, NoStrataWithoutPlaces) {
  const PointSet points = vorn_test::make(1, {0.0, 5.0, 10.0});
  const vorn::StrataLabels got = vorn::sample_centroid_stratified_labelled(points, 1, 0, 0, 4);
  EXPECT_EQ(got.strata, std::vector<std::uint64_t>(3, 0));
  EXPECT_EQ(got.chosen, vorn::sample_centroid_stratified(points, 1, 0, 0, 4));
}

}  // namespace
