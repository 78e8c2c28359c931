// The medoid of every point and the total distance of a k-medoids selection.
// Ties go to the lowest position; the total is summed in point order, as the search sums it.
#pragma once

#include <cstdint>
#include <vector>

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

struct MedoidLabels {
  Indices medoids;                   // the selection, in position order
  std::vector<std::int64_t> labels;  // per point: the position of its nearest medoid, or -1
  double cost = 0.0;                 // the sum of every point's distance to that medoid
};

// points: n x d; medoids: t indices below n. Point i's label is the lowest position q whose
// point_distance(point i, point medoids[q]) is smallest (a NaN distance is passed over; 0 when
// all are NaN or +inf, -1 when t = 0). cost: those smallest distances summed over i = 0 .. n - 1
// in that order from 0.0 (+inf for a point without one): compute_total_distance to the bit.
// Never fails.
MedoidLabels label_medoids(const PointSet& points, Indices medoids,
                           const Executor& executor = Executor());

// sample_centroid_kmedoids, with the labels and cost of its result. Fails as it does.
MedoidLabels sample_centroid_kmedoids_labelled(const PointSet& points, std::uint64_t count,
                                               std::uint64_t seed, std::uint64_t max_iterations,
                                               const Executor& executor = Executor());

}  // namespace vorn
