// Convex hull of a planar single-precision cloud by incremental quickhull, as vertex indices.
// Points count as outside an edge only beyond 1.1920929e-05 in the caller's units; visit and tie
// orders fix the result.
#include "hull/convex_hull2.h"

#include <cmath>
#include <optional>
#include <utility>

#include "base/panic.h"
#include "hull/support_point_id.h"
#include "hull/tolerances.h"

namespace vorn {

namespace {

const char kAllAtOnePosition[] = "Failed to build the 2d convex hull of this point cloud.";

// One edge of the hull under construction; edges live in a growing list and link by position.
struct SegmentFacet {
  std::size_t start, end;
  Vec2f normal;
  std::size_t prev, next;
  bool valid;
  std::vector<std::size_t> visible;  // points outside this edge, in order of assignment
};

SegmentFacet new_segment(const std::vector<Vec2f>& points, std::size_t a, std::size_t b,
                         std::size_t prev, std::size_t next) {
  const Vec2f e = points[b] - points[a];
  const Vec2f n{e.y, -e.x};
  const float r = std::sqrt(n.x * n.x + n.y * n.y);
  // A zero-length edge keeps its NaN normal but never counts as live.
  return {a, b, Vec2f{n.x / r, n.y / r}, prev, next, r != 0.0f, {}};
}

// Signed distance from the edge's line, difference first: the order fixes the bits near the
// threshold.
bool sees(const SegmentFacet& s, const std::vector<Vec2f>& points, std::size_t k) {
  const float threshold = visibility_distance();
  const Vec2f& o = points[s.start];
  return (points[k].x - o.x) * s.normal.x + (points[k].y - o.y) * s.normal.y > threshold;
}

// The rightmost point, then the support point of the first of three directions that lands at
// another position (the last direction's when none does).
std::pair<std::size_t, std::size_t> start_points(const std::vector<Vec2f>& points) {
  const std::optional<std::size_t> p1 = support_point_id(Vec2f{1.0f, 0.0f}, points);
  std::optional<std::size_t> p2;
  for (const Vec2f dir : {Vec2f{-1.0f, -0.0f}, Vec2f{-0.0f, -1.0f}, Vec2f{0.0f, 1.0f}}) {
    p2 = support_point_id(dir, points);
    if (!p1 || !p2) break;
    const float dx = points[*p2].x - points[*p1].x;
    const float dy = points[*p2].y - points[*p1].y;
    if (dx * dx + dy * dy != 0.0f) break;
  }
  // No support point at all only happens for NaN clouds; they fail like the one-position cloud.
  if (!p1 || !p2 || *p1 == *p2) throw Panic(kAllAtOnePosition);
  return {*p1, *p2};
}

// Point k goes to the first of s1 and s2 that sees it; false when neither does.
bool assign(SegmentFacet& s1, SegmentFacet& s2, const std::vector<Vec2f>& points, std::size_t k) {
  if (sees(s1, points, k)) {
    s1.visible.push_back(k);
  } else if (sees(s2, points, k)) {
    s2.visible.push_back(k);
  } else {
    return false;
  }
  return true;
}

// Replaces segment i by the two segments through its farthest outside point p, hands its
// outside points on to them, and lets them take the undecidable points they see.
void split_segment(std::vector<SegmentFacet>& segments, std::size_t i, std::size_t p,
                   const std::vector<Vec2f>& points, std::vector<std::size_t>& undecidable) {
  segments[i].valid = false;
  const std::size_t pr = segments[i].prev, nx = segments[i].next;
  const std::size_t f1 = segments.size(), f2 = segments.size() + 1;
  SegmentFacet s1 = new_segment(points, segments[pr].end, p, pr, f2);
  SegmentFacet s2 = new_segment(points, p, segments[nx].start, f1, nx);
  segments[pr].next = f1;
  segments[nx].prev = f2;
  for (std::size_t k : segments[i].visible) {
    if (k != p) assign(s1, s2, points, k);  // a point neither sees is inside the hull now
  }
  // Undecidable points leave by swap-removal, which reorders the list: keep it that way.
  for (std::size_t j = 0; j < undecidable.size();) {
    if (!assign(s1, s2, points, undecidable[j])) {
      ++j;
      continue;
    }
    undecidable[j] = undecidable.back();
    undecidable.pop_back();
  }
  segments.push_back(std::move(s1));
  segments.push_back(std::move(s2));
}

// The start of every valid segment, walking the loop from the lowest-positioned one.
std::vector<std::size_t> loop_vertices(const std::vector<SegmentFacet>& segments) {
  std::vector<std::size_t> result;
  std::size_t first = 0;
  while (first < segments.size() && !segments[first].valid) ++first;
  if (first == segments.size()) return result;  // every edge has zero length (underflow, NaN)
  std::size_t cur = first;
  do {
    // Zero-length edges stay linked in the loop but contribute no vertex.
    if (segments[cur].valid) result.push_back(segments[cur].start);
    cur = segments[cur].next;
  } while (cur != first);
  return result;
}

}  // namespace

std::vector<std::size_t> convex_hull2_idx(const std::vector<Vec2f>& points,
                                          const Executor& executor) {
  if (points.size() < 2) throw Panic("assertion failed: points.len() >= 2");
  const auto [p1, p2] = start_points(points);
  std::vector<SegmentFacet> segments;
  segments.push_back(new_segment(points, p1, p2, 1, 1));
  segments.push_back(new_segment(points, p2, p1, 0, 0));

  std::vector<std::size_t> undecidable;
  for (std::size_t k = 0; k < points.size(); ++k) {
    if (k != p1 && k != p2 && !assign(segments[0], segments[1], points, k)) {
      undecidable.push_back(k);
    }
  }
  for (std::size_t i = 0; i < segments.size(); ++i) {
    executor.poll();
    if (!segments[i].valid || segments[i].visible.empty()) continue;
    const std::optional<std::size_t> p =
        support_point_id(segments[i].normal, points, segments[i].visible);
    if (p) split_segment(segments, i, *p, points, undecidable);
  }
  return loop_vertices(segments);
}

}  // namespace vorn
