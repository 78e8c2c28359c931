// PointSet: n points of one dimension d, stored row by row in one contiguous block, its own or
// a caller's read in place (doubles, or floats that kernels widen as they read them).
// Point i is row i of the caller's input; samplers return these indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

#include "base/strict_float.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vorn {

// Allocator for coordinate blocks. Elements added by resize() are left uninitialised (the
// block is filled by a copy right after), and large blocks are asked to be backed by huge
// pages, so that a fresh block of millions of coordinates is not faulted in 4 KiB at a time.
template <class T>
struct CoordinateAllocator {
  using value_type = T;
  static constexpr std::size_t kHugePage = std::size_t(1) << 21;

  CoordinateAllocator() = default;
  template <class U>
  CoordinateAllocator(const CoordinateAllocator<U>&) {}

  T* allocate(std::size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    const std::size_t bytes = count * sizeof(T);
    void* p = nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only where huge pages can be asked for: std::aligned_alloc is missing from some C++
    // libraries (MSVC's), and both kinds of block are released by std::free.
    if (bytes >= 2 * kHugePage) {
      p = std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage);
      if (p != nullptr) madvise(p, bytes, MADV_HUGEPAGE);  // a hint; failure changes nothing
    }
#endif
    if (p == nullptr) p = std::malloc(bytes == 0 ? 1 : bytes);
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) noexcept { std::free(p); }

  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;  // default-initialised: no zero fill
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(static_cast<Args&&>(args)...);
  }

  template <class U>
  bool operator==(const CoordinateAllocator<U>&) const {
    return true;
  }
  template <class U>
  bool operator!=(const CoordinateAllocator<U>&) const {
    return false;
  }
};

using Coordinates = std::vector<double, CoordinateAllocator<double>>;

// The coordinates of a PointSet: a block of its own, or a view of a caller's block of doubles or
// floats that outlives the set (an input array read in place). The block offers the vector
// operations that fill it; those are for an owned block only, since a view is read, never
// written. The double accessors are for double blocks only: a float view has floats() alone.
class CoordinateBlock {
 public:
  CoordinateBlock() = default;
  explicit CoordinateBlock(Coordinates&& owned) : owned_(std::move(owned)) {}
  CoordinateBlock& operator=(std::initializer_list<double> values) {
    view_ = nullptr;
    floats_ = nullptr;
    owned_.assign(values);
    return *this;
  }
  static CoordinateBlock view(const double* data, std::size_t size) {
    CoordinateBlock block;
    block.view_ = data;
    block.view_size_ = size;
    return block;
  }
  static CoordinateBlock view(const float* data, std::size_t size) {
    CoordinateBlock block;
    block.floats_ = data;
    block.view_size_ = size;
    return block;
  }

  bool is_view() const { return view_ != nullptr || floats_ != nullptr; }
  bool is_float32() const { return floats_ != nullptr; }
  const float* floats() const { return floats_; }
  const double* data() const { return view_ != nullptr ? view_ : owned_.data(); }
  std::size_t size() const { return is_view() ? view_size_ : owned_.size(); }
  const double* begin() const { return data(); }
  const double* end() const { return data() + size(); }
  double operator[](std::size_t k) const { return data()[k]; }

  double* data() { return owned_.data(); }
  double* begin() { return owned_.data(); }
  double* end() { return owned_.data() + owned_.size(); }
  double& operator[](std::size_t k) { return owned_[k]; }
  void assign(std::size_t count, double value) { owned_.assign(count, value); }
  void resize(std::size_t count) { owned_.resize(count); }
  void insert(const double* at, std::initializer_list<double> values) {
    owned_.insert(owned_.begin() + (at - owned_.data()), values);
  }

 private:
  Coordinates owned_;
  const double* view_ = nullptr;
  const float* floats_ = nullptr;
  std::size_t view_size_ = 0;
};

struct PointSet {
  std::size_t n = 0;
  std::size_t d = 0;       // 0 only when n == 0
  CoordinateBlock coords;  // n * d values, point i at [i * d, (i + 1) * d)

  PointSet() = default;

  // n points of dimension d, all coordinates 0. Throws std::bad_alloc when n * d
  // doubles cannot be held.
  PointSet(std::size_t n_points, std::size_t dim) : PointSet(n_points, dim, 0) {
    coords.assign(n * d, 0.0);
  }

  // n points of dimension d whose coordinates the caller fills before any other use.
  static PointSet uninitialized(std::size_t n_points, std::size_t dim) {
    PointSet points(n_points, dim, 0);
    points.coords.resize(n_points * dim);
    return points;
  }

  // n points of dimension d read in place from data, row by row; data must stay unchanged and
  // alive for as long as the set is used.
  static PointSet view(const double* data, std::size_t n_points, std::size_t dim) {
    PointSet points(n_points, dim, 0);
    points.coords = CoordinateBlock::view(data, n_points * dim);
    return points;
  }

  // As above, for rows of floats: each coordinate widens to double exactly, so a kernel that
  // widens as it reads computes what it computes on the doubles.
  static PointSet view(const float* data, std::size_t n_points, std::size_t dim) {
    PointSet points(n_points, dim, 0);
    points.coords = CoordinateBlock::view(data, n_points * dim);
    return points;
  }

  // Rows of doubles only (see is_float32).
  const double* operator[](std::size_t i) const { return coords.data() + i * d; }
  double* operator[](std::size_t i) { return coords.data() + i * d; }
  bool empty() const { return n == 0; }
  bool is_float32() const { return coords.is_float32(); }

 private:
  PointSet(std::size_t n_points, std::size_t dim, int) : n(n_points), d(dim) {
    if (dim != 0 && n_points > SIZE_MAX / sizeof(double) / dim) throw std::bad_alloc();
  }
};

// Calls f with the rows of points as one typed pointer, `const double*` or `const float*` (point
// i's coordinates at [i * d, (i + 1) * d)), and returns what f returns: a kernel written once
// over the coordinate type reads either set in place.
template <class F>
decltype(auto) with_rows(const PointSet& points, F&& f) {
  if (points.is_float32()) return f(points.coords.floats());
  return f(static_cast<const double*>(points.coords.data()));
}

// to[k] = from[k] for k < count: floats widened to doubles, exactly.
inline void widen(const float* from, std::size_t count, double* to) {
  for (std::size_t k = 0; k < count; ++k) to[k] = from[k];
}

// A float32 set as doubles, widened (exactly) into a block of its own: for kernels that read
// rows of doubles only, which start with
//   if (points.is_float32()) return kernel(widened(points), ...);
// Throws std::bad_alloc.
inline PointSet widened(const PointSet& points) {
  PointSet wide = PointSet::uninitialized(points.n, points.d);
  widen(points.coords.floats(), points.n * points.d, wide.coords.data());
  return wide;
}

// Point i as doubles: its own row, or for a float32 set its coordinates widened into scratch
// (d entries).
inline const double* row_as_doubles(const PointSet& points, std::size_t i, double* scratch) {
  if (!points.is_float32()) return points[i];
  widen(points.coords.floats() + i * points.d, points.d, scratch);
  return scratch;
}

// Sampler results: point indices, in the sampler's order.
using Indices = std::vector<std::uint64_t>;

}  // namespace vorn
