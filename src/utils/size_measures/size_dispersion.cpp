// Mean Euclidean distance over all unordered pairs of points.
// The total is summed pair by pair in (i, j > i) order: results are compared bit for bit.
#include "utils/size_measures/size_dispersion.h"

#include <algorithm>
#include <vector>

#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

// Distances from row i to rows j = i + 1 .. n - 1, computed a row at a time so that the
// square roots can run side by side; only the running total below is order-sensitive.
template <std::size_t D>
void distances_from(const PointSet& points, std::size_t i, std::size_t dim, double* out) {
  const std::size_t d = D ? D : dim;
  const double* a = points[i];
  for (std::size_t j = i + 1; j < points.n; ++j) {
    out[j - i - 1] = point_distance(a, points.coords.data() + j * d, d);
  }
}

}  // namespace

double size_dispersion(const PointSet& points) {
  const std::size_t n = points.n;
  if (n < 2) return 0.0;
  const std::size_t d = points.d;
  std::vector<double> row(n - 1);
  double total = 0.0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    switch (d) {
      case 2: distances_from<2>(points, i, d, row.data()); break;
      case 3: distances_from<3>(points, i, d, row.data()); break;
      default: distances_from<0>(points, i, d, row.data()); break;
    }
    const std::size_t count = n - i - 1;
    for (std::size_t k = 0; k < count; ++k) total = total + row[k];
  }
  // n(n - 1)/2 exactly, halving the even factor first so that it cannot overflow.
  const std::uint64_t pairs = (n % 2 == 0) ? std::uint64_t(n / 2) * (n - 1)
                                           : std::uint64_t(n) * ((n - 1) / 2);
  return total / static_cast<double>(pairs);
}

}  // namespace vorn
