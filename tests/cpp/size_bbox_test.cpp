#include "utils/size_measures/size_bbox.h"

#include <gtest/gtest.h>

#include <limits>

#include "test_support.h"

namespace {

// A NaN coordinate never enters a bound: the box is that of the other coordinates.
TEST(SizeBbox, NaNNeverEntersABound) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const vorn::PointSet with_nan = vorn_test::make(2, {-1.5, 2.0, nan, 7.0, 0.25, -3.0});
  const vorn::PointSet without = vorn_test::make(2, {-1.5, 2.0, 0.25, 7.0, 0.25, -3.0});
  EXPECT_EQ(vorn::size_bbox(with_nan), vorn::size_bbox(without));
}

}  // namespace
