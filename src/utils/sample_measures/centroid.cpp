// The centroid of a point set and the point nearest to a position: every centroid sampler's start.
// Sums run in point order and distances are compared after the square root, ties to the lower index.
#include "utils/sample_measures/centroid.h"

#include <cmath>

#include "utils/panic.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

std::vector<double> compute_centroid(const PointSet& points) {
  const std::size_t d = points.d;
  std::vector<double> sum(d, 0.0);
  for (std::size_t i = 0; i < points.n; ++i) {
    const double* p = points[i];
    for (std::size_t j = 0; j < d; ++j) sum[j] = sum[j] + p[j];
  }
  // A division by n, not a multiplication by its reciprocal.
  const double count = static_cast<double>(points.n);
  for (std::size_t j = 0; j < d; ++j) sum[j] = sum[j] / count;
  return sum;
}

std::uint64_t find_closest_point(const PointSet& points, const double* position) {
  const std::size_t n = points.n;
  if (n == 1) return 0;
  const std::size_t d = points.d;
  std::uint64_t best = 0;
  double best_distance = point_distance(points[0], position, d);
  for (std::size_t i = 1; i < n; ++i) {
    const double candidate = point_distance(points[i], position, d);
    if (std::isnan(best_distance) || std::isnan(candidate)) {
      throw Panic("called `Option::unwrap()` on a `None` value");
    }
    // Square-rooted distances: squared sums that round to one root are a tie, kept by the lower index.
    if (best_distance > candidate) {
      best = i;
      best_distance = candidate;
    }
  }
  return best;
}

std::uint64_t nearest_to_centroid(const PointSet& points) {
  const std::vector<double> centroid = compute_centroid(points);
  return find_closest_point(points, centroid.data());
}

}  // namespace vorn
