// Every kernel that hands work to the pool gives the bits of one thread on 2, 3 and 8 threads,
// and ends with Panic::interrupted() when its caller asks it to stop (the sanitizer build
// checks that nothing leaks on the way out).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "test_support.h"
#include "utils/sample_measures/sample_centroid_fps.h"
#include "utils/sample_measures/sample_centroid_kmedoids.h"
#include "utils/sample_measures/sample_centroid_stratified.h"
#include "utils/sample_measures/sample_centroid_voxel.h"
#include "utils/size_measures/size_covdet.h"

namespace {

using vorn::Executor;
using vorn::Indices;
using vorn::PointSet;
using vorn_test::kNoLimit;
using vorn_test::sorted;

// grid > 0: integers in [-grid, grid], some moved up by one or two ulps (exact and near ties
// everywhere); grid == 0: uniform in [-1, 1), every fifth point repeated and the next one ulp
// from it. Then all multiplied by scale.
PointSet cloud(std::size_t n, std::size_t d, int grid, double scale, std::uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::uniform_int_distribution<int> coord(-grid, grid), ulps(0, 2);
  std::uniform_real_distribution<double> real(-1.0, 1.0);
  std::vector<double> previous(d);  // the last point's coordinates
  PointSet p = vorn_test::cloud_of(n, d, [&](std::size_t i, std::size_t j) {
    double x = grid ? coord(gen) : i % 5 == 1 ? previous[j] : real(gen);
    for (int u = grid ? ulps(gen) : i % 5 == 2; u > 0; --u) x = std::nextafter(x, 1e9);
    return previous[j] = x;
  });
  for (double& x : p.coords) x *= scale;
  return p;
}

// Runs a kernel on one thread, then on 2, 3 and 8, which must give the same indices or bits.
template <class Run>
void expect_same_on_every_thread_count(const char* label, Run run) {
  const auto on = [&](std::size_t threads) { return run(Executor(threads, vorn::CancelHook{})); };
  const auto one = on(1);
  for (std::size_t threads : {2u, 3u, 8u})
    EXPECT_EQ(on(threads), one) << label << " on " << threads;
}

// Bucket updates split into ranges; strata assigned in ranges while centre sums stay in point
// order; swap candidates bounded in ranges below and above the size of the distance table;
// voxels filed in ranges for the plain table and the hash table, stopping in the voxel pass or
// going on into the fill; scatter in one pass (small d), padded tiles (13) and many tiles (64).
TEST(ThreadCount, EveryKernelGivesTheBitsOfOneThread) {
  const PointSet ties3 = cloud(60000, 3, 15, 1.0, 3);
  expect_same_on_every_thread_count(
      "fps", [&](const Executor& e) { return vorn::sample_centroid_fps(ties3, 300, 0, e); });
  PointSet grid3 = cloud(3000, 3, 1, 1.0, 17);
  for (double& x : grid3.coords) x = std::round(x);  // exact ties only: Lloyd's steps settle
  for (const PointSet& p : {grid3, cloud(3000, 9, 0, 10.0, 17)}) {
    expect_same_on_every_thread_count("stratified", [&](const Executor& e) {
      return sorted(vorn::sample_centroid_stratified(p, 200, 9, 24, kNoLimit, e));
    });
  }
  for (const PointSet& p :
       {cloud(300, 3, 2, 1.0, 11), cloud(300, 9, 0, 1e-9, 11), cloud(300, 3, 2, 1e-40, 11),
        cloud(2100, 3, 2, 1.0, 11), cloud(300, 70, 0, 1.0, 11)}) {
    const bool large = p.n > 2000;  // above the distance table: three medoids, two swaps
    expect_same_on_every_thread_count("kmedoids", [&](const Executor& e) {
      return vorn::sample_centroid_kmedoids(p, large ? 3 : 12, 5, large ? 2 : kNoLimit, e);
    });
  }
  const PointSet voxels = cloud(50000, 3, 40, 0.125, 9);
  for (double size : {4.0, 1e-9}) {
    for (std::uint64_t count : {100u, 20000u}) {
      expect_same_on_every_thread_count("voxel", [&](const Executor& e) {
        return vorn::sample_centroid_voxel(voxels, count, 17, size, e);
      });
    }
  }
  for (std::size_t d : {3u, 13u, 64u}) {
    const PointSet p = cloud(200000 / d, d, 0, 1.0, d);
    expect_same_on_every_thread_count("covdet", [&](const Executor& e) {
      return Indices{vorn_test::bits(vorn::size_covdet(p, e))};
    });
  }
}

// Runs a kernel whose caller has asked it to stop: it must end with Panic::interrupted().
template <class Run>
void expect_interrupted(const char* label, std::size_t threads, Run run) {
  const Executor executor(threads, vorn::CancelHook{[](void*) { return true; }, nullptr});
  std::this_thread::sleep_for(2 * Executor::kPollPeriod);  // the hook is asked from now on
  const vorn::Panic stop = vorn_test::panic_of([&] { run(executor); });
  EXPECT_TRUE(stop.is_interrupted()) << label << " on " << threads << " threads: " << stop.what();
}

// fps and voxel poll on one thread too; the searches only between parallel rounds.
TEST(ThreadCount, EveryLongKernelStopsWhenAsked) {
  const PointSet big = cloud(200000, 3, 0, 1.0, 5), mid = cloud(20000, 4, 0, 10.0, 5);
  const PointSet spread = cloud(2000, 8, 0, 10.0, 3);
  for (std::size_t threads : {1u, 2u}) {
    expect_interrupted("fps", threads, [&](const Executor& e) {
      return vorn::sample_centroid_fps(big, 5000, 0, e);
    });
    expect_interrupted("voxel", threads, [&](const Executor& e) {
      return vorn::sample_centroid_voxel(big, 5000, 1, 1e-3, e);
    });
  }
  expect_interrupted("kmedoids", 2, [&](const Executor& e) {
    return vorn::sample_centroid_kmedoids(spread, 100, 1, kNoLimit, e);
  });
  expect_interrupted("stratified", 2, [&](const Executor& e) {
    return vorn::sample_centroid_stratified(mid, 100, 1, 32, kNoLimit, e);
  });
}

}  // namespace
