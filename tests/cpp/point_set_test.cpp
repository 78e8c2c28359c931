#include "base/point_set.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "base/executor.h"
#include "test_support.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/medoid_labels.h"
#include "utils/sample_measures/sample_centroid_fps.h"
#include "utils/sample_measures/sample_centroid_fps_pruned.h"
#include "utils/sample_measures/sample_centroid_kmedoids.h"
#include "utils/sample_measures/sample_centroid_stratified.h"
#include "utils/sample_measures/sample_centroid_uniform.h"
#include "utils/sample_measures/sample_centroid_voxel.h"
#include "utils/sample_measures/strata_labels.h"
#include "utils/size_measures/size_bbox.h"
#include "utils/size_measures/size_covdet.h"
#include "utils/size_measures/size_dispersion.h"
#include "utils/size_measures/size_hull.h"

namespace {

using vorn::PointSet;
using vorn_test::bits;
using vorn_test::sorted;

// n x d floats of mixed scales, every fifth row a repeat of an earlier one (exact ties).
std::vector<float> float_rows(std::size_t n, std::size_t d) {
  std::uint64_t state = 0x9E3779B97F4A7C15u * (n * 1000 + d);
  std::vector<float> rows(n * d);
  for (std::size_t k = 0; k < n * d; ++k) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const double unit = double(state >> 11) * 0x1p-53 - 0.5;
    rows[k] = float(std::ldexp(unit, int(k % 3) * 9 - 9));
  }
  for (std::size_t i = 5; i < n; i += 5)
    for (std::size_t k = 0; k < d; ++k) rows[i * d + k] = rows[(i - 3) * d + k];
  return rows;
}

PointSet as_doubles(const std::vector<float>& rows, std::size_t n, std::size_t d) {
  PointSet p(n, d);
  for (std::size_t k = 0; k < n * d; ++k) p.coords[k] = static_cast<double>(rows[k]);
  return p;
}

// A kernel that widens as it loads must round exactly as on the widened doubles. Shapes with
// n and d off every lane width, d = 1 .. 7 (the column paths), 9 and 65 (a block and a tail),
// 384 (blocks only); one and three threads.
TEST(Float32Rows, EveryFunctionGivesTheBitsOfTheWidenedDoubles) {
  const std::size_t shapes[][2] = {{1, 1},  {2, 1},  {37, 2}, {301, 3},  {9, 5},
                                   {70, 6}, {45, 7}, {33, 9}, {129, 65}, {21, 384}};
  for (const auto& shape : shapes) {
    const std::size_t n = shape[0], d = shape[1];
    const std::vector<float> rows = float_rows(n, d);
    const PointSet view = PointSet::view(rows.data(), n, d);
    const PointSet wide = as_doubles(rows, n, d);
    ASSERT_TRUE(view.is_float32());
    for (std::size_t threads : {1u, 3u}) {
      const vorn::Executor ex(threads, vorn::CancelHook{});
      SCOPED_TRACE(testing::Message() << n << " x " << d << ", " << threads << " threads");
      EXPECT_EQ(bits(vorn::size_bbox(view)), bits(vorn::size_bbox(wide)));
      EXPECT_EQ(bits(vorn::size_covdet(view, ex)), bits(vorn::size_covdet(wide, ex)));
      EXPECT_EQ(bits(vorn::size_covdet_log(view, ex)), bits(vorn::size_covdet_log(wide, ex)));
      EXPECT_EQ(bits(vorn::size_dispersion(view, ex)), bits(vorn::size_dispersion(wide, ex)));
      EXPECT_EQ(bits(vorn::size_hull(view, ex)), bits(vorn::size_hull(wide, ex)));
      EXPECT_EQ(vorn::compute_centroid(view), vorn::compute_centroid(wide));
      EXPECT_EQ(vorn::sample_centroid_fps(view, 40, 0, ex),
                vorn::sample_centroid_fps(wide, 40, 0, ex));
      EXPECT_EQ(vorn::sample_centroid_fps_pruned(view, 40, ex),
                vorn::sample_centroid_fps_pruned(wide, 40, ex));
      EXPECT_EQ(vorn::sample_centroid_fps_bucketed(view, 40, 4, ex),
                vorn::sample_centroid_fps_bucketed(wide, 40, 4, ex));
      EXPECT_EQ(vorn::sample_centroid_fps_from(view, 40, n / 2, ex),
                vorn::sample_centroid_fps_from(wide, 40, n / 2, ex));
      EXPECT_EQ(sorted(vorn::sample_centroid_uniform(view, 9, 4)),
                sorted(vorn::sample_centroid_uniform(wide, 9, 4)));
      EXPECT_EQ(vorn::sample_centroid_kmedoids(view, 4, 3, 5, ex),
                vorn::sample_centroid_kmedoids(wide, 4, 3, 5, ex));
      EXPECT_EQ(sorted(vorn::sample_centroid_voxel(view, 9, 4, 0.25, ex)),
                sorted(vorn::sample_centroid_voxel(wide, 9, 4, 0.25, ex)));
      EXPECT_EQ(sorted(vorn::sample_centroid_stratified(view, 9, 4, 3, 5, ex)),
                sorted(vorn::sample_centroid_stratified(wide, 9, 4, 3, 5, ex)));
      EXPECT_EQ(vorn::sample_centroid_kmedoids_labelled(view, 4, 3, 5, ex).labels,
                vorn::sample_centroid_kmedoids_labelled(wide, 4, 3, 5, ex).labels);
      EXPECT_EQ(vorn::sample_centroid_stratified_labelled(view, 9, 4, 3, 5, ex).strata,
                vorn::sample_centroid_stratified_labelled(wide, 9, 4, 3, 5, ex).strata);
    }
  }
}

// Pieces too wide to widen at once are widened tile by tile as they are loaded.
TEST(Float32Rows, WideRowsGiveTheDispersionOfTheirDoubles) {
  const std::size_t n = 7, d = 50001;
  const std::vector<float> rows = float_rows(n, d);
  const PointSet wide = as_doubles(rows, n, d);
  EXPECT_EQ(bits(vorn::size_dispersion(PointSet::view(rows.data(), n, d))),
            bits(vorn::size_dispersion(wide)));
}

// The rows of a float set fail where their doubles fail: a non-finite coordinate ends every
// centroid start with the same panic.
TEST(Float32Rows, NonFiniteCoordinatesFailAsTheirDoubles) {
  std::vector<float> rows = float_rows(20, 9);
  rows[77] = INFINITY;
  const PointSet view = PointSet::view(rows.data(), 20, 9);
  const PointSet wide = as_doubles(rows, 20, 9);
  const auto message = [](auto f) { return std::string(vorn_test::panic_of(f).what()); };
  EXPECT_EQ(message([&] { vorn::sample_centroid_fps(view, 3, 0); }),
            message([&] { vorn::sample_centroid_fps(wide, 3, 0); }));
  EXPECT_EQ(message([&] { vorn::sample_centroid_fps_from(view, 3, 1); }),
            message([&] { vorn::sample_centroid_fps_from(wide, 3, 1); }));
  EXPECT_NE(message([&] { vorn::sample_centroid_fps_from(view, 3, 1); }), "no panic");
}

}  // namespace
