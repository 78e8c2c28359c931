// The centroid of a point set and the point nearest to a position: every centroid sampler's start.
// Sums run in point order and distances are compared after the square root, ties to the lower
// index.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

// points: n x d with n >= 1. Returns d coordinates: for each axis the sum of the points'
// coordinates, accumulated in point order from +0.0, divided by n as a double. Never fails.
std::vector<double> compute_centroid(const PointSet& points);

// points: n x d with n >= 1; lo, hi: d doubles each. compute_centroid, with the lowest and
// highest coordinate of each axis written to lo and hi, found in the same pass (of equal
// extremes, the first met). Never fails.
std::vector<double> compute_centroid_and_extremes(const PointSet& points, double* lo, double* hi);

// points: n x d with n >= 1; position: d coordinates. Returns the index of the point with the
// smallest point_distance to position; equal distances keep the lower index. n = 1 returns 0
// without computing anything. Throws Panic("called `Option::unwrap()` on a `None` value")
// when n >= 2 and any distance is NaN (which any non-finite coordinate produces when the
// position is the centroid). The executor's threads change neither the index nor the failure.
std::uint64_t find_closest_point(const PointSet& points, const double* position,
                                 const Executor& executor = Executor());

// find_closest_point over squared sums handed over block by block, in index order or as
// searches over consecutive pieces combined in index order. Every point seen so far is at
// least distance_ away, and best_ is the first at that distance: what comparing the points one
// by one in order, ties kept, ends with.
class NearestSearch {
 public:
  // sums: the squared sums of point_distance of points begin .. begin + m - 1 (m >= 1), all
  // after the points seen so far. Throws Panic("called `Option::unwrap()` on a `None` value")
  // when one of them is NaN.
  void add(std::uint64_t begin, const double* sums, std::size_t m);

  // Takes in a search over points that all come after the ones seen here.
  void add(const NearestSearch& later);

  // The nearest point seen; 0 while none is nearer than +inf (the whole set's first point is
  // then the nearest).
  std::uint64_t best() const { return best_; }

 private:
  std::uint64_t best_ = 0;
  double distance_ = HUGE_VAL;
};

// points: n x d with n >= 1. The index every centroid sampler starts from: find_closest_point
// of compute_centroid. Fails as find_closest_point does.
std::uint64_t nearest_to_centroid(const PointSet& points, const Executor& executor = Executor());

// points: n x d. An empty list for n = 0 or count = 0; otherwise [nearest_to_centroid(points)]
// with room for min(n, count) indices: the start of every sampler that grows its choice from
// the point nearest the centroid. Fails as find_closest_point does.
Indices start_at_centroid(const PointSet& points, std::uint64_t count,
                          const Executor& executor = Executor());

// rows: points stored row by row, point i's d coordinates at rows + i * d, T double or float
// (each float widened to double as it is read, exactly); ids: m indices. Sets out[j] to the
// squared sum of point_distance between point ids[j] and position, rounded exactly as
// point_distance rounds it, for j = 0 .. m - 1. Never fails.
void row_squared_sums(const double* rows, std::size_t d, const std::uint32_t* ids, std::size_t m,
                      const double* position, double* out);
void row_squared_sums(const float* rows, std::size_t d, const std::uint32_t* ids, std::size_t m,
                      const double* position, double* out);

// As above for the m consecutive points starting at rows.
void row_squared_sums(const double* rows, std::size_t d, std::size_t m, const double* position,
                      double* out);
void row_squared_sums(const float* rows, std::size_t d, std::size_t m, const double* position,
                      double* out);

// As the two above, over the rows of points, whichever their type: the points ids[0 .. m - 1],
// or the m points from index begin on.
void row_squared_sums(const PointSet& points, const std::uint32_t* ids, std::size_t m,
                      const double* position, double* out);
void row_squared_sums(const PointSet& points, std::size_t begin, std::size_t m,
                      const double* position, double* out);

// columns: d axes of m points, axis k at columns + k * stride, doubles or floats (widened as
// they are read). Sets out[l] to the squared sum of point_distance between point l and
// position, rounded exactly as point_distance rounds it, for l = 0 .. m - 1. Never fails.
void column_squared_sums(const double* columns, std::size_t stride, std::size_t d,
                         const double* position, std::size_t m, double* out);
void column_squared_sums(const float* columns, std::size_t stride, std::size_t d,
                         const double* position, std::size_t m, double* out);

// The coordinates of a point set held axis by axis (axis k of point i at [k * n + i]), so that
// the distances from many points to one position run side by side in vector lanes. A float32
// set keeps floats.
class PointColumns {
 public:
  explicit PointColumns(const PointSet& points);

  // position: d coordinates. Sets out[i - begin] to point_distance(point i, position) for
  // i = begin .. end - 1, each rounded exactly as point_distance rounds it. Never fails.
  void distances(const double* position, std::size_t begin, std::size_t end, double* out) const;

  // As distances, but the squared sums before the square root.
  void squared_sums(const double* position, std::size_t begin, std::size_t end, double* out) const;

 private:
  std::size_t n_, d_;
  std::vector<double> columns_;       // for a set of doubles
  std::vector<float> float_columns_;  // for a float32 set
};

}  // namespace vorn
