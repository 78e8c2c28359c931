// Area of a convex polygon as a sum of triangles against its vertex mean, each from its three side lengths.
// Side lengths are sorted before the product and the product is grouped exactly as written: results are compared bit for bit.
#include "hull/polygon_area.h"

#include "utils/panic.h"

namespace vorn {

float polygon_area(const ConvexPolygon&) { throw Panic("not implemented"); }

}  // namespace vorn
