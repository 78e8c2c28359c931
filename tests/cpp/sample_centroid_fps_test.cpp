#include "utils/sample_measures/sample_centroid_fps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "test_support.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/sample_centroid_fps_pruned.h"
#include "utils/size_measures/point_distance.h"

namespace {

using vorn_test::make;

// The procedure written out plainly, point by point, from the point nearest the centroid or
// from `start`.
vorn::Indices literal_fps(const vorn::PointSet& points, std::uint64_t count,
                          std::uint64_t start = ~std::uint64_t(0)) {
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::size_t t = std::min<std::uint64_t>(n, count);
  const std::vector<double> c = vorn::compute_centroid(points);
  vorn::Indices result = {start < n ? start : vorn::find_closest_point(points, c.data())};
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

// Many coordinates, where choices skip points by their distance to the chosen points: clustered
// clouds, a grid of three values (ties and repeated points everywhere, count beyond n), points
// a few ulps apart, distances of +inf and coordinates so small that every bound is void.
TEST(SampleCentroidFpsPruned, EqualsThePlainProcedure) {
  std::mt19937_64 gen(5);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::uniform_int_distribution<int> three(0, 2), ulps(-2, 2);
  const char* kinds[] = {"clusters", "grid", "ulps", "huge", "tiny"};
  for (std::size_t d : {8u, 9u, 13u, 64u, 100u}) {
    for (int kind = 0; kind < 5; ++kind) {
      const std::size_t n = kind == 1 ? 300 : 1500;
      vorn::PointSet points(n, d);
      std::vector<double> centre(d);
      for (std::size_t i = 0; i < n; ++i) {
        if (i % 100 == 0) {
          for (double& c : centre) c = 4.0 * normal(gen);
        }
        for (std::size_t k = 0; k < d; ++k) {
          double x = centre[k] + 0.5 * normal(gen);
          if (kind == 1) x = three(gen);
          if (kind == 2) x = std::nextafter(double(i % 4), ulps(gen) * 9.0);
          if (kind == 3 && k == 0 && i % 50 == 7) x = i % 100 < 50 ? 1e300 : -1e300;
          if (kind == 4) x *= 1e-156;  // squares in the subnormal range
          points[i][k] = x;
        }
      }
      const std::uint64_t count = kind == 1 ? 400 : 150;
      ASSERT_EQ(vorn::sample_centroid_fps_pruned(points, count), literal_fps(points, count))
          << d << " " << kinds[kind];
    }
  }
}

// Large enough that the points are filed in several ranges and a choice's pieces go to the
// pool. On a grid of 1000 places ties are everywhere (nearest to the centroid too), and past
// 1000 choices every entry is 0; one far outlier makes the first division fall back to a median,
// and a heap of coincident points to a division by position.
TEST(SampleCentroidFps, ChoicesDoNotDependOnTheThreads) {
  std::mt19937_64 gen(9);
  std::uniform_int_distribution<int> coord(0, 9);
  const char* shapes[] = {"grid", "outlier", "heap"};
  for (std::size_t d : {3u, 16u}) {
    for (int shape = 0; shape < (d == 3 ? 3 : 1); ++shape) {
      vorn::PointSet points(shape == 0 ? 40000 : 20000, d);
      for (double& x : points.coords) x = coord(gen) * 0.25;
      for (std::size_t i = 0; shape == 2 && i < points.n; ++i) {
        if (i % 16 != 5) points[i][0] = points[i][1] = points[i][2] = 1.0;
      }
      if (shape == 1) points[points.n / 3][1] = 1e9;
      const std::uint64_t count = d == 3 ? (shape == 0 ? 1100 : 300) : 40;
      const vorn::Indices expected = literal_fps(points, count);
      for (std::size_t threads : {1u, 2u, 3u, 8u}) {
        const vorn::Executor executor(threads, vorn::CancelHook());
        if (d > 3) {
          ASSERT_EQ(vorn::sample_centroid_fps_pruned(points, count, executor), expected);
        }
        ASSERT_EQ(vorn::sample_centroid_fps(points, count, 0, executor), expected)
            << shapes[shape] << " " << threads;
      }
    }
  }
}

// Buckets of one and three slots, and a single bucket, on several threads: choices of many
// pieces and of one; grid ties make every comparison of the pieces' maxima count.
TEST(SampleCentroidFps, TinyAndSingleBucketsOnEveryThreadCount) {
  std::mt19937_64 gen(4);
  std::uniform_int_distribution<int> coord(0, 30);
  vorn::PointSet points(20000, 2);
  for (double& x : points.coords) x = coord(gen);
  const vorn::Indices expected = literal_fps(points, 70);
  for (std::size_t bucket : {1u, 3u, 20000u}) {
    for (std::size_t threads : {2u, 3u, 8u}) {
      const vorn::Executor executor(threads, vorn::CancelHook());
      EXPECT_EQ(vorn::sample_centroid_fps_bucketed(points, 70, bucket, executor), expected)
          << bucket << " " << threads;
    }
  }
}

// Any first choice, on both methods (tree and groups), ties included; the nearest point to the
// centroid as start gives sample_centroid_fps itself.
TEST(SampleCentroidFpsFrom, EqualsThePlainProcedureFromEveryStart) {
  std::mt19937_64 gen(3);
  std::uniform_int_distribution<int> coord(0, 3);
  for (std::size_t d : {2u, 16u}) {
    vorn::PointSet points(200, d);
    for (double& x : points.coords) x = coord(gen);
    for (std::uint64_t start : {0u, 1u, 77u, 199u}) {
      ASSERT_EQ(vorn::sample_centroid_fps_from(points, 120, start), literal_fps(points, 120, start))
          << d << " " << start;
    }
    const vorn::Indices usual = vorn::sample_centroid_fps(points, 60, 0);
    EXPECT_EQ(vorn::sample_centroid_fps_from(points, 60, usual[0]), usual) << d;
  }
  EXPECT_EQ(vorn::sample_centroid_fps_from(make(1, {5.0}), 3, 0), (vorn::Indices{0}));
  EXPECT_TRUE(vorn::sample_centroid_fps_from(make(1, {5.0}), 0, 4).empty());
  EXPECT_EQ(
      vorn_test::panic_of([] { vorn::sample_centroid_fps_from(make(1, {1, 2}), 2, 2); }).what(),
      std::string("start index out of range"));
  EXPECT_EQ(vorn_test::panic_of([] {
              vorn::sample_centroid_fps_from(make(1, {1, std::nan("")}), 2, 0);
            }).what(),
            std::string("called `Option::unwrap()` on a `None` value"));
}

}  // namespace
