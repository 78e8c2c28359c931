// The point of a cloud that lies farthest along a direction: the support point.
// The first strictly greater dot product wins, starting from the most negative finite float: ties
// keep the earlier candidate.
#include "hull/support_point_id.h"

#include "hull/first_argmax.h"

namespace vorn {

namespace {

template <class V>
std::optional<std::size_t> support_all(V direction, const std::vector<V>& points) {
  return first_argmax(points.size(), lowest_float(),
                      [&](std::size_t i) { return dot(direction, points[i]); });
}

template <class V>
std::optional<std::size_t> support_among(V direction, const std::vector<V>& points,
                                         const std::vector<std::size_t>& candidates) {
  const std::optional<std::size_t> at =
      first_argmax(candidates.size(), lowest_float(),
                   [&](std::size_t j) { return dot(direction, points[candidates[j]]); });
  if (!at) return std::nullopt;
  return candidates[*at];
}

}  // namespace

std::optional<std::size_t> support_point_id(Vec2f direction, const std::vector<Vec2f>& points) {
  return support_all(direction, points);
}

std::optional<std::size_t> support_point_id(Vec3f direction, const std::vector<Vec3f>& points) {
  return support_all(direction, points);
}

std::optional<std::size_t> support_point_id(Vec2f direction, const std::vector<Vec2f>& points,
                                            const std::vector<std::size_t>& candidates) {
  return support_among(direction, points, candidates);
}

std::optional<std::size_t> support_point_id(Vec3f direction, const std::vector<Vec3f>& points,
                                            const std::vector<std::size_t>& candidates) {
  return support_among(direction, points, candidates);
}

}  // namespace vorn
