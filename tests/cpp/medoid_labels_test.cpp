#include "utils/sample_measures/medoid_labels.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

#include "test_support.h"
#include "utils/sample_measures/sample_centroid_kmedoids.h"

namespace {

using vorn::Indices;
using vorn::PointSet;
using vorn_test::bits;
using vorn_test::make;

constexpr double kInf = std::numeric_limits<double>::infinity();

// Clouds on a coarse grid (exact ties between medoids) and spread ones, more points than one
// range holds: the cost is the search's own total distance to the bit, and neither it nor the
// labels depend on the thread count.
TEST(MedoidLabels, CostIsTheTotalDistanceOnAnyThreadCount) {
  std::mt19937_64 gen(5);
  for (int trial = 0; trial < 8; ++trial) {
    const std::size_t n = 300 + gen() % 500, d = std::vector<std::size_t>{1, 2, 3, 9}[trial % 4];
    PointSet points(n, d);
    std::uniform_int_distribution<int> grid(-2, 2);
    std::uniform_real_distribution<double> real(-5.0, 5.0);
    for (double& c : points.coords) c = trial % 2 == 0 ? grid(gen) : real(gen);
    const Indices medoids = vorn::sample_centroid_kmedoids(points, 2 + gen() % 9, gen(), 20);
    const vorn::MedoidLabels one = vorn::label_medoids(points, medoids);
    EXPECT_EQ(bits(one.cost), bits(vorn::compute_total_distance(points, medoids))) << trial;
    for (const std::size_t threads : {2, 3}) {
      const vorn::MedoidLabels many =
          vorn::label_medoids(points, medoids, vorn::Executor(threads, vorn::CancelHook{}));
      EXPECT_EQ(many.labels, one.labels);
      EXPECT_EQ(bits(many.cost), bits(one.cost));
    }
  }
}

TEST(MedoidLabels, EdgeCases) {
  // Equidistant medoids: the lower position, whichever index it holds.
  const PointSet line = make(1, {0.0, 1.0, 2.0});
  EXPECT_EQ(vorn::label_medoids(line, {2, 0}).labels, (std::vector<std::int64_t>{1, 0, 0}));
  // Coincident medoids: the point goes to the first of them.
  const PointSet twins = make(1, {3.0, 3.0, 0.0});
  EXPECT_EQ(vorn::label_medoids(twins, {1, 0}).labels, (std::vector<std::int64_t>{0, 0, 0}));
  // A point whose distances all overflow to +inf still names a medoid, the first.
  const PointSet far = make(1, {-1e300, 1e300, 0.0});
  const vorn::MedoidLabels overflow = vorn::label_medoids(far, {0, 2});
  EXPECT_EQ(overflow.labels, (std::vector<std::int64_t>{0, 0, 1}));
  EXPECT_EQ(overflow.cost, kInf);
  // No point: nothing to sum.
  EXPECT_EQ(bits(vorn::label_medoids(PointSet(), {}).cost), bits(0.0));
}

}  // namespace
