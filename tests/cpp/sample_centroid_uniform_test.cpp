#include "utils/sample_measures/sample_centroid_uniform.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/sample_uniform.h"
#include "utils/sample_measures/seeded_rng.h"

namespace {

// i0, then the full shuffled list walked until the target is reached.
vorn::Indices literal_centroid_uniform(const vorn::PointSet& points, std::uint64_t count,
                                       std::uint64_t seed) {
  vorn::SeededRng rng = vorn::SeededRng::seed_from_u64(seed);
  const std::size_t t = std::min<std::uint64_t>(points.n, count);
  const std::vector<double> c = vorn::compute_centroid(points);
  const std::uint64_t i0 = vorn::find_closest_point(points, c.data());
  vorn::Indices list(points.n);
  std::iota(list.begin(), list.end(), 0);
  rng.shuffle(list.data(), list.size());
  vorn::Indices result = {i0};
  for (std::uint64_t index : list) {
    if (result.size() >= t) break;
    if (index != i0) result.push_back(index);
  }
  return result;
}

TEST(SampleCentroidUniform, NearestToCentroidThenShuffledOrderSkippingIt) {
  vorn::PointSet line(10, 2);
  for (std::size_t i = 0; i < 10; ++i) line[i][0] = double(i);
  // Shuffled list 7, 1, 5, 4, ...: i0 = 4 is met fourth and passed over.
  EXPECT_EQ(vorn::sample_centroid_uniform(line, 4, 42), (vorn::Indices{4, 7, 1, 5}));
  EXPECT_EQ(vorn::sample_centroid_uniform(line, 5, 42), (vorn::Indices{4, 7, 1, 5, 6}));
  EXPECT_EQ(vorn::sample_centroid_uniform(line, 0, 42), vorn::Indices{});

  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> coord(-1.0, 1.0);
  for (std::size_t n : {1u, 2u, 3u, 13u, 64u, 300u}) {
    vorn::PointSet points(n, 3);
    for (double& x : points.coords) x = coord(gen);
    for (std::uint64_t count : {1ull, 2ull, 12ull, 299ull, 1000ull}) {
      for (std::uint64_t seed : {0ull, 9ull, ~0ull}) {
        ASSERT_EQ(vorn::sample_centroid_uniform(points, count, seed),
                  literal_centroid_uniform(points, count, seed))
            << "n=" << n << " count=" << count << " seed=" << seed;
      }
    }
  }
}

TEST(SampleUniform, ShufflesAllIndicesAndKeepsThePrefix) {
  vorn::PointSet ten(10, 1);
  EXPECT_EQ(vorn::sample_uniform(ten, 3, 42), (vorn::Indices{7, 1, 5}));
  EXPECT_EQ(vorn::sample_uniform(ten, 100, 42), (vorn::Indices{7, 1, 5, 4, 6, 9, 3, 8, 2, 0}));
  EXPECT_EQ(vorn::sample_uniform(vorn::PointSet(1, 2), 5, 42), (vorn::Indices{0}));
  EXPECT_EQ(vorn::sample_uniform(vorn::PointSet(), 5, 42), vorn::Indices{});
}

}  // namespace
