// Whether the area of a merged hull polygon can stand for the area of the hull of the points.
// Cheap next to building the hull: one pass over the quickhull's vertices and one over the
// polygon's.
#include "hull/polygon_area_is_sound.h"

#include <cmath>

#include "hull/shoelace.h"
#include "hull/tolerances.h"

namespace vorn {

namespace {

// Area of the band of points within distance t outside the edge lines of a convex loop:
// perimeter * t, plus t^2 tan(turn / 2) at each corner. Infinite for a loop that turns back.
double outside_band(const std::vector<Vec2f>& v, double t) {
  const std::size_t m = v.size();
  double perimeter = 0.0, corners = 0.0;
  double px = double(v[0].x) - v[m - 1].x, py = double(v[0].y) - v[m - 1].y;
  double plen = planar_length(px, py);
  for (std::size_t i = 0; i < m; ++i) {
    const Vec2f& b = v[(i + 1) % m];
    const double ex = double(b.x) - v[i].x, ey = double(b.y) - v[i].y;
    const double len = planar_length(ex, ey);
    perimeter += len;
    const double cosine = (px * ex + py * ey) / (plen * len);
    const double sine = std::fabs(px * ey - py * ex) / (plen * len);
    if (!(1.0 + cosine > 0.0)) return INFINITY;
    corners += sine / (1.0 + cosine);
    px = ex, py = ey, plen = len;
  }
  return perimeter * t + corners * t * t;
}

}  // namespace

bool polygon_area_is_sound(const std::vector<Vec2f>& loop, const ConvexPolygon& polygon,
                           float area) {
  const double in_double = twice_signed_area(polygon.vertices) * 0.5;
  if (!(in_double > 0.0) || !(std::fabs(area - in_double) <= kSumDrift * in_double)) {
    return false;
  }
  const double visibility = visibility_distance();
  const double shortfall =
      (twice_signed_area(loop) * 0.5 - in_double) + outside_band(loop, visibility);
  return shortfall <= kShortfall * in_double;
}

}  // namespace vorn
