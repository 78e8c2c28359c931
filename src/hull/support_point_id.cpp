// The point of a cloud that lies farthest along a direction: the support point.
// The first strictly greater dot product wins, starting from the most negative finite float: ties
// keep the earlier candidate.
#include "hull/support_point_id.h"

namespace vorn {

namespace {

template <class V>
std::optional<std::size_t> support_all(V direction, const std::vector<V>& points) {
  std::optional<std::size_t> best;
  float best_dot = lowest_float();
  for (std::size_t i = 0; i < points.size(); ++i) {
    const float d = dot(direction, points[i]);
    if (d > best_dot) {  // strictly greater: ties and NaN keep the earlier choice
      best_dot = d;
      best = i;
    }
  }
  return best;
}

template <class V>
std::optional<std::size_t> support_among(V direction, const std::vector<V>& points,
                                         const std::vector<std::size_t>& candidates) {
  std::optional<std::size_t> best;
  float best_dot = lowest_float();
  for (std::size_t i : candidates) {
    const float d = dot(direction, points[i]);
    if (d > best_dot) {
      best_dot = d;
      best = i;
    }
  }
  return best;
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
