// The medoid of every point and the total distance of a k-medoids selection.
// Ties go to the lowest position; the total is summed in point order, as the search sums it.
#include "utils/sample_measures/medoid_labels.h"

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/sample_centroid_kmedoids.h"

namespace vorn {

namespace {

// Points per parallel range: each point's nearest medoid is its own output.
constexpr std::size_t kGrain = 256;

}  // namespace

MedoidLabels label_medoids(const PointSet& points, Indices medoids, const Executor& executor) {
  const std::size_t n = points.n, t = medoids.size();
  MedoidLabels out{std::move(medoids), std::vector<std::int64_t>(n, t == 0 ? -1 : 0), 0.0};
  std::vector<double> nearest(n, std::numeric_limits<double>::infinity());
  executor.for_ranges(n, kGrain, [&](std::size_t begin, std::size_t end) {
    std::vector<double> medoid(points.d);
    double sums[kGrain];
    for (std::size_t q = 0; q < t; ++q) {
      // The points' rows are read in place, the medoid's widened once: the distances are
      // point_distance's to the bit.
      row_squared_sums(points, begin, end - begin,
                       row_as_doubles(points, out.medoids[q], medoid.data()), sums);
      for (std::size_t i = begin; i < end; ++i) {
        const double v = std::sqrt(sums[i - begin]);
        // Strictly less: an equal distance keeps the earlier position, and NaN never wins.
        if (v < nearest[i]) {
          nearest[i] = v;
          out.labels[i] = static_cast<std::int64_t>(q);
        }
      }
    }
  });
  for (std::size_t i = 0; i < n; ++i) out.cost = out.cost + nearest[i];  // in point order
  return out;
}

MedoidLabels sample_centroid_kmedoids_labelled(const PointSet& points, std::uint64_t count,
                                               std::uint64_t seed, std::uint64_t max_iterations,
                                               const Executor& executor) {
  return label_medoids(
      points, sample_centroid_kmedoids(points, count, seed, max_iterations, executor), executor);
}

}  // namespace vorn
