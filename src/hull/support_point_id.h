// The point of a cloud that lies farthest along a direction: the support point.
// The first strictly greater dot product wins, starting from the most negative finite float: ties
// keep the earlier candidate.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "hull/float_types.h"

namespace vorn {

// direction: the search direction; points: the cloud (n points).
// Scans all points in index order and returns the index of the first point whose
// dot(direction, point) is strictly greater than every earlier one and than -3.4028235e38.
// Returns nothing when no dot product exceeds that start (empty cloud, NaN or -inf products).
// Never fails.
std::optional<std::size_t> support_point_id(Vec2f direction, const std::vector<Vec2f>& points);
std::optional<std::size_t> support_point_id(Vec3f direction, const std::vector<Vec3f>& points);

// As above, but over the indices of `candidates` in their list order; each must be below
// points.size(). The result is a point index (an element of `candidates`), not a list position.
std::optional<std::size_t> support_point_id(Vec2f direction, const std::vector<Vec2f>& points,
                                            const std::vector<std::size_t>& candidates);
std::optional<std::size_t> support_point_id(Vec3f direction, const std::vector<Vec3f>& points,
                                            const std::vector<std::size_t>& candidates);

}  // namespace vorn
