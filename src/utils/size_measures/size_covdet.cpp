// Covariance-determinant volume: sqrt |det(sample covariance + 1e-8 I)| of a point set.
// Mean, scatter, division by n - 1, ridge and determinant each round in the order written: results are compared bit for bit.
#include "utils/size_measures/size_covdet.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "utils/size_measures/centred_scatter.h"
#include "utils/size_measures/determinant.h"

namespace vorn {

namespace {

constexpr std::size_t kPollPoints = std::size_t(1) << 16;  // points between two polls
constexpr std::size_t kGroup = 8;  // coordinates summed by one range: one cache line's worth

// s: set to the sums of coordinates j0 .. j1 - 1 over the points, each in point order.
// W: their count when known at compile time, else 0.
template <std::size_t W>
void coordinate_sums(const PointSet& points, std::size_t j0, std::size_t j1, double* s,
    const Executor& executor) {
  const std::size_t w = W ? W : j1 - j0;
  for (std::size_t j = 0; j < w; ++j) s[j] = 0.0;
  for (std::size_t k0 = 0; k0 < points.n; k0 += kPollPoints) {
    executor.poll();
    const std::size_t k1 = std::min(points.n, k0 + kPollPoints);
    const double* p = points[k0] + j0;
    for (std::size_t k = k0; k < k1; ++k, p += points.d)
      for (std::size_t j = 0; j < w; ++j) s[j] = s[j] + p[j];
  }
}

// Each coordinate's sum runs in point order, then one division by n (not a product with 1/n).
// Coordinates are independent: beyond five, each thread sums its own slice of every row.
std::vector<double> point_mean(const PointSet& points, const Executor& executor) {
  const std::size_t d = points.d;
  std::vector<double> m(d);
  switch (d) {
    case 1: coordinate_sums<1>(points, 0, 1, m.data(), executor); break;
    case 2: coordinate_sums<2>(points, 0, 2, m.data(), executor); break;
    case 3: coordinate_sums<3>(points, 0, 3, m.data(), executor); break;
    case 4: coordinate_sums<4>(points, 0, 4, m.data(), executor); break;
    case 5: coordinate_sums<5>(points, 0, 5, m.data(), executor); break;
    default: {
      // Slices are whole cache lines' worth of coordinates, each summed in its own buffer so
      // that no two threads write one line.
      const std::size_t groups = (d + kGroup - 1) / kGroup;
      const std::size_t slices = std::min(groups, executor.threads());
      const auto edge = [&](std::size_t c) { return std::min(d, c * groups / slices * kGroup); };
      executor.for_ranges(slices, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t c = begin; c < end; ++c) {
          std::vector<double> s(edge(c + 1) - edge(c));
          coordinate_sums<0>(points, edge(c), edge(c + 1), s.data(), executor);
          std::copy(s.begin(), s.end(), m.begin() + edge(c));
        }
      });
    }
  }
  const double n = static_cast<double>(points.n);
  for (std::size_t j = 0; j < d; ++j) m[j] = m[j] / n;
  return m;
}

}  // namespace

double size_covdet(const PointSet& points,
    const Executor& executor) {
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
