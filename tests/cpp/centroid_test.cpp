#include "utils/sample_measures/centroid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "base/panic.h"
#include "test_support.h"
#include "utils/sample_measures/selection_set.h"
#include "utils/size_measures/point_distance.h"

namespace {

using vorn_test::make;

TEST(ComputeCentroid, SumsInPointOrderThenDividesByN) {
  // 1e16 + 1 + 1 - 1e16 is 0 in point order; another order gives 2 / 7.
  EXPECT_EQ(vorn::compute_centroid(make(1, {1e16, 1.0, 1.0, -1e16, 0.0, 0.0, 0.0}))[0], 0.0);
  EXPECT_EQ(vorn::compute_centroid(make(1, {1.0, 0.0, 0.0}))[0], 1.0 / 3.0);
  EXPECT_FALSE(std::signbit(vorn::compute_centroid(make(1, {-0.0}))[0]));
}

TEST(FindClosestPoint, ComparesRootedDistancesAndKeepsTheLowerIndexOnTies) {
  const double origin[2] = {0.0, 0.0};
  // Squared sums 1 + 2^-52 and 1 share the root 1.0: a tie, although the squares differ.
  EXPECT_EQ(vorn::find_closest_point(make(2, {1.0, std::ldexp(1.0, -26), 1.0, 0.0}), origin), 0u);
  EXPECT_EQ(vorn::find_closest_point(make(2, {1.0, std::ldexp(1.0, -25), 1.0, 0.0}), origin), 1u);
  // Beyond about 1.34e154 every distance is +inf, and +inf ties too.
  EXPECT_EQ(vorn::find_closest_point(make(2, {3e154, 0.0, 2e154, 0.0}), origin), 0u);
}

// The comparisons written plainly, in index order, the best's distance recomputed each time.
std::uint64_t literal_closest(const vorn::PointSet& points, const double* position) {
  std::uint64_t best = 0;
  for (std::uint64_t i = 1; i < points.n; ++i) {
    const double db = vorn::point_distance(points[best], position, points.d);
    const double dc = vorn::point_distance(points[i], position, points.d);
    if (std::isnan(db) || std::isnan(dc))
      throw vorn::Panic("called `Option::unwrap()` on a `None` value");
    if (db > dc) best = i;
  }
  return best;
}

// Clouds across several blocks whose points share few distances, several of them squared sums
// with one root: the first point at the least root must win wherever the least square lies.
TEST(FindClosestPoint, GivesTheLiteralComparisonsAcrossBlocksAndTiedRoots) {
  const double tiny = std::ldexp(1.0, -26), small = std::ldexp(1.0, -25);
  const double places[][2] = {{1.0, tiny}, {1.0, 0.0},   {tiny, 1.0}, {1.0, small},
                              {2.0, 0.0},  {3e154, 0.0}, {2e154, 1.0}};
  std::mt19937_64 gen(4);
  const double origin[2] = {0.0, 0.0};
  for (int trial = 0; trial < 300; ++trial) {
    const std::size_t n = 2 + gen() % 900, kinds = 2 + gen() % 6;
    vorn::PointSet points(n, 2);
    for (std::size_t i = 0; i < n; ++i) {
      const double* place = places[gen() % kinds];
      points.coords[2 * i] = place[0], points.coords[2 * i + 1] = place[1];
    }
    if (trial % 10 == 9) points.coords[gen() % (2 * n)] = NAN;
    if (trial % 10 == 9) {
      EXPECT_STREQ(vorn_test::panic_of([&] { vorn::find_closest_point(points, origin); }).what(),
                   "called `Option::unwrap()` on a `None` value");
      continue;
    }
    ASSERT_EQ(vorn::find_closest_point(points, origin), literal_closest(points, origin)) << trial;
  }
}

// Many points cut into ranges on several threads: the nearest of two equally near points in
// different ranges is still the lower index (and a closer one in a later range still wins),
// and a NaN in the last range still fails. Compared with the comparisons made one by one.
TEST(FindClosestPoint, GivesTheSameIndexAndFailureOnEveryThreadCount) {
  vorn::PointSet points(100001, 2);
  std::mt19937_64 gen(4);
  std::uniform_int_distribution<int> coord(1, 40);
  for (double& x : points.coords) x = coord(gen);
  const double position[2] = {0.0, 0.0};
  for (const std::size_t closest : {90000u, 40000u}) {
    points[closest][0] = points[closest][1] = 0.5;
    points[99999][0] = points[99999][1] = 0.5;
    const std::uint64_t expected = literal_closest(points, position);
    ASSERT_EQ(expected, closest);
    for (std::size_t threads : {1u, 2u, 3u, 8u}) {
      const vorn::Executor executor(threads, vorn::CancelHook());
      EXPECT_EQ(vorn::find_closest_point(points, position, executor), expected) << threads;
    }
  }
  points[100000][1] = std::nan("");
  for (std::size_t threads : {1u, 2u, 8u}) {
    const vorn::Executor executor(threads, vorn::CancelHook());
    EXPECT_EQ(
        vorn_test::panic_of([&] { vorn::find_closest_point(points, position, executor); }).what(),
        std::string("called `Option::unwrap()` on a `None` value"));
  }
}

// Points in vector lanes, by columns or by rows, give point_distance to the bit: one block of
// eight, two, blocks with a tail, short rows alone, a last group of lanes cut short, and
// squares that overflow.
TEST(PointColumns, GiveTheDistancesOfPointDistance) {
  std::mt19937_64 gen(2);
  std::uniform_real_distribution<double> real(-1.0, 1.0);
  for (std::size_t d : {1, 2, 3, 5, 7, 8, 9, 16, 17, 70}) {
    vorn::PointSet points(37, d);
    for (double& c : points.coords) c = real(gen) * (gen() % 9 == 0 ? 1e160 : 1.0);
    for (std::size_t t = 0; t < d; ++t) points.coords[3 * d + t] = real(gen);  // a finite centre
    const vorn::PointColumns columns(points);
    std::vector<double> out(points.n);
    columns.distances(points[3], 1, points.n, out.data());
    for (std::size_t i = 1; i < points.n; ++i) {
      ASSERT_EQ(out[i - 1], vorn::point_distance(points[i], points[3], d))
          << "d=" << d << " i=" << i;
    }
    const std::uint32_t ids[] = {36, 0, 5, 5, 17, 2, 9};
    vorn::row_squared_sums(points[0], d, ids, 7, points[3], out.data());
    for (std::size_t j = 0; j < 7; ++j) {
      ASSERT_EQ(out[j], vorn::squared_distance_sum(points[ids[j]], points[3], d)) << d << " " << j;
    }
    vorn::row_squared_sums(points[0], d, points.n, points[3], out.data());
    for (std::size_t i = 0; i < points.n; ++i) {
      ASSERT_EQ(out[i], vorn::squared_distance_sum(points[i], points[3], d)) << d << " " << i;
    }
  }
}

TEST(SelectionSet, KeepsFirstInsertionOrderIgnoresRepeatsAndRejectsOutOfRange) {
  vorn::SelectionSet set(200);
  for (std::uint64_t i : {130u, 7u, 64u, 7u, 63u, 130u, 0u, 199u}) set.insert(i);
  EXPECT_FALSE(set.insert(64));
  EXPECT_FALSE(set.contains(65));
  EXPECT_THROW(set.insert(200), vorn::Panic);
  EXPECT_EQ(set.take(), (vorn::Indices{130, 7, 64, 63, 0, 199}));
  EXPECT_TRUE(set.insert(130));  // take() leaves an empty set
}

}  // namespace
