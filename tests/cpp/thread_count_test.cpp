// Every kernel that hands work to the pool gives the bits of one thread on 2, 3 and 8 threads,
// and ends with Panic::interrupted() when its caller asks it to stop (the sanitizer build
// checks that nothing leaks on the way out).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "utils/panic.h"
#include "utils/sample_measures/sample_centroid_fps.h"
#include "utils/sample_measures/sample_centroid_kmedoids.h"
#include "utils/sample_measures/sample_centroid_stratified.h"
#include "utils/sample_measures/sample_centroid_voxel.h"
#include "utils/size_measures/size_covdet.h"

namespace {

using vorn::Executor;
using vorn::Indices;
using vorn::PointSet;
constexpr std::uint64_t kNoLimit = ~std::uint64_t(0);

// grid > 0: integers in [-grid, grid], some moved up by one or two ulps (exact and near ties
// everywhere); grid == 0: uniform in [-1, 1), every fifth point repeated and the next one ulp
// from it. Then all multiplied by scale.
PointSet cloud(std::size_t n, std::size_t d, int grid, double scale, std::uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::uniform_int_distribution<int> coord(-grid, grid), ulps(0, 2);
  std::uniform_real_distribution<double> real(-1.0, 1.0);
  PointSet p(n, d);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < d; ++j) {
      double x = grid ? coord(gen) : i % 5 == 1 ? p[i - 1][j] : real(gen);
      for (int u = grid ? ulps(gen) : i % 5 == 2; u > 0; --u) x = std::nextafter(x, 1e9);
      p[i][j] = x;
    }
  }
  for (double& x : p.coords) x *= scale;
  return p;
}

Indices sorted(Indices v) {
  std::sort(v.begin(), v.end());
  return v;
}

Indices bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return {b};
}

struct Kernel {
  const char* label;
  std::function<Indices(const Executor&)> run;
};

// Bucket updates split into ranges; strata assigned in ranges while centre sums stay in point
// order; swap candidates bounded in ranges below and above the size of the distance table;
// voxels filed in ranges for the plain table and the hash table, stopping in the voxel pass or
// going on into the fill; scatter in one pass (small d), padded tiles (13) and many tiles (64).
TEST(ThreadCount, EveryKernelGivesTheBitsOfOneThread) {
  const PointSet ties3 = cloud(60000, 3, 15, 1.0, 3);
  PointSet grid3 = cloud(3000, 3, 1, 1.0, 17);
  for (double& x : grid3.coords) x = std::round(x);  // exact ties only: Lloyd's steps settle
  const PointSet real9 = cloud(3000, 9, 0, 10.0, 17), voxels = cloud(50000, 3, 40, 0.125, 9);
  const PointSet kmed[] = {cloud(300, 3, 2, 1.0, 11), cloud(300, 9, 0, 1e-9, 11),
                           cloud(300, 3, 2, 1e-40, 11), cloud(2100, 3, 2, 1.0, 11)};
  std::vector<Kernel> kernels = {
      {"fps", [&](const Executor& e) { return vorn::sample_centroid_fps(ties3, 300, 0, e); }},
      {"stratified grid",
       [&](const Executor& e) {
         return sorted(vorn::sample_centroid_stratified(grid3, 200, 9, 24, kNoLimit, e));
       }},
      {"stratified real",
       [&](const Executor& e) {
         return sorted(vorn::sample_centroid_stratified(real9, 200, 9, 24, kNoLimit, e));
       }},
      {"kmedoids above the table",
       [&](const Executor& e) { return vorn::sample_centroid_kmedoids(kmed[3], 3, 5, 2, e); }},
  };
  for (const PointSet* q : {&kmed[0], &kmed[1], &kmed[2]}) {
    const PointSet& p = *q;
    kernels.push_back({"kmedoids", [&p](const Executor& e) {
                         return vorn::sample_centroid_kmedoids(p, 12, 5, kNoLimit, e);
                       }});
  }
  for (double size : {4.0, 1e-9}) {
    for (std::uint64_t count : {100u, 20000u}) {
      kernels.push_back({"voxel", [&voxels, size, count](const Executor& e) {
                           return vorn::sample_centroid_voxel(voxels, count, 17, size, e);
                         }});
    }
  }
  std::vector<PointSet> wide;
  for (std::size_t d : {3u, 13u, 64u}) wide.push_back(cloud(200000 / d, d, 0, 1.0, d));
  for (const PointSet& p : wide) {
    kernels.push_back(
        {"covdet", [&p](const Executor& e) { return bits(vorn::size_covdet(p, e)); }});
  }
  for (std::size_t k = 0; k < kernels.size(); ++k) {
    const Indices one = kernels[k].run(Executor(1, vorn::CancelHook{}));
    for (std::size_t threads : {2u, 3u, 8u}) {
      EXPECT_EQ(kernels[k].run(Executor(threads, vorn::CancelHook{})), one)
          << kernels[k].label << " (kernel " << k << ") on " << threads << " threads";
    }
  }
}

// fps and voxel poll on one thread too; the searches only between parallel rounds.
TEST(ThreadCount, EveryLongKernelStopsWhenAsked) {
  const PointSet big = cloud(200000, 3, 0, 1.0, 5), mid = cloud(20000, 4, 0, 10.0, 5);
  const PointSet spread = cloud(2000, 8, 0, 10.0, 3);
  const Kernel kernels[] = {
      {"fps", [&](const Executor& e) { return vorn::sample_centroid_fps(big, 5000, 0, e); }},
      {"voxel",
       [&](const Executor& e) { return vorn::sample_centroid_voxel(big, 5000, 1, 1e-3, e); }},
      {"kmedoids",
       [&](const Executor& e) {
         return vorn::sample_centroid_kmedoids(spread, 100, 1, kNoLimit, e);
       }},
      {"stratified",
       [&](const Executor& e) {
         return vorn::sample_centroid_stratified(mid, 100, 1, 32, kNoLimit, e);
       }},
  };
  for (const Kernel& k : kernels) {
    for (std::size_t threads : {1u, 2u}) {
      if (threads == 1 && k.label[0] != 'f' && k.label[0] != 'v') continue;
      const Executor executor(threads, vorn::CancelHook{[](void*) { return true; }, nullptr});
      std::this_thread::sleep_for(2 * Executor::kPollPeriod);  // the hook is asked from now on
      try {
        k.run(executor);
        ADD_FAILURE() << k.label << " not interrupted on " << threads << " threads";
      } catch (const vorn::Panic& stop) {
        EXPECT_TRUE(stop.is_interrupted()) << k.label;
      }
    }
  }
}

}  // namespace
