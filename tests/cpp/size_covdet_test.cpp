#include "utils/size_measures/size_covdet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "test_support.h"
#include "utils/size_measures/determinant.h"
#include "utils/size_measures/natural_log.h"
#include "utils/size_measures/point_distance.h"
#include "utils/size_measures/size_dispersion.h"

namespace {

// The ridged covariance built the slow way: an explicit centred matrix and its transpose,
// each scatter entry summed column by column in point order.
std::vector<double> literal_ridged_covariance(const vorn::PointSet& p) {
  const std::size_t n = p.n, d = p.d;
  std::vector<double> m(d, 0.0), x(d * n), xt(n * d), s(d * d);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < d; ++j) m[j] = m[j] + p[i][j];
  for (std::size_t j = 0; j < d; ++j) m[j] = m[j] / double(n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < d; ++j) xt[i + j * n] = x[j + i * d] = p[i][j] - m[j];
  for (std::size_t c = 0; c < d; ++c) {
    for (std::size_t r = 0; r < d; ++r) s[r + c * d] = x[r] * xt[c * n];
    for (std::size_t k = 1; k < n; ++k)
      for (std::size_t r = 0; r < d; ++r)
        s[r + c * d] = x[r + k * d] * xt[k + c * n] + s[r + c * d];
  }
  for (std::size_t e = 0; e < d * d; ++e)
    s[e] = s[e] / (double(n) + -1.0) + (e % (d + 1) == 0 ? 1.0 : 0.0) * 1e-8;
  return s;
}

// Both scatter paths (one pass up to five dimensions, the tiled kernel beyond), across block
// edges, tile padding (d off both tile sides), bands of strips (d = 100) and runs of tiles
// shared over threads (d = 70 and 100 with 1,100 points), give the bits of the literal procedure.
TEST(SizeCovdet, MatchesLiteralProcedureBitForBit) {
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const std::size_t shapes[][2] = {{1, 2},    {2, 257},   {3, 6},     {4, 5}, {5, 700},
                                   {6, 2},    {6, 256},   {7, 255},   {9, 6}, {16, 257},
                                   {33, 700}, {70, 1100}, {100, 1100}};
  for (const auto& shape : shapes) {
    const std::size_t d = shape[0], n = shape[1];
    vorn::PointSet p(n, d);
    for (std::size_t e = 0; e < n * d; ++e) p.coords[e] = u(gen) * std::exp2(e % 7 * 9.0) + 3.0;
    const double want = std::sqrt(std::fabs(vorn::determinant(literal_ridged_covariance(p), d)));
    for (std::size_t threads : {1u, 2u, 3u, 8u}) {
      const vorn::Executor executor(threads, vorn::CancelHook{});
      EXPECT_EQ(vorn_test::bits(vorn::size_covdet(p, executor)), vorn_test::bits(want))
          << "d=" << d << " n=" << n << " threads=" << threads;
    }
  }
}

using vorn::determinant;
using vorn::lu_decompose;

// Matrices are written column by column.
TEST(Determinant, LuPivotsOnFirstGreatestMagnitudeAndCountsExchanges) {
  std::vector<double> swap01 = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::vector<double> cycle = {0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(determinant(swap01, 4), -1.0);
  EXPECT_EQ(determinant(cycle, 4), 1.0);
  std::vector<double> a = {1, -1, 2, -2, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(determinant(a, 4), -2.0);
  EXPECT_EQ(lu_decompose(a.data(), 4), 1u);
  EXPECT_EQ(a[0], 2.0);  // row 2 moved up, not the equally large row 3
  std::vector<double> b = {10, 3, 0, 1};
  lu_decompose(b.data(), 2);
  EXPECT_EQ(b[1], 3.0 * (1.0 / 10.0));  // the multiplier uses the reciprocal,
  EXPECT_NE(b[1], 3.0 / 10.0);          // which rounds differently from the quotient here
}

// Rows 0 and 1 are equal, so column 1 is zero below the diagonal after the first step.
// Dividing by that zero pivot would make everything below it NaN; skipping it gives 0.
TEST(Determinant, ZeroPivotOfEitherSignIsSkipped) {
  std::vector<double> a = {1, 1, 0.5, 0, 1, 1, 0.5, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_EQ(determinant(a, 4), 0.0);
  EXPECT_EQ(lu_decompose(a.data(), 4), 0u);
  EXPECT_EQ(a[2 + 2 * 4], 1.0);
  std::vector<double> negative_zero = {-0.0, 0.0, 1.0, 1.0};
  lu_decompose(negative_zero.data(), 2);
  EXPECT_EQ(negative_zero[3], 1.0);
}

std::vector<double> random_matrix(std::size_t d, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> a(d * d);
  for (double& x : a) x = u(gen);
  return a;
}

// The factorisation written as one plain loop nest: column by column, row by row.
std::size_t literal_lu(std::vector<double>& a, std::size_t d) {
  std::size_t exchanges = 0;
  for (std::size_t i = 0; i < d; ++i) {
    std::size_t p = i;
    for (std::size_t r = i + 1; r < d; ++r)
      if (std::fabs(a[r + i * d]) > std::fabs(a[p + i * d])) p = r;
    const double v = a[p + i * d];
    if (v == 0.0) continue;
    if (p != i) ++exchanges;
    for (std::size_t c = 0; p != i && c < d; ++c) std::swap(a[i + c * d], a[p + c * d]);
    const double q = 1.0 / v;
    for (std::size_t r = i + 1; r < d; ++r) a[r + i * d] = a[r + i * d] * q;
    for (std::size_t k = i + 1; k < d; ++k)
      for (std::size_t r = i + 1; r < d; ++r)
        a[r + k * d] = a[r + k * d] - a[r + i * d] * a[i + k * d];
  }
  return exchanges;
}

// Large enough that each elimination step is split into ranges of columns.
TEST(Determinant, LuSplitOverThreadsGivesTheLiteralBits) {
  std::vector<double> want = random_matrix(300, 5);
  const std::size_t want_exchanges = literal_lu(want, 300);
  for (std::size_t threads : {1u, 2u, 3u, 8u}) {
    std::vector<double> got = random_matrix(300, 5);
    const vorn::Executor executor(threads, vorn::CancelHook{});
    EXPECT_EQ(lu_decompose(got.data(), 300, executor), want_exchanges);
    EXPECT_TRUE(
        std::equal(got.begin(), got.end(), want.begin(),
                   [](double x, double y) { return vorn_test::bits(x) == vorn_test::bits(y); }))
        << threads << " threads";
  }
}

TEST(Determinant, FactorisationStopsWhenAsked) {
  for (std::size_t threads : {1u, 2u}) {
    const vorn::Executor executor(threads, vorn::CancelHook{[](void*) { return true; }, nullptr});
    std::this_thread::sleep_for(2 * vorn::Executor::kPollPeriod);  // the hook is asked from now on
    std::vector<double> a = random_matrix(400, 6);
    EXPECT_TRUE(
        vorn_test::panic_of([&] { lu_decompose(a.data(), 400, executor); }).is_interrupted());
  }
}

// Where the plain product stays normal, the scaled one is the same value; where it underflows,
// the logarithm stays finite; zeros and NaN pivots combine as in the plain product.
TEST(Determinant, LogOfTheSameFactorisation) {
  for (std::size_t d : {1u, 2u, 3u, 5u, 40u}) {
    const std::vector<double> a = random_matrix(d, unsigned(d));
    EXPECT_EQ(vorn_test::bits(vorn::log_abs_determinant(a, d)),
              vorn_test::bits(vorn::natural_log(determinant(a, d))))
        << "d=" << d;
  }
  const std::size_t d = 300;
  std::vector<double> diagonal(d * d, 0.0);
  double want = 0.0;
  for (std::size_t i = 0; i < d; ++i) {
    diagonal[i * (d + 1)] = 1e-3 * (1.0 + double(i) / 7.0);
    want += std::log(diagonal[i * (d + 1)]);
  }
  EXPECT_EQ(determinant(diagonal, d), 0.0);
  EXPECT_NEAR(vorn::log_abs_determinant(diagonal, d), want, 1e-12 * std::fabs(want));
  diagonal[5 * (d + 1)] = 0.0;
  EXPECT_EQ(vorn::log_abs_determinant(diagonal, d), -std::numeric_limits<double>::infinity());
  diagonal[9 * (d + 1)] = std::numeric_limits<double>::infinity();  // 0 * inf
  EXPECT_TRUE(std::isnan(vorn::log_abs_determinant(diagonal, d)));
}

// Not the C library's bits, which differ between platforms, but within two units in the last
// place of them, across the reduced range's edges, near 1, at powers of two and subnormals.
TEST(NaturalLog, CloseToTheCLibraryAndExactAtTheEnds) {
  std::vector<double> xs = {1.0,
                            2.0,
                            0.5,
                            0x1.6a09e667f3bcdp-1,
                            0x1.6a09e667f3bccp-1,
                            std::nextafter(1.0, 2.0),
                            std::nextafter(1.0, 0.0),
                            1e-310,
                            std::numeric_limits<double>::denorm_min(),
                            1e300,
                            0.1,
                            3.0};
  std::mt19937_64 gen(8);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int k = 0; k < 20000; ++k) xs.push_back(std::ldexp(0.5 + u(gen), int(k % 2000) - 1000));
  for (double x : xs) {
    const double want = std::log(x), got = vorn::natural_log(x);
    EXPECT_LE(std::fabs(got - want), 2 * (std::nextafter(std::fabs(want), 1e308) - std::fabs(want)))
        << std::hexfloat << x;
  }
  EXPECT_EQ(vorn::natural_log(1.0), 0.0);
  EXPECT_EQ(vorn::natural_log(-0.0), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(vorn::natural_log(std::numeric_limits<double>::infinity()),
            std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(vorn::natural_log(std::nan(""))));
  // A scale beyond any double: 0.75 * 2^-5000.
  EXPECT_NEAR(vorn::natural_log(0.75, -5000), std::log(0.75) - 5000 * std::log(2.0), 1e-12);
}

TEST(SizeCovdet, OnePointHasNoSampleCovariance) {
  EXPECT_EQ(vorn::size_covdet(vorn_test::make(3, {-2.5, 0.75, 1e3})), 0.0);
}

TEST(SizeCovdet, LogVolumeIsTheLogarithmOfTheVolume) {
  EXPECT_EQ(vorn::size_covdet_log(vorn_test::make(3, {1, 2, 3})),
            -std::numeric_limits<double>::infinity());
  const vorn::PointSet two = vorn_test::make(1, {0, 2});
  EXPECT_EQ(vorn::size_covdet_log(two), vorn::natural_log(2.0 + 1e-8) * 0.5);
  vorn::PointSet p(50, 7);
  for (std::size_t e = 0; e < p.coords.size(); ++e) p.coords[e] = std::sin(double(e));
  EXPECT_NEAR(vorn::size_covdet_log(p), std::log(vorn::size_covdet(p)), 1e-13);
}

// Every thread count gives the bits of the literal pair-order sum. Below eight dimensions the
// total takes stretches of rows as integer sums on its binade's grid: random points cross many
// binades (d = 3, with repeated points and points one ulp apart), and points on a grid of 2^-20
// make many distances fall halfway between the total's grid points (d = 1: ties to even).
// From eight dimensions on, tiles of 2 x 2 pairs with and without a tail of coordinates,
// across steps of rows and pieces of columns, with an odd number of rows in the last step.
TEST(SizeDispersion, LiteralPairOrderOnEveryThreadCount) {
  for (std::size_t d : {1u, 3u, 8u, 9u, 23u}) {
    const std::size_t n = 700;
    vorn::PointSet p(n, d);
    std::mt19937_64 gen(d);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < d; ++j)
        p[i][j] = d == 1       ? std::ldexp(double(gen() >> 24), -20)
                  : i % 5 == 1 ? p[i - 1][j]
                  : i % 5 == 2 ? std::nextafter(p[i - 1][j], 2.0)
                               : u(gen);
    double total = 0.0;
    for (std::size_t i = 0; i + 1 < n; ++i)
      for (std::size_t j = i + 1; j < n; ++j) total = total + vorn::point_distance(p[i], p[j], d);
    const double want = total / double(n * (n - 1) / 2);
    for (std::size_t threads : {1u, 2u, 3u, 8u}) {
      vorn::Executor executor(threads, vorn::CancelHook{});
      const double got = vorn::size_dispersion(p, executor);
      EXPECT_EQ(vorn_test::bits(got), vorn_test::bits(want)) << "d=" << d << " threads=" << threads;
    }
  }
}

}  // namespace
