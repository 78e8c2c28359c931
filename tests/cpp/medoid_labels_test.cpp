#include "utils/sample_measures/medoid_labels.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

#include "test_support.h"
#include "utils/sample_measures/sample_centroid_kmedoids.h"
#include "utils/size_measures/point_distance.h"

namespace {

using vorn::Indices;
using vorn::PointSet;
using vorn_test::bits;
using vorn_test::make;

constexpr double kInf = std::numeric_limits<double>::infinity();

// Clouds on a coarse grid (exact ties between medoids) and spread ones, more points than one
// range holds: the cost is the search's own cost to the bit, on any thread count, and every
// label names a medoid no farther than any other and earlier than every equally near one.
TEST(MedoidLabels, CostIsTheTotalDistanceAndLabelsTheFirstNearestOnAnyThreadCount) {
  std::mt19937_64 gen(5);
  for (int trial = 0; trial < 12; ++trial) {
    const std::size_t n = 300 + gen() % 500, d = std::vector<std::size_t>{1, 2, 3, 9}[trial % 4];
    PointSet points(n, d);
    std::uniform_int_distribution<int> grid(-2, 2);
    std::uniform_real_distribution<double> real(-5.0, 5.0);
    for (double& c : points.coords) c = trial % 2 == 0 ? grid(gen) : real(gen);
    const Indices medoids = vorn::sample_centroid_kmedoids(points, 2 + gen() % 9, gen(), 20);
    const vorn::MedoidLabels one = vorn::label_medoids(points, medoids);
    EXPECT_EQ(one.medoids, medoids);
    EXPECT_EQ(bits(one.cost), bits(vorn::compute_total_distance(points, medoids)));
    for (std::size_t i = 0; i < n; ++i) {
      const auto own = static_cast<std::size_t>(one.labels[i]);
      const double near = vorn::point_distance(points[i], points[medoids[own]], d);
      for (std::size_t q = 0; q < medoids.size(); ++q) {
        const double v = vorn::point_distance(points[i], points[medoids[q]], d);
        ASSERT_TRUE(q < own ? v > near : v >= near) << "trial " << trial << " point " << i;
      }
    }
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
  // No medoid: no label, every point infinitely far; no point: nothing to sum.
  const vorn::MedoidLabels none = vorn::label_medoids(line, {});
  EXPECT_EQ(none.labels, (std::vector<std::int64_t>{-1, -1, -1}));
  EXPECT_EQ(none.cost, kInf);
  EXPECT_EQ(bits(vorn::label_medoids(PointSet(), {}).cost), bits(0.0));
}

}  // namespace
