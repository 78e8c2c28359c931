// Area of the exact convex hull of a planar single-precision cloud: monotone chain with exact
// orientation signs. Every turn is decided exactly, so the hull is the true hull of the float
// points; only the final area is rounded.
#include "hull/robust_hull2_area.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "hull/exact_orient.h"
#include "hull/shoelace.h"
#include "hull/tolerances.h"

namespace vorn {

namespace {

using Point2 = Vec2d;

// Pops the chain's last vertex while it does not turn strictly left towards p: collinear
// vertices leave the hull.
void push_convex(std::vector<Point2>& chain, std::size_t floor, const Point2& p) {
  while (chain.size() >= floor + 2 &&
         orient2d(chain[chain.size() - 2].data(), chain.back().data(), p.data()) <= 0) {
    chain.pop_back();
  }
  chain.push_back(p);
}

// Sorts v as std::sort would: runs of kRun points are sorted in parallel, then merged pairwise,
// each round's merges in parallel. Equal points are identical (no -0.0 is left), so the order
// is the same whatever the sorting method.
void sort_in_ranges(std::vector<Point2>& v, const Executor& executor) {
  constexpr std::size_t kRun = std::size_t(1) << 15;
  const std::size_t n = v.size();
  executor.for_ranges(n, kRun, [&](std::size_t begin, std::size_t end) {
    std::sort(v.begin() + begin, v.begin() + end);
  });
  if (n <= kRun) return;
  std::vector<Point2> merged(n);
  for (std::size_t width = kRun; width < n; width *= 2) {
    executor.for_ranges(n, 2 * width, [&](std::size_t begin, std::size_t end) {
      const std::size_t middle = std::min(begin + width, end);
      std::merge(v.begin() + begin, v.begin() + middle, v.begin() + middle, v.begin() + end,
                 merged.begin() + begin);
    });
    v.swap(merged);
  }
}

// A disc strictly inside a closed loop: about the loop's area centroid, of a radius a little
// below the centroid's least signed distance from the loop's edge lines (none when the
// centroid is not inside every edge). A point inside it lies to the left of every edge, so the
// loop winds around it and it is inside the hull of the loop's vertices.
struct InnerDisc {
  double x = 0.0, y = 0.0, radius2 = 0.0;
  bool contains(Vec2f p) const {
    const double dx = p.x - x, dy = p.y - y;
    return dx * dx + dy * dy < radius2;
  }
};

InnerDisc inner_disc(const std::vector<Vec2f>& loop) {
  InnerDisc disc;
  const std::size_t m = loop.size();
  if (m < 3) return disc;
  double twice_area = 0.0, cx = 0.0, cy = 0.0;
  for (std::size_t i = 0; i < m; ++i) {
    const Vec2f a = loop[i], b = loop[(i + 1) % m];
    const double w = double(a.x) * b.y - double(b.x) * a.y;
    twice_area += w;
    cx += (double(a.x) + b.x) * w, cy += (double(a.y) + b.y) * w;
  }
  if (!(twice_area > 0.0)) return disc;
  disc.x = cx / (3.0 * twice_area), disc.y = cy / (3.0 * twice_area);
  double least = INFINITY;
  for (std::size_t i = 0; i < m; ++i) {
    const Vec2f a = loop[i], b = loop[(i + 1) % m];
    const double ex = double(b.x) - a.x, ey = double(b.y) - a.y;
    const double left = (ex * (disc.y - a.y) - ey * (disc.x - a.x)) / planar_length(ex, ey);
    least = std::fmin(least, left);  // a NaN of a zero-length edge is passed over
  }
  // A margin of 2^-20 covers the rounding of the centroid, the distances and the test.
  if (least > 0.0 && std::isfinite(least)) {
    const double radius = least * (1.0 - 0x1p-20);
    disc.radius2 = radius * radius;
  }
  return disc;
}

}  // namespace

float robust_hull2_area(const std::vector<Vec2f>& points, const Executor& executor,
                        const std::vector<Vec2f>& loop) {
  // Points inside the loop's inner disc are not hull vertices: left out, the hull is the same.
  // Adding +0.0 turns -0.0 into +0.0 and changes no other value.
  const InnerDisc disc = inner_disc(loop);
  std::vector<Point2> sorted;
  for (const Vec2f& p : points) {
    if (!disc.contains(p)) sorted.push_back({p.x + 0.0, p.y + 0.0});
  }
  sort_in_ranges(sorted, executor);
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  if (sorted.size() < 3) return 0.0f;

  // Lower chain left to right, then upper chain right to left; each starts at the other's end.
  std::vector<Point2> hull;
  hull.reserve(sorted.size() + 1);
  for (const Point2& p : sorted) push_convex(hull, 0, p);
  const std::size_t lower = hull.size();
  for (std::size_t i = sorted.size() - 1; i-- > 0;) push_convex(hull, lower - 1, sorted[i]);
  hull.pop_back();  // the first point again
  if (hull.size() < 3) return 0.0f;

  const Point2 o = hull[0];
  const double twice = twice_signed_area(hull);
  // Collinear points rounded to float leave a sliver no wider than rounding: not a hull.
  double magnitude = 0.0, ylo = o[1], yhi = o[1];
  for (const Point2& p : hull) {
    magnitude = std::max({magnitude, std::fabs(p[0]), std::fabs(p[1])});
    ylo = std::min(ylo, p[1]);
    yhi = std::max(yhi, p[1]);
  }
  const double area = twice * 0.5;
  const double diagonal = planar_length(sorted.back()[0] - sorted.front()[0], yhi - ylo);
  if (area <= kCollinearArea * magnitude * diagonal) return 0.0f;
  return round_to_float(area);
}

}  // namespace vorn
