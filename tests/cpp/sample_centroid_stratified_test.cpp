#include "utils/sample_measures/sample_centroid_stratified.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "base/panic.h"
#include "test_support.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/seeded_rng.h"
#include "utils/size_measures/point_distance.h"

namespace {

using vorn::Indices;
using vorn::PointSet;
using vorn_test::kNoLimit;

// The procedure written plainly: exactly max_iterations Lloyd iterations with every
// distance computed afresh, each centre's members found by its own scan, strata as lists.
Indices literal_stratified(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                           std::uint64_t num_strata, std::uint64_t max_iterations) {
  auto rng = vorn::SeededRng::seed_from_u64(seed);
  const std::size_t n = points.n, d = points.d;
  if (n == 0 || count == 0) return {};
  const std::size_t t = std::min<std::uint64_t>(n, count), r = t - 1;
  Indices chosen{vorn::find_closest_point(points, vorn::compute_centroid(points).data())};
  if (r == 0) return chosen;
  const std::size_t k = std::min<std::uint64_t>(n, num_strata);
  Indices order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  rng.shuffle(order.data(), n);
  std::vector<std::vector<double>> centres;
  for (std::size_t j = 0; j < k; ++j) centres.emplace_back(points[order[j]], points[order[j]] + d);
  Indices assignment(n, 0);
  for (std::uint64_t it = 0; it < max_iterations; ++it) {
    for (std::size_t i = 0; i < n; ++i) {
      if (k == 0) throw vorn::Panic("called `Option::unwrap()` on a `None` value");
      std::size_t best = 0;
      for (std::size_t j = 1; j < k; ++j) {
        if (vorn::point_distance(points[i], centres[best].data(), d) >
            vorn::point_distance(points[i], centres[j].data(), d))
          best = j;
      }
      assignment[i] = best;
    }
    for (std::size_t j = 0; j < k; ++j) {
      std::vector<double> sum(d, 0.0);
      std::size_t members = 0;
      for (std::size_t i = 0; i < n; ++i) {
        if (assignment[i] != j) continue;
        for (std::size_t c = 0; c < d; ++c) sum[c] += points[i][c];
        ++members;
      }
      for (std::size_t c = 0; members > 0 && c < d; ++c) centres[j][c] = sum[c] / double(members);
    }
  }
  std::vector<Indices> strata(k);
  for (std::size_t i = 0; i < n; ++i) {
    if (assignment[i] >= k)
      throw vorn::Panic("index out of bounds: the len is 0 but the index is 0");
    strata[assignment[i]].push_back(i);
  }
  std::vector<std::uint64_t> quota(k);
  std::uint64_t total = 0;
  for (std::size_t j = 0; j < k; ++j)
    total += quota[j] = std::llround(double(strata[j].size()) / n * r);
  if (total < r) quota[0] += r - total;
  for (std::size_t j = 0; j < k; ++j) {
    Indices copy = strata[j];
    rng.shuffle(copy.data(), copy.size());
    for (std::size_t m = 0; m < copy.size() && quota[j] > 0 && chosen.size() < t; ++m, --quota[j]) {
      if (std::find(chosen.begin(), chosen.end(), copy[m]) == chosen.end())
        chosen.push_back(copy[m]);
    }
  }
  return chosen;
}

PointSet random_points(std::mt19937_64& gen, std::size_t n, std::size_t d, bool on_grid) {
  std::uniform_real_distribution<double> real(-10.0, 10.0);
  std::uniform_int_distribution<int> grid(-1, 1);  // duplicates, ties and strata left empty
  return vorn_test::cloud_of(n, d, [&](auto, auto) { return on_grid ? grid(gen) : real(gen); });
}

// Random clouds, half of them on a coarse grid (duplicates, ties, strata left empty). Once the
// centres stop moving every further iteration repeats the last one, so an iteration count that
// could never be run gives the result of a converged one.
TEST(StratifiedSampling, GivesTheLiteralList) {
  std::mt19937_64 gen(13);
  for (int trial = 0; trial < 400; ++trial) {
    const std::size_t n = 1 + gen() % 60;
    const std::size_t d = std::vector<std::size_t>{1, 2, 3, 9}[gen() % 4];
    const PointSet points = random_points(gen, n, d, trial % 2 == 0);
    const std::uint64_t count = gen() % (n + 3), strata = 1 + gen() % 12, seed = gen();
    const std::uint64_t iterations = std::vector<std::uint64_t>{0, 1, 2, 3, kNoLimit}[gen() % 5];
    ASSERT_EQ(
        vorn::sample_centroid_stratified(points, count, seed, strata, iterations),
        literal_stratified(points, count, seed, strata, std::min<std::uint64_t>(iterations, 500)))
        << "trial " << trial << " n=" << n << " d=" << d << " count=" << count;
  }
}

// Lloyd iterations written plainly; returns the assignment and leaves the last centres.
Indices literal_lloyd(const PointSet& points, std::vector<double>& centres, std::size_t k,
                      std::uint64_t iterations) {
  const std::size_t n = points.n, d = points.d;
  Indices assignment(n, 0);
  for (std::uint64_t it = 0; it < iterations && k > 1; ++it) {
    for (std::size_t i = 0; i < n; ++i) {
      std::size_t best = 0;
      for (std::size_t j = 1; j < k; ++j) {
        if (vorn::point_distance(points[i], &centres[best * d], d) >
            vorn::point_distance(points[i], &centres[j * d], d))
          best = j;
      }
      assignment[i] = best;
    }
    std::vector<double> sum(k * d, 0.0);
    std::vector<double> members(k, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t c = 0; c < d; ++c) sum[assignment[i] * d + c] += points[i][c];
      members[assignment[i]] += 1.0;
    }
    for (std::size_t j = 0; j < k * d; ++j) {
      if (members[j / d] > 0.0) centres[j] = sum[j] / members[j / d];
    }
  }
  return assignment;
}

// Clouds of every dimension the lanes treat apart (below 8, full blocks, a tail) and of the
// carried bounds (per centre when k <= d, else nearest and second), with centre counts short
// of and past a multiple of sixteen: on a grid (exact ties between centres), with points one
// ulp apart, with axes 0 and 1 equal in every point against centre pairs that differ by
// swapping those axes (equal real distances whose rounding depends on the order of the sum), at
// 1e153 (squares overflow to infinite distances) and at 1e-165 (squares underflow); on 1, 2, 3
// and 8 threads, more points than one range holds; rows of doubles and, where floats hold the
// values, rows of floats read in place.
TEST(StratifiedSampling, LloydMatchesTheLiteralIterationsOnAnyThreadCount) {
  std::mt19937_64 gen(29);
  std::uniform_real_distribution<double> real(-10.0, 10.0);
  for (const std::size_t d : {1, 3, 8, 16, 21, 33, 40, 70}) {
    for (int kind = 0; kind < 6; ++kind) {
      const std::size_t n = 700 + gen() % 400, k = d == 33 ? 34 + gen() % 8 : 2 + gen() % 20;
      PointSet points = random_points(gen, n, d, kind == 1);
      for (double& c : points.coords) c = kind == 0 ? float(c) : c;
      for (double& c : points.coords) c *= kind == 4 ? 1e153 : kind == 5 ? 1e-165 : 1.0;
      std::vector<double> start(k * d);
      for (std::size_t j = 0; j < k; ++j)
        std::copy(points[j * 7], points[j * 7] + d, &start[j * d]);
      for (std::size_t i = 1; kind == 2 && i < n; i += 2) {
        for (std::size_t c = 0; c < d; ++c) points[i][c] = std::nextafter(points[i - 1][c], 1e300);
      }
      for (std::size_t i = 0; kind == 3 && d >= 2 && i < n; ++i) points[i][1] = points[i][0];
      for (std::size_t j = 0; kind == 3 && d >= 2 && j < k; ++j) {
        for (std::size_t c = 0; c < d; ++c) start[j * d + c] = real(gen);
        if (j % 2 == 1) {
          std::copy(&start[(j - 1) * d], &start[j * d], &start[j * d]);
          std::swap(start[j * d], start[j * d + 1]);
        }
      }
      // The same values as float rows, read in place, where floats hold them exactly.
      std::vector<float> floats(points.coords.begin(), points.coords.end());
      const bool exact = std::equal(floats.begin(), floats.end(), points.coords.begin());
      const PointSet float_points = PointSet::view(floats.data(), n, d);
      for (const std::uint64_t iterations : {1, 12}) {
        std::vector<double> expected_centres = start;
        const Indices expected = literal_lloyd(points, expected_centres, k, iterations);
        for (const std::size_t threads : {1, 2, 3, 8}) {
          for (const PointSet* input :
               {static_cast<const PointSet*>(&points), exact ? &float_points : &points}) {
            std::vector<double> centres = start;
            const vorn::Executor executor(threads, vorn::CancelHook{});
            EXPECT_EQ(vorn::lloyd_strata(*input, centres, k, iterations, executor), expected)
                << "d=" << d << " kind=" << kind << " threads=" << threads
                << " float32=" << input->is_float32();
            EXPECT_EQ(std::memcmp(centres.data(), expected_centres.data(), k * d * sizeof(double)),
                      0);
          }
        }
      }
    }
  }
}

// 15 / 22 * 11 lies just below 7.5 and rounds down; 7 / 22 * 11 is 3.5 and rounds up.
TEST(StratumQuotas, HalvesRoundAwayFromZeroAndJustBelowRoundsDown) {
  EXPECT_EQ(vorn::stratum_quotas({15, 7}, 22, 11), (std::vector<std::uint64_t>{7, 4}));
}

// Without strata the one place the closest point takes needs none; any further place fails
// at the first assignment, or at the filing when no Lloyd step runs.
TEST(StratifiedSampling, NoStrataFailsOnlyWhenPlacesRemain) {
  PointSet points(4, 1);
  points.coords = {0.0, 1.0, 2.0, 5.0};
  EXPECT_EQ(vorn::sample_centroid_stratified(points, 1, 0, 0, 5), Indices{2});
  for (std::uint64_t iterations : {1, 0}) {
    EXPECT_STREQ(vorn_test::panic_of([&] {
                   vorn::sample_centroid_stratified(points, 3, 0, 0, iterations);
                 }).what(),
                 iterations ? "called `Option::unwrap()` on a `None` value"
                            : "index out of bounds: the len is 0 but the index is 0");
  }
}

}  // namespace
