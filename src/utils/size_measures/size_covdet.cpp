// Covariance-determinant volume: sqrt |det(sample covariance + 1e-8 I)| of a point set.
// Mean, scatter, division by n - 1, ridge and determinant each round in the order written: results are compared bit for bit.
#include "utils/size_measures/size_covdet.h"

#include <cmath>
#include <vector>

#include "utils/size_measures/centred_scatter.h"
#include "utils/size_measures/determinant.h"

namespace vorn {

namespace {

// Each coordinate's sum runs in point order, then one division by n (not a product with 1/n).
template <std::size_t D>
std::vector<double> point_mean(const PointSet& points, std::size_t dim) {
  const std::size_t d = D ? D : dim;
  std::vector<double> m(d, 0.0);
  double* mp = m.data();
  const double* p = points.coords.data();
  for (std::size_t k = 0; k < points.n; ++k, p += d)
    for (std::size_t j = 0; j < d; ++j) mp[j] = mp[j] + p[j];
  const double n = static_cast<double>(points.n);
  for (std::size_t j = 0; j < d; ++j) mp[j] = mp[j] / n;
  return m;
}

}  // namespace

double size_covdet(const PointSet& points,
    const Executor& /*executor*/) {
  if (points.n < 2) return 0.0;
  const std::size_t d = points.d;
  std::vector<double> mean;
  switch (d) {
    case 2: mean = point_mean<2>(points, d); break;
    case 3: mean = point_mean<3>(points, d); break;
    default: mean = point_mean<0>(points, d); break;
  }
  std::vector<double> r = centred_scatter(points, mean.data());
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
