#include "utils/sample_measures/centroid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "utils/panic.h"

namespace {

vorn::PointSet make(std::size_t d, std::initializer_list<double> coords) {
  vorn::PointSet p(coords.size() / d, d);
  std::copy(coords.begin(), coords.end(), p.coords.begin());
  return p;
}

TEST(ComputeCentroid, SumsInPointOrderThenDividesByN) {
  // 1e16 + 1 + 1 - 1e16 is 0 in point order; any other order or a reciprocal gives another value.
  const vorn::PointSet p = make(1, {1e16, 1.0, 1.0, -1e16, 0.0, 0.0, 0.0});
  EXPECT_EQ(vorn::compute_centroid(p)[0], 0.0);
  const vorn::PointSet q = make(2, {1.0, 0.0, 0.0, 0.0, 0.0, 0.0});
  EXPECT_EQ(vorn::compute_centroid(q)[0], 1.0 / 3.0);
  // One point: its coordinates, except that -0.0 becomes +0.0.
  const std::vector<double> c = vorn::compute_centroid(make(2, {-0.0, 2.5}));
  EXPECT_FALSE(std::signbit(c[0]));
  EXPECT_EQ(c[1], 2.5);
}

TEST(FindClosestPoint, TiesKeepTheLowerIndex) {
  const vorn::PointSet p = make(2, {0.0, 0.0, 2.0, 0.0});
  const double centre[2] = {1.0, 0.0};
  EXPECT_EQ(vorn::find_closest_point(p, centre), 0u);
  const vorn::PointSet same = make(1, {3.0, 3.0, 3.0});
  const double at[1] = {3.0};
  EXPECT_EQ(vorn::find_closest_point(same, at), 0u);
  // Beyond about 1.34e154 distances are +inf and tie with each other.
  const vorn::PointSet far = make(1, {2e154, -2e154, 1e300});
  const double origin[1] = {-1e154};
  EXPECT_EQ(vorn::find_closest_point(far, origin), 1u);
  const double beyond[1] = {-3e154};
  EXPECT_EQ(vorn::find_closest_point(make(1, {2e154, 3e154}), beyond), 0u);
}

TEST(FindClosestPoint, ComparesSquareRootedDistances) {
  // Squared sums 1 + 2^-52 and 1 have the same root 1.0: a tie, so index 0 wins although a
  // comparison of squared sums would pick index 1.
  const vorn::PointSet p = make(2, {1.0, std::ldexp(1.0, -26), 1.0, 0.0});
  const double origin[2] = {0.0, 0.0};
  EXPECT_EQ(vorn::find_closest_point(p, origin), 0u);
  const vorn::PointSet q = make(2, {1.0, 0.0, 1.0, std::ldexp(1.0, -25)});
  EXPECT_EQ(vorn::find_closest_point(q, origin), 0u);
  const vorn::PointSet r = make(2, {1.0, std::ldexp(1.0, -25), 1.0, 0.0});
  EXPECT_EQ(vorn::find_closest_point(r, origin), 1u);
}

TEST(FindClosestPoint, NaNDistancePanicsOnlyWithTwoOrMorePoints) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double centre[1] = {nan};
  EXPECT_EQ(vorn::find_closest_point(make(1, {nan}), centre), 0u);
  for (const vorn::PointSet& p : {make(1, {nan, 1.0}), make(1, {1.0, 2.0, nan})}) {
    const double at[1] = {1.0};
    try {
      vorn::find_closest_point(p, at);
      FAIL() << "no panic";
    } catch (const vorn::Panic& e) {
      EXPECT_STREQ(e.what(), "called `Option::unwrap()` on a `None` value");
    }
  }
}

}  // namespace
