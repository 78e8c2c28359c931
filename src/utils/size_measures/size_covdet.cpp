// Covariance-determinant volume: sqrt |det(sample covariance + 1e-8 I)| of a point set.
// Mean, scatter, division by n - 1, ridge and determinant each round in the order written: results
// are compared bit for bit.
#include "utils/size_measures/size_covdet.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "utils/size_measures/centred_scatter.h"
#include "utils/size_measures/determinant.h"

namespace vorn {

namespace {

constexpr std::size_t kPollPoints = std::size_t(1) << 16;  // points between two polls

// s: set to the sums of the D coordinates over the points, each in point order (D = 0: d).
template <std::size_t D>
void coordinate_sums(const PointSet& points, double* s, const Executor& executor) {
  const std::size_t d = D ? D : points.d;
  for (std::size_t j = 0; j < d; ++j) s[j] = 0.0;
  for (std::size_t k0 = 0; k0 < points.n; k0 += kPollPoints) {
    executor.poll();
    const std::size_t k1 = std::min(points.n, k0 + kPollPoints);
    const double* p = points[k0];
    for (std::size_t k = k0; k < k1; ++k, p += d)
      for (std::size_t j = 0; j < d; ++j) s[j] = s[j] + p[j];
  }
}

// Each coordinate's sum runs in point order, then one division by n (not a product with 1/n).
// One thread: the pass is bound by memory bandwidth, which a second thread here does not add to.
std::vector<double> point_mean(const PointSet& points, const Executor& executor) {
  const std::size_t d = points.d;
  std::vector<double> m(d);
  switch (d) {
    case 2: coordinate_sums<2>(points, m.data(), executor); break;
    case 3: coordinate_sums<3>(points, m.data(), executor); break;
    default: coordinate_sums<0>(points, m.data(), executor); break;
  }
  const double n = static_cast<double>(points.n);
  for (std::size_t j = 0; j < d; ++j) m[j] = m[j] / n;
  return m;
}

}  // namespace

double size_covdet(const PointSet& points, const Executor& executor) {
  if (points.n < 2) return 0.0;
  const std::size_t d = points.d;
  const std::vector<double> mean = point_mean(points, executor);
  std::vector<double> r = centred_scatter(points, mean.data(), executor);
  // n - 1 as n plus -1.0 in double; the ridge is the identity scaled by 1e-8, so the
  // off-diagonal entries gain +0.0.
  const double divisor = static_cast<double>(points.n) + -1.0;
  for (std::size_t c = 0; c < d; ++c)
    for (std::size_t row = 0; row < d; ++row) {
      const double ridge = (row == c ? 1.0 : 0.0) * 1e-8;
      r[row + c * d] = r[row + c * d] / divisor + ridge;
    }
  return std::sqrt(std::fabs(determinant(r, d)));
}

}  // namespace vorn
