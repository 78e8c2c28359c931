// A triangle of a hull mesh as three point indices, counter-clockwise seen from outside.
// Edge k runs from index k to index (k + 1) mod 3; the mesh's order of triangles fixes its sums.
#pragma once

#include <array>
#include <cstddef>

namespace vorn {

using Triangle = std::array<std::size_t, 3>;

}  // namespace vorn
