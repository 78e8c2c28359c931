// Volume of the axis-aligned bounding box of a point set.
// Bounds move only on ordered comparisons, so a NaN after point 0 never enters them.
#include "utils/size_measures/size_bbox.h"

#include <cmath>
#include <vector>

namespace vorn {

namespace {

// Rows of doubles or floats: a float coordinate compares and subtracts as its exact double.
template <class T>
double bbox_of(const T* rows, std::size_t n, std::size_t d) {
  std::vector<double> lo(rows, rows + d);
  std::vector<double> hi(lo);
  for (std::size_t i = 1; i < n; ++i) {
    const T* p = rows + i * d;
    for (std::size_t j = 0; j < d; ++j) {
      // Two separate ordered tests: false for NaN, so a later NaN is ignored. Written as
      // selects, so that they run in vector lanes (a lane's min and max take the same branch).
      const double x = p[j];
      lo[j] = x < lo[j] ? x : lo[j];
      hi[j] = x > hi[j] ? x : hi[j];
    }
  }
  double v = 1.0;
  for (std::size_t j = 0; j < d; ++j) v = v * std::fabs(hi[j] - lo[j]);
  return v;
}

}  // namespace

double size_bbox(const PointSet& points) {
  if (points.n == 0) return 0.0;
  return with_rows(points, [&](auto rows) { return bbox_of(rows, points.n, points.d); });
}

}  // namespace vorn
