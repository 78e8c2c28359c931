// Mean Euclidean distance over all unordered pairs of points.
// The total is summed pair by pair in (i, j > i) order: results are compared bit for bit.
#include "utils/size_measures/size_dispersion.h"

#include <cmath>
#include <vector>

#include "utils/simd_clones.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

// Total over pairs (i, j > i) for d < 8, with the coordinates held column by column so that
// the distances of consecutive j run side by side in vector lanes. Each lane rounds exactly
// as point_distance does; the total itself is still added one pair at a time, in order.
template <std::size_t D>
inline double columns_total(const double* columns, std::size_t n) {
  double total = 0.0;
  double a[D];
  for (std::size_t i = 0; i + 1 < n; ++i) {
    for (std::size_t k = 0; k < D; ++k) a[k] = columns[k * n + i];
    for (std::size_t j = i + 1; j < n; ++j) {
      double r = 0.0;
      for (std::size_t k = 0; k < D; ++k) {
        const double v = a[k] - columns[k * n + j];
        r = r + v * v;
      }
      total = total + std::sqrt(r);
    }
  }
  return total;
}

VORN_SIMD_CLONES
double columns_total_dispatch(const double* columns, std::size_t n, std::size_t d) {
  switch (d) {
    case 1: return columns_total<1>(columns, n);
    case 2: return columns_total<2>(columns, n);
    case 3: return columns_total<3>(columns, n);
    case 4: return columns_total<4>(columns, n);
    case 5: return columns_total<5>(columns, n);
    case 6: return columns_total<6>(columns, n);
    default: return columns_total<7>(columns, n);
  }
}

double rows_total(const PointSet& points) {
  double total = 0.0;
  for (std::size_t i = 0; i + 1 < points.n; ++i) {
    for (std::size_t j = i + 1; j < points.n; ++j) {
      total = total + point_distance(points[i], points[j], points.d);
    }
  }
  return total;
}

}  // namespace

double size_dispersion(const PointSet& points,
    const Executor& /*executor*/) {
  const std::size_t n = points.n;
  if (n < 2) return 0.0;
  const std::size_t d = points.d;
  double total;
  if (d < 8) {
    std::vector<double> columns(n * d);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t k = 0; k < d; ++k) columns[k * n + i] = points[i][k];
    }
    total = columns_total_dispatch(columns.data(), n, d);
  } else {
    total = rows_total(points);
  }
  // n(n - 1)/2 exactly, halving the even factor first so that it cannot overflow.
  const std::uint64_t pairs = (n % 2 == 0) ? std::uint64_t(n / 2) * (n - 1)
                                           : std::uint64_t(n) * ((n - 1) / 2);
  return total / static_cast<double>(pairs);
}

}  // namespace vorn
