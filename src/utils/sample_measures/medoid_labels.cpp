// The medoid of every point and the total distance of a k-medoids selection.
// Ties go to the lowest position; the total is summed in point order, as the search sums it.
#include "utils/sample_measures/medoid_labels.h"

#include <limits>
#include <utility>

#include "utils/sample_measures/sample_centroid_kmedoids.h"
#include "utils/size_measures/point_distance.h"

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
    for (std::size_t i = begin; i < end; ++i) {
      for (std::size_t q = 0; q < t; ++q) {
        const double v = point_distance(points[i], points[out.medoids[q]], points.d);
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
  if (points.is_float32())
    return sample_centroid_kmedoids_labelled(widened(points), count, seed, max_iterations,
                                             executor);
  return label_medoids(
      points, sample_centroid_kmedoids(points, count, seed, max_iterations, executor), executor);
}

}  // namespace vorn
