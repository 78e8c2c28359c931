#include "utils/sample_measures/sample_centroid_voxel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <utility>

#include "test_support.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/seeded_rng.h"

namespace {

using vorn::Indices;
using vorn::PointSet;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct CoordinateCase {
  const char* label;
  double x, size;
  std::int32_t key;
};

TEST(VoxelCoordinate, FloorsClampsAndMapsNaNToZero) {
  const CoordinateCase cases[] = {
      {"boundary 0 is its own voxel", 0.0, 1.0, 0},
      {"boundary 1 starts the next voxel", 1.0, 1.0, 1},
      {"-0.5 falls in voxel -1", -0.5, 1.0, -1},
      {"0.3 / 0.1 lies just below 3", 0.3, 0.1, 2},
      {"quotient above the range saturates", 1e300, 1.0, kMax},
      {"quotient below the range saturates", -1e300, 1.0, kMin},
      {"floor below the bottom saturates", -2147483648.5, 1.0, kMin},
      {"size 0, positive x", 3.0, 0.0, kMax},
      {"size 0, negative x", -3.0, 0.0, kMin},
      {"size 0, x 0 is NaN", 0.0, 0.0, 0},
      {"negative size mirrors", 0.5, -1.0, -1},
      {"NaN size", 5.0, kNaN, 0},
      {"NaN coordinate", kNaN, 1.0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(vorn::voxel_coordinate(c.x, c.size), c.key) << c.label;
}

// Many values at once give each value's own bits, on sizes whose reciprocal is exact (powers
// of two, down to where it would overflow) and on others, with quotients that overflow, round
// to subnormals, or land on and beside integers.
TEST(VoxelCoordinate, ManyAtOnceGiveTheBitsOfOne) {
  const double sizes[] = {0.25,      -0.25,    1.0,       0x1p-1022, 0x1p-1024,
                          0x1p-1074, 0x1p1023, -0x1p1023, 0.3,       3.0,
                          0.0,       kNaN,     INFINITY,  -INFINITY, 0x1.0000000000001p-2};
  std::mt19937_64 gen(8);
  std::vector<double> x = {
      0.0,       -0.0,         0x1p-1074,   -0x1p-1074,   0x1p-1022,
      1.0,       -1.0,         0.75,        -0.75,        std::numeric_limits<double>::max(),
      -1e308,    1e300,        2.5e-300,    kNaN,         INFINITY,
      -INFINITY, 536870911.75, 536870912.0, -536870912.25};
  while (x.size() < 61)
    x.push_back(std::ldexp(double(gen() % 2001) - 1000.0, int(gen() % 64) - 40));
  std::vector<std::int32_t> many(x.size());
  for (const double size : sizes) {
    vorn::voxel_coordinates(x.data(), x.size(), size, many.data());
    for (std::size_t i = 0; i < x.size(); ++i) {
      ASSERT_EQ(many[i], vorn::voxel_coordinate(x[i], size)) << x[i] << " / " << size;
    }
  }
}

// The procedure written plainly: voxels in a list in order of first occurrence, each with
// its member list, shuffled as (key, members) records; the chosen set as a plain list.
Indices literal_voxel(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                      double size) {
  auto rng = vorn::SeededRng::seed_from_u64(seed);
  if (points.n == 0 || count == 0) return {};
  const std::size_t t = std::min<std::uint64_t>(points.n, count);
  Indices chosen;
  auto insert = [&](std::uint64_t i) {
    if (std::find(chosen.begin(), chosen.end(), i) == chosen.end()) chosen.push_back(i);
  };
  insert(vorn::find_closest_point(points, vorn::compute_centroid(points).data()));
  std::vector<std::pair<std::vector<std::int32_t>, Indices>> voxels;
  for (std::uint64_t i = 0; i < points.n; ++i) {
    std::vector<std::int32_t> key;
    for (std::size_t j = 0; j < points.d; ++j)
      key.push_back(vorn::voxel_coordinate(points[i][j], size));
    auto it =
        std::find_if(voxels.begin(), voxels.end(), [&](const auto& v) { return v.first == key; });
    if (it == voxels.end()) it = voxels.insert(voxels.end(), {key, {}});
    it->second.push_back(i);
  }
  rng.shuffle(voxels.data(), voxels.size());
  for (auto& voxel : voxels) {
    if (chosen.size() >= t) break;
    rng.shuffle(voxel.second.data(), voxel.second.size());
    insert(voxel.second[0]);
  }
  Indices rest;
  for (std::uint64_t i = 0; i < points.n; ++i)
    if (std::find(chosen.begin(), chosen.end(), i) == chosen.end()) rest.push_back(i);
  rng.shuffle(rest.data(), rest.size());
  for (std::uint64_t i : rest) {
    if (chosen.size() >= t) break;
    insert(i);
  }
  return chosen;
}

// Long keys (d > 8) are compared from their rows; odd trials read the same values as floats.
TEST(VoxelSampling, GivesTheLiteralList) {
  std::mt19937_64 gen(5);
  const double sizes[] = {1.0, 0.5, 2.5, 100.0, 1e-300, 0.0, -1.0, kNaN, INFINITY};
  for (int trial = 0; trial < 400; ++trial) {
    const std::size_t n = 1 + gen() % 150, d = 1 + gen() % 12;
    std::uniform_real_distribution<float> real(-6.0f, 6.0f);
    std::vector<float> rows(n * d);
    for (float& x : rows) x = trial % 3 == 0 ? std::floor(real(gen)) : real(gen);
    const PointSet points =
        vorn_test::cloud_of(n, d, [&](auto i, auto k) { return rows[i * d + k]; });
    const PointSet view = PointSet::view(rows.data(), n, d);
    const std::uint64_t count = gen() % (n + 3), seed = gen();
    const double size = sizes[gen() % 9];
    const vorn::Executor ex(1 + trial % 3, vorn::CancelHook{});
    const Indices got =
        vorn::sample_centroid_voxel(trial % 2 ? view : points, count, seed, size, ex);
    ASSERT_EQ(got, literal_voxel(points, count, seed, size))
        << "trial " << trial << " n=" << n << " d=" << d << " size=" << size;
    ASSERT_EQ(got.size(), std::min<std::uint64_t>(n, count));
  }
}

// A first coordinate of NaN leaves the extremes NaN: the box they give must never be used.
TEST(VoxelSampling, NonFiniteCoordinatesFailBeforeAnyVoxelWork) {
  const PointSet clouds[] = {vorn_test::make(1, {kNaN, 5.0, 7.0}),
                             vorn_test::make(1, {INFINITY, 0.0, 1.0}),
                             vorn_test::make(2, {0.0, 1.0, -INFINITY, 2.0, 3.0, INFINITY})};
  for (const PointSet& cloud : clouds) {
    EXPECT_STREQ(vorn_test::panic_of([&] { vorn::sample_centroid_voxel(cloud, 3, 0, 1.0); }).what(),
                 "called `Option::unwrap()` on a `None` value");
  }
}

// Many ranges of points, numbered on several threads: clusters far apart (a sparse box, so
// the hash table) and one dense box; float rows give the bits of their doubles.
TEST(VoxelSampling, ThreadsAndFloatRowsGiveTheLiteralList) {
  const std::size_t n = 40000, d = 3;
  for (const double spread : {1e4, 0.0}) {
    std::vector<float> rows(n * d);
    std::mt19937_64 gen(9);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (std::size_t i = 0; i < n; ++i) {
      const double centre = spread * double(i % 37);
      for (std::size_t k = 0; k < d; ++k)
        rows[i * d + k] = float(centre * double(k + 1) + 0.5 * unit(gen));
    }
    const PointSet points =
        vorn_test::cloud_of(n, d, [&](auto i, auto k) { return rows[i * d + k]; });
    const PointSet view = PointSet::view(rows.data(), n, d);
    const Indices want = literal_voxel(points, 200, 3, 0.25);
    for (std::size_t threads : {1u, 2u, 3u, 8u}) {
      const vorn::Executor ex(threads, vorn::CancelHook{});
      EXPECT_EQ(vorn::sample_centroid_voxel(points, 200, 3, 0.25, ex), want) << threads;
      EXPECT_EQ(vorn::sample_centroid_voxel(view, 200, 3, 0.25, ex), want) << threads;
    }
  }
}

}  // namespace
