// Area of a triangle from its three side lengths, in the numerically stable sorted form.
// The lengths are sorted so L1 >= L2 >= L3 and the four factors are multiplied in one fixed
// grouping.
#include "hull/triangle_area.h"

#include <cmath>
#include <utility>

namespace vorn {

float triangle_area(float a, float b, float c) {
  // Sort descending. With a NaN among them the order is arbitrary, but p is NaN anyway.
  if (a < b) std::swap(a, b);
  if (b < c) std::swap(b, c);
  if (a < b) std::swap(a, b);
  const float p = (((a + (b + c)) * (c - (a - b))) * (c + (a - b))) * (a + (b - c));
  // A negative or NaN p (rounding on a flat triangle) counts as 0.
  const float clamped = p > 0.0f ? p : 0.0f;
  return std::sqrt(clamped) * 0.25f;
}

}  // namespace vorn
