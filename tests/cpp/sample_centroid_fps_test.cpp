#include "utils/sample_measures/sample_centroid_fps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "test_support.h"
#include "utils/sample_measures/centroid.h"
#include "utils/size_measures/point_distance.h"

namespace {

using vorn_test::make;

// The procedure written out plainly, point by point.
vorn::Indices literal_fps(const vorn::PointSet& points, std::uint64_t count) {
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::size_t t = std::min<std::uint64_t>(n, count);
  const std::vector<double> c = vorn::compute_centroid(points);
  vorn::Indices result = {vorn::find_closest_point(points, c.data())};
  std::vector<double> nearest(n);
  for (std::size_t i = 0; i < n; ++i)
    nearest[i] = vorn::point_distance(points[i], points[result[0]], points.d);
  while (result.size() < t) {
    std::size_t k = 0;
    for (std::size_t i = 1; i < n; ++i)
      if (nearest[k] <= nearest[i]) k = i;
    result.push_back(k);
    for (std::size_t i = 0; i < n; ++i)
      nearest[i] = std::min(nearest[i], vorn::point_distance(points[i], points[k], points.d));
  }
  return result;
}

// +inf distances tie, and the highest such index wins even in a bucket the first choice skips;
// extents of a few subnormals still file into cells.
TEST(SampleCentroidFps, ExtremeMagnitudesInBuckets) {
  for (std::size_t bucket : {1u, 2u, 4u}) {
    EXPECT_EQ(vorn::sample_centroid_fps_bucketed(make(1, {0, 1, 1e300, -1e300}), 3, bucket),
              (vorn::Indices{0, 3, 2}))
        << bucket;
  }
  vorn::PointSet tiny(300, 2);
  for (std::size_t i = 0; i < tiny.n; ++i) {
    tiny[i][0] = 1e-300 * double(i % 3);
    tiny[i][1] = 5e-324 * double(i % 7);
  }
  EXPECT_EQ(vorn::sample_centroid_fps_bucketed(tiny, 50, 4), literal_fps(tiny, 50));
}

// Integer coordinates on a small grid make exact ties and repeated points common; odd n and
// every dimension regime (specialised, generic, blocks of eight with a tail) are covered, with
// one bucket and with many small ones whose skipping must not change a single choice. The
// 3000-point clouds run with the production bucket size.
TEST(SampleCentroidFps, EqualsThePlainProcedureForEveryBucketSize) {
  std::mt19937_64 gen(2024);
  for (std::size_t d : {1u, 2u, 3u, 5u, 8u, 9u, 19u}) {
    for (std::size_t n : {1u, 2u, 3u, 17u, 40u, 101u, 600u, 3000u}) {
      for (int grid : {2, 4, 1000000}) {
        std::uniform_int_distribution<int> coord(0, grid);
        vorn::PointSet points(n, d);
        for (double& x : points.coords) x = grid > 1000 ? coord(gen) * 1e-3 + 0.1 : coord(gen);
        const std::uint64_t count = n == 3000 ? 300 : (n % 2 ? n + 3 : n / 2 + 1);
        const vorn::Indices expected = literal_fps(points, count);
        ASSERT_EQ(vorn::sample_centroid_fps(points, count, 7), expected)
            << d << " " << n << " " << grid;
        for (std::size_t bucket : {1u, 3u, 16u}) {
          if (n == 3000) break;
          ASSERT_EQ(vorn::sample_centroid_fps_bucketed(points, count, bucket), expected)
              << d << " " << n << " " << grid << " " << bucket;
        }
      }
    }
  }
}

// Distances that differ in the last bit near a bucket's box: a bound that rounded the other way
// would skip a bucket whose point should have moved closer.
TEST(SampleCentroidFps, BucketSkippingIsExactForNearTies) {
  std::mt19937_64 gen(77);
  std::uniform_int_distribution<int> jitter(-3, 3);
  const auto nudge = [&](double x) {
    for (int u = jitter(gen); u != 0; u += u > 0 ? -1 : 1) x = std::nextafter(x, u * 9.0);
    return x;
  };
  for (int trial = 0; trial < 20; ++trial) {
    vorn::PointSet points(400, 2);
    for (std::size_t i = 0; i < points.n; ++i) {
      points[i][0] = nudge(double(i % 20) * 0.1);
      points[i][1] = nudge(double(i / 20) * 0.1);
    }
    const vorn::Indices expected = literal_fps(points, 400);
    for (std::size_t bucket : {2u, 5u, 32u})
      ASSERT_EQ(vorn::sample_centroid_fps_bucketed(points, 400, bucket), expected) << trial;
  }
}

// Shapes that once made the buckets explode or the tree degenerate: near-flat and flat
// planes, a line, tight far-apart clusters, one far outlier, coincident points and
// geometrically spaced coordinates. The bucket count stays within 16 n / bucket_size, and the
// choices still equal the plain procedure's.
TEST(SampleCentroidFps, BucketsStayBoundedOnEveryShape) {
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const char* shapes[] = {"near-flat", "flat",       "line",     "clusters",
                          "outlier",   "coincident", "geometric"};
  for (int shape = 0; shape < 7; ++shape) {
    for (std::size_t n : {1500u, 30000u}) {
      vorn::PointSet points(n, 3);
      for (std::size_t i = 0; i < n; ++i) {
        const double x = unit(gen), y = unit(gen), z = unit(gen);
        const double at[7][3] = {{x, y, 1e-12 * z},
                                 {x, y, 0.5},
                                 {x, 1e-9 * y, 1e-9 * z},
                                 {double(i % 7) * 1e6 + 1e-3 * x, 1e-3 * y, 1e-3 * z},
                                 {i == n / 2 ? 1e12 : x, y, z},
                                 {0.25, 0.25, 0.25},
                                 {std::ldexp(1.0, -int(i % 1000)), y, 0.0}};
        std::copy(at[shape], at[shape] + 3, points[i]);
      }
      const std::size_t buckets = vorn::sample_centroid_fps_buckets(points, 64);
      EXPECT_LE(buckets, 16 * n / 64) << shapes[shape] << " " << n;
      if (n < 2000) {
        ASSERT_EQ(vorn::sample_centroid_fps_bucketed(points, 120, 16), literal_fps(points, 120))
            << shapes[shape];
      }
    }
  }
}

}  // namespace
