#include "utils/sample_measures/sample_centroid_kmedoids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "test_support.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/medoid_labels.h"
#include "utils/sample_measures/seeded_rng.h"

namespace {

using vorn::Indices;
using vorn::PointSet;
using vorn_test::kNoLimit;

// The search written plainly: the full cost for every candidate swap, the membership test
// by scanning the medoid list, and the current cost recomputed at every position.
Indices literal_kmedoids(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                         std::uint64_t max_iterations) {
  auto rng = vorn::SeededRng::seed_from_u64(seed);
  if (points.n == 0 || count == 0) return {};
  const std::size_t t = std::min<std::uint64_t>(points.n, count);
  const std::uint64_t first =
      vorn::find_closest_point(points, vorn::compute_centroid(points).data());
  Indices medoids{first}, candidates;
  for (std::uint64_t i = 0; i < points.n; ++i)
    if (i != first) candidates.push_back(i);
  rng.shuffle(candidates.data(), candidates.size());
  medoids.insert(medoids.end(), candidates.begin(), candidates.begin() + (t - 1));
  if (max_iterations == 0) return medoids;
  std::uint64_t swaps = 0;
  for (bool swapped = true; swapped && medoids.size() >= 2;) {
    swapped = false;
    for (std::size_t p = 1; p < t && !swapped; ++p) {
      const std::uint64_t old = medoids[p];
      const double cur = vorn::compute_total_distance(points, medoids);
      for (std::uint64_t x = 0; x < points.n; ++x) {
        if (std::find(medoids.begin(), medoids.end(), x) != medoids.end()) continue;
        medoids[p] = x;
        if (vorn::compute_total_distance(points, medoids) < cur) {
          if (++swaps == max_iterations) return medoids;
          swapped = true;
          break;
        }
        medoids[p] = old;
      }
    }
  }
  return medoids;
}

// Kinds of cloud: spread out; on a small grid (equal distances and equal costs); on the grid
// moved by about 1e-9 (costs that differ far below the precision of float distances); the
// same shrunk to 1e-40, where float distances are subnormal; spread out with one or two far
// points (1e150, or 1e300 where distances overflow to infinity).
PointSet random_points(std::mt19937_64& gen, std::size_t n, std::size_t d, int kind) {
  std::uniform_real_distribution<double> real(-10.0, 10.0), nudge(-1e-9, 1e-9);
  std::uniform_int_distribution<int> grid(-2, 2);
  PointSet points = vorn_test::cloud_of(n, d, [&](auto, auto) {
    return kind == 0 || kind == 4
               ? real(gen)
               : (grid(gen) + (kind >= 2 ? nudge(gen) : 0.0)) * (kind == 3 ? 1e-40 : 1.0);
  });
  if (kind == 4) {
    for (int far = 0; far < 1 + int(gen() % 2); ++far) {
      points[gen() % n][gen() % d] = gen() % 2 ? 1e150 : -1e300;
    }
  }
  return points;
}

PointSet far_point_cloud(std::size_t n, std::size_t d, double far) {
  std::mt19937_64 gen(3);
  std::normal_distribution<double> normal;
  PointSet points = vorn_test::cloud_of(n, d, [&](auto, auto) { return normal(gen); });
  for (std::size_t k = 0; k < d; ++k) points[n / 2][k] = far;
  return points;
}

// Random clouds of every kind, some large enough for the bounds to leave far points out of
// their unit, and one of each kind beyond the size at which pairwise distances are kept
// (bounds from float distances then, or exact ones in 70 dimensions).
TEST(KMedoids, FastSearchGivesTheLiteralList) {
  std::mt19937_64 gen(7);
  for (int trial = 0; trial < 425; ++trial) {
    const bool large = trial >= 400 && trial < 405, far = trial >= 405;
    const std::size_t n = large ? 2100 : far ? 64 + gen() % 40 : 1 + gen() % 40;
    const std::size_t d =
        trial == 403 ? 70 : std::vector<std::size_t>{1, 2, 3, 8, 9, 67}[gen() % 6];
    const PointSet points = random_points(gen, n, d, far || trial == 404 ? 4 : trial % 4);
    const std::uint64_t count = large ? 3 : far ? 2 + gen() % 20 : gen() % (n + 3), seed = gen();
    const std::uint64_t iterations =
        large ? 3 : std::vector<std::uint64_t>{0, 1, 2, 5, kNoLimit}[gen() % 5];
    const Indices expected = literal_kmedoids(points, count, seed, iterations);
    ASSERT_EQ(vorn::sample_centroid_kmedoids(points, count, seed, iterations), expected)
        << "trial " << trial << " n=" << n << " d=" << d << " count=" << count;
    // Without the unit table the bounds take rows through the triangle inequality instead.
    const std::size_t threads = std::vector<std::size_t>{1, 2, 3, 8}[trial % 4];
    const vorn::Executor executor(threads, vorn::CancelHook{});
    vorn::KMedoidsWork work;
    for (std::size_t table : {std::size_t(1) << 28, std::size_t(0)}) {
      ASSERT_EQ(
          vorn::sample_centroid_kmedoids(points, count, seed, iterations, executor, work, table),
          expected)
          << "table " << table << ", trial " << trial << " threads=" << threads;
    }
  }
}

// Clouds whose table, bounds and swaps are split into several ranges of points (equal costs on
// the grids): the literal list on any number of threads, and the bounds pass the same
// candidates to the exact cost whatever the thread count.
TEST(KMedoids, SplitWorkGivesTheLiteralListAndWork) {
  std::mt19937_64 gen(13);
  for (int kind = 0; kind < 4; ++kind) {
    const PointSet points = random_points(gen, 520, 3, kind);
    const Indices expected = literal_kmedoids(points, 5, kind, 12);
    std::uint64_t exact_costs[2] = {};
    for (std::size_t threads : {1, 2, 3, 8}) {
      const vorn::Executor executor(threads, vorn::CancelHook{});
      for (std::size_t table : {0, 1}) {
        vorn::KMedoidsWork work;
        EXPECT_EQ(vorn::sample_centroid_kmedoids(points, 5, kind, 12, executor, work,
                                                 table ? std::size_t(1) << 28 : 0),
                  expected)
            << "kind " << kind << ", " << threads << " threads, table " << table;
        if (threads == 1) exact_costs[table] = work.exact_costs;
        EXPECT_EQ(work.exact_costs, exact_costs[table]) << kind << ", " << threads << " threads";
      }
    }
  }
}

// In high dimension and beyond the unit table, clustered points (as embeddings are) keep the
// literal list on any number of threads, and the bounds still pass over nearly every candidate.
TEST(KMedoids, RowsThroughTheTriangleInequalityGiveTheLiteralList) {
  std::mt19937_64 gen(11);
  std::normal_distribution<double> normal;
  PointSet centres(5, 72), points(160, 72);
  for (double& c : centres.coords) c = normal(gen);
  for (std::size_t i = 0; i < points.n; ++i) {
    const double* centre = centres[gen() % centres.n];
    for (std::size_t k = 0; k < points.d; ++k) points[i][k] = centre[k] + 0.5 * normal(gen);
  }
  const Indices expected = literal_kmedoids(points, 10, 5, 12);
  for (std::size_t threads : {1, 2, 3, 8}) {
    const vorn::Executor executor(threads, vorn::CancelHook{});
    vorn::KMedoidsWork work;
    EXPECT_EQ(vorn::sample_centroid_kmedoids(points, 10, 5, 12, executor, work, 0), expected)
        << threads;
    EXPECT_LT(work.exact_costs, 40u) << threads;
  }
}

// A far point must not switch the bounds off: with one point at 1e150 (or 1e300, where its
// distances overflow) the search sums about as few exact costs as without it.
TEST(KMedoids, FarPointKeepsTheBounds) {
  vorn::KMedoidsWork plain;
  vorn::sample_centroid_kmedoids(far_point_cloud(513, 8, 0.5), 255, 0, 100, vorn::Executor(),
                                 plain);
  for (double far : {1e6, 1e150, 1e300}) {
    vorn::KMedoidsWork work;
    vorn::sample_centroid_kmedoids(far_point_cloud(513, 8, far), 255, 0, 100, vorn::Executor(),
                                   work);
    EXPECT_LT(work.exact_costs, 3 * plain.exact_costs + 1000) << far;
  }
}

// Rows of floats read in place give the list, labels and cost of their widened doubles: float
// unit columns (more than 2,048 points in 5 dimensions), exact rows in 70 dimensions (blocks and
// a tail) and 384, with the unit table and without it, on any number of threads.
TEST(KMedoids, FloatRowsGiveTheResultsOfTheirDoubles) {
  const std::size_t shapes[][3] = {{2100, 5, 3}, {300, 70, 12}, {200, 384, 8}};  // n, d, count
  for (const auto& shape : shapes) {
    const std::size_t n = shape[0], d = shape[1], count = shape[2];
    std::mt19937_64 gen(n);
    std::normal_distribution<float> normal;
    std::vector<float> centres(5 * d), rows(n * d);
    for (float& c : centres) c = normal(gen);
    for (std::size_t i = 0; i < n; ++i) {
      const float* centre = centres.data() + gen() % 5 * d;
      for (std::size_t k = 0; k < d; ++k) rows[i * d + k] = centre[k] + 0.5f * normal(gen);
    }
    const PointSet view = PointSet::view(rows.data(), n, d);
    const PointSet wide =
        vorn_test::cloud_of(n, d, [&](auto i, auto k) { return rows[i * d + k]; });
    const Indices expected = vorn::sample_centroid_kmedoids(wide, count, 5, 20);
    const vorn::MedoidLabels labelled = vorn::label_medoids(wide, expected);
    for (std::size_t threads : {1, 2, 3, 8}) {
      const vorn::Executor executor(threads, vorn::CancelHook{});
      vorn::KMedoidsWork work;
      for (std::size_t table : {std::size_t(1) << 28, std::size_t(0)}) {
        EXPECT_EQ(vorn::sample_centroid_kmedoids(view, count, 5, 20, executor, work, table),
                  expected)
            << n << " x " << d << ", " << threads << " threads, table " << table;
      }
      const vorn::MedoidLabels got = vorn::label_medoids(view, expected, executor);
      EXPECT_EQ(got.labels, labelled.labels);
      EXPECT_EQ(vorn_test::bits(got.cost), vorn_test::bits(labelled.cost));
    }
  }
}

}  // namespace
