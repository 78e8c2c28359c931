// Area of a triangle from its three side lengths, in the numerically stable sorted form.
// The lengths are sorted so L1 >= L2 >= L3 and the four factors are multiplied in one fixed
// grouping.
#pragma once

namespace vorn {

// a, b, c: the three side lengths, in any order. Returns
//   sqrt(max(p, 0)) * 0.25 with p = (((L1 + (L2 + L3)) * (L3 - (L1 - L2))) * (L3 + (L1 - L2))) *
//   (L1 + (L2 - L3)),
// where L1 >= L2 >= L3 are a, b, c sorted; a negative or NaN p gives 0. Never fails.
float triangle_area(float a, float b, float c);

}  // namespace vorn
