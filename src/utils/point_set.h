// PointSet: n points of one dimension d, stored row by row in one contiguous block.
// Point i is row i of the caller's input; samplers return these indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace vorn {

struct PointSet {
  std::size_t n = 0;
  std::size_t d = 0;            // 0 only when n == 0
  std::vector<double> coords;   // n * d values, point i at [i * d, (i + 1) * d)

  PointSet() = default;

  // n points of dimension d, all coordinates 0. Throws std::bad_alloc when n * d
  // doubles cannot be held.
  PointSet(std::size_t n_points, std::size_t dim) : n(n_points), d(dim) {
    if (dim != 0 && n_points > SIZE_MAX / sizeof(double) / dim) throw std::bad_alloc();
    coords.resize(n_points * dim);
  }

  const double* operator[](std::size_t i) const { return coords.data() + i * d; }
  double* operator[](std::size_t i) { return coords.data() + i * d; }
  bool empty() const { return n == 0; }
};

// Sampler results: point indices, in the sampler's order.
using Indices = std::vector<std::uint64_t>;

}  // namespace vorn
