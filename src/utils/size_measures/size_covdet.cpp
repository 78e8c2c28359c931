// Covariance-determinant volume: sqrt |det(sample covariance + 1e-8 I)| of a point set.
// Mean, scatter, division by n - 1, ridge and determinant each round in the order written: results
// are compared bit for bit.
#include "utils/size_measures/size_covdet.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "base/fixed_dimension.h"
#include "utils/size_measures/centred_scatter.h"
#include "utils/size_measures/determinant.h"

namespace vorn {

namespace {

constexpr std::size_t kPollPoints = std::size_t(1) << 16;  // points between two polls

// s: set to the sums of the D coordinates over the n points of rows, each in point order
// (D = 0: d). Rows of floats are widened as they are read.
template <std::size_t D, class T>
void coordinate_sums(const T* rows, std::size_t n, std::size_t d, double* s,
                     const Executor& executor) {
  if (D) d = D;
  for (std::size_t j = 0; j < d; ++j) s[j] = 0.0;
  for (std::size_t k0 = 0; k0 < n; k0 += kPollPoints) {
    executor.poll();
    const std::size_t k1 = std::min(n, k0 + kPollPoints);
    const T* p = rows + k0 * d;
    for (std::size_t k = k0; k < k1; ++k, p += d)
      for (std::size_t j = 0; j < d; ++j) s[j] = s[j] + p[j];
  }
}

// Each coordinate's sum runs in point order, then one division by n (not a product with 1/n).
// One thread: the pass is bound by memory bandwidth, which a second thread here does not add to.
std::vector<double> point_mean(const PointSet& points, const Executor& executor) {
  const std::size_t d = points.d;
  std::vector<double> m(d);
  with_rows(points, [&](auto rows) {
    with_dimension<2, 3>(
        d, [&](auto dim) { coordinate_sums<dim>(rows, points.n, d, m.data(), executor); });
  });
  const double n = static_cast<double>(points.n);
  for (std::size_t j = 0; j < d; ++j) m[j] = m[j] / n;
  return m;
}

// R = S / (n - 1) + 1e-8 I, column by column, polling between blocks of columns.
std::vector<double> ridged_covariance(const PointSet& points, const Executor& executor) {
  const std::size_t d = points.d;
  const std::vector<double> mean = point_mean(points, executor);
  std::vector<double> r = centred_scatter(points, mean.data(), executor);
  // n - 1 as n plus -1.0 in double; the ridge is the identity scaled by 1e-8, so the
  // off-diagonal entries gain +0.0.
  const double divisor = static_cast<double>(points.n) + -1.0;
  const auto ridge_columns = [&](std::size_t c0, std::size_t c1) {
    for (std::size_t c = c0; c < c1; ++c)
      for (std::size_t row = 0; row < d; ++row) {
        const double ridge = (row == c ? 1.0 : 0.0) * 1e-8;
        r[row + c * d] = r[row + c * d] / divisor + ridge;
      }
  };
  executor.for_each_block(d, std::max<std::size_t>(1, kPollPoints / d), ridge_columns);
  return r;
}

}  // namespace

double size_covdet(const PointSet& points, const Executor& executor) {
  if (points.n < 2) return 0.0;
  return std::sqrt(std::fabs(determinant(ridged_covariance(points, executor), points.d, executor)));
}

double size_covdet_log(const PointSet& points, const Executor& executor) {
  if (points.n < 2) return -std::numeric_limits<double>::infinity();
  // ln sqrt|D| = ln|D| / 2: the halving is exact.
  return 0.5 * log_abs_determinant(ridged_covariance(points, executor), points.d, executor);
}

}  // namespace vorn
