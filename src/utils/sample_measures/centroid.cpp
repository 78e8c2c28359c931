// The centroid of a point set and the point nearest to a position: every centroid sampler's start.
// Sums run in point order and distances are compared after the square root, ties to the lower
// index.
#include "utils/sample_measures/centroid.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>

#include "base/compiler_hints.h"
#include "base/fixed_dimension.h"
#include "base/panic.h"
#include "base/simd_clones.h"
#include "base/simd_lanes.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

// Clang makes a function a set of clones only where its first use sees that: declared so here.
VORN_SIMD_CLONES_512 void row_squared_sums(const double* rows, std::size_t d,
                                           const std::uint32_t* ids, std::size_t m,
                                           const double* position, double* out);
VORN_SIMD_CLONES_512 void row_squared_sums(const float* rows, std::size_t d,
                                           const std::uint32_t* ids, std::size_t m,
                                           const double* position, double* out);
VORN_SIMD_CLONES_512 void row_squared_sums(const double* rows, std::size_t d, std::size_t m,
                                           const double* position, double* out);
VORN_SIMD_CLONES_512 void row_squared_sums(const float* rows, std::size_t d, std::size_t m,
                                           const double* position, double* out);

namespace {

// Adds the rows to sum coordinate by coordinate, in point order; with Extremes, also keeps
// each axis' lowest and highest coordinate in lo and hi, which the sums' add chains leave room
// for. With D fixed (D > 0) the running values stay in registers; D = 0 reads d at run time.
template <std::size_t D, bool Extremes, class T>
void add_rows(const T* rows, std::size_t n, std::size_t d, double* sum, double* lo, double* hi) {
  constexpr std::size_t kHeld = D == 0 ? 1 : D;
  const std::size_t dim = D == 0 ? d : D;
  double held_s[kHeld], held_l[kHeld], held_h[kHeld];
  double* s = D == 0 ? sum : held_s;
  double* l = D == 0 ? lo : held_l;
  double* h = D == 0 ? hi : held_h;
  for (std::size_t j = 0; j < dim; ++j) {
    s[j] = sum[j];
    if constexpr (Extremes) l[j] = h[j] = rows[j];
  }
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < dim; ++j) {
      const double x = rows[i * dim + j];
      s[j] = s[j] + x;
      if constexpr (Extremes) {
        l[j] = x < l[j] ? x : l[j];
        h[j] = x > h[j] ? x : h[j];
      }
    }
  }
  for (std::size_t j = 0; j < dim; ++j) {
    sum[j] = s[j];
    if constexpr (Extremes) lo[j] = l[j], hi[j] = h[j];
  }
}

// The centroid, and with Extremes each axis' extremes in the same pass.
template <bool Extremes>
std::vector<double> centroid_of(const PointSet& points, double* lo, double* hi) {
  const std::size_t d = points.d;
  std::vector<double> sum(d, 0.0);
  with_rows(points, [&](auto rows) {
    with_dimension<1, 2, 3, 4, 5, 6, 7>(d, [&](auto dim) {
      add_rows<decltype(dim)::value, Extremes>(rows, points.n, d, sum.data(), lo, hi);
    });
  });
  // A division by n, not a multiplication by its reciprocal.
  const double count = static_cast<double>(points.n);
  for (std::size_t j = 0; j < d; ++j) sum[j] = sum[j] / count;
  return sum;
}

// The least of values[0 .. m - 1] (m >= 1), with nan set when one of them is NaN. Four running
// minima side by side: without NaNs the least value is the same whichever order finds it.
VORN_SIMD_CLONES VORN_FLATTEN double least_of(const double* values, std::size_t m, bool& nan) {
  double least[4] = {values[0], values[0], values[0], values[0]};
  bool unordered = false;
  std::size_t j = 0;
#if VORN_VECTOR_EXTENSIONS
  F64x4 low;
  splat_lanes(values[0], low);
  I64x4 unequal{};
  for (; j + 4 <= m; j += 4) {
    F64x4 v;
    load_lanes(values + j, v);
    low = v < low ? v : low;
    unequal |= v != v;
  }
  for (std::size_t l = 0; l < 4; ++l) least[l] = low[l], unordered |= unequal[l] != 0;
#endif
  for (; j < m; ++j) {
    least[0] = values[j] < least[0] ? values[j] : least[0];
    unordered |= values[j] != values[j];
  }
  nan = unordered;
  const double a = least[1] < least[0] ? least[1] : least[0];
  const double b = least[3] < least[2] ? least[3] : least[2];
  return b < a ? b : a;
}

}  // namespace

std::vector<double> compute_centroid(const PointSet& points) {
  return centroid_of<false>(points, nullptr, nullptr);
}

std::vector<double> compute_centroid_and_extremes(const PointSet& points, double* lo, double* hi) {
  return centroid_of<true>(points, lo, hi);
}

void NearestSearch::add(std::uint64_t begin, const double* sums, std::size_t m) {
  // The square root is monotonic, so the block's least distance is the root of its least
  // squared sum; only a block that beats the best needs roots, to find its first point at that
  // distance (squared sums that round to one root are a tie, kept by the lower index).
  bool nan = false;
  const double least = least_of(sums, m, nan);
  if (nan) throw Panic("called `Option::unwrap()` on a `None` value");
  const double distance = std::sqrt(least);
  if (!(distance < distance_)) return;
  std::size_t j = 0;
  while (std::sqrt(sums[j]) != distance) ++j;
  best_ = begin + j;
  distance_ = distance;
}

void NearestSearch::add(const NearestSearch& later) {
  if (later.distance_ < distance_) *this = later;
}

namespace {

// The search over points [begin, end), block by block.
NearestSearch nearest_among(const PointSet& points, const double* position, std::size_t begin,
                            std::size_t end) {
  constexpr std::size_t kBlock = 256;
  double sums[kBlock];
  NearestSearch search;
  for (std::size_t at = begin; at < end; at += kBlock) {
    const std::size_t m = std::min(kBlock, end - at);
    row_squared_sums(points, at, m, position, sums);
    search.add(at, sums, m);
  }
  return search;
}

}  // namespace

std::uint64_t find_closest_point(const PointSet& points, const double* position,
                                 const Executor& executor) {
  const std::size_t n = points.n;
  if (n == 1) return 0;
  // Fixed ranges whatever the threads; the ranges' searches are then combined in order.
  constexpr std::size_t kRange = std::size_t(1) << 15;
  std::vector<NearestSearch> searches((n - 1) / kRange + 1);
  executor.for_ranges(n, kRange, [&](std::size_t begin, std::size_t end) {
    searches[begin / kRange] = nearest_among(points, position, begin, end);
  });
  NearestSearch search;
  for (const NearestSearch& later : searches) search.add(later);
  return search.best();
}

std::uint64_t nearest_to_centroid(const PointSet& points, const Executor& executor) {
  // One running sum per axis, in point order: no split of the sums would round the same.
  const std::vector<double> centroid = compute_centroid(points);
  return find_closest_point(points, centroid.data(), executor);
}

Indices start_at_centroid(const PointSet& points, std::uint64_t count, const Executor& executor) {
  Indices result;
  if (points.n == 0 || count == 0) return result;
  result.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(points.n, count)));
  result.push_back(nearest_to_centroid(points, executor));
  return result;
}

namespace {

constexpr std::size_t kLanes = 16;

// The squared sums of point_distance for kLanes consecutive points whose axis k starts at
// columns + k * stride, four lanes at a time: each lane makes one point's scalar operations in
// the scalar order, so vector lanes change no rounding. Floats are widened as they are loaded.
template <class T>
VORN_ALWAYS_INLINE void lane_sums(const T* columns, std::size_t stride, std::size_t d,
                                  const double* position, double* out) {
  for (std::size_t q = 0; q < kLanes; q += 4) {
    F64x4 sums;
    blocked_square_sum(
        d,
        [=](std::size_t k, F64x4& v) {
          F64x4 c;
          load_widened(columns + k * stride + q, v), splat_lanes(position[k], c);
          v = v - c;
        },
        sums);
    store_lanes(out + q, sums);
  }
}

// Clang cannot make clones of a template: one function for each column type.
VORN_SIMD_CLONES
void lane_squared_sums(const double* columns, std::size_t stride, std::size_t d,
                       const double* position, double* out) {
  lane_sums(columns, stride, d, position, out);
}

VORN_SIMD_CLONES
void lane_squared_sums(const float* columns, std::size_t stride, std::size_t d,
                       const double* position, double* out) {
  lane_sums(columns, stride, d, position, out);
}

template <class T>
void column_sums(const T* columns, std::size_t stride, std::size_t d, const double* position,
                 std::size_t m, double* out) {
  std::size_t i = 0;
  for (; i + kLanes <= m; i += kLanes) lane_squared_sums(columns + i, stride, d, position, out + i);
  if (i == m) return;
  // The last few points, padded with zeros whose sums are not kept.
  std::vector<T> tail(d * kLanes);
  double sums[kLanes];
  for (std::size_t k = 0; k < d; ++k) {
    for (std::size_t l = 0; l < kLanes; ++l) {
      tail[k * kLanes + l] = i + l < m ? columns[k * stride + i + l] : T(0);
    }
  }
  lane_squared_sums(tail.data(), kLanes, d, position, sums);
  for (std::size_t l = 0; i + l < m; ++l) out[i + l] = sums[l];
}

// Point p's squared sum from its eight partial sums (lane k holds partial sum k) and its tail.
template <class T>
VORN_ALWAYS_INLINE double finish_row_sum(const F64x8& partial, std::size_t d, const T* p,
                                         const double* position) {
  double lanes[8];
  store_lanes(lanes, partial);
  double r = 0.0;
  if (d >= 8) combine_partial_sums(lanes, r);
  for (std::size_t t = d / 8 * 8; t < d; ++t) {
    const double v = p[t] - position[t];
    r = r + v * v;
  }
  return r;
}

// The squared sums of point_distance for rows of D < 8 coordinates: each point's chain alone,
// with the coordinates unrolled.
template <std::size_t D, class Row>
VORN_ALWAYS_INLINE void short_row_sums(Row row, std::size_t m, const double* position,
                                       double* out) {
  double c[D];
  for (std::size_t t = 0; t < D; ++t) c[t] = position[t];
  for (std::size_t j = 0; j < m; ++j) {
    const auto* p = row(j);
    double r = 0.0;
    for (std::size_t t = 0; t < D; ++t) {
      const double v = p[t] - c[t];
      r = r + v * v;
    }
    out[j] = r;
  }
}

// The squared sums of point_distance from position to the rows row(0) .. row(m - 1), each read
// as stored: lane k of a vector is the point's partial sum k, so eight coordinates take one
// vector step, and four points run side by side for independent chains. Rows of floats are
// widened as they are loaded.
template <class Row>
VORN_ALWAYS_INLINE void row_sums(Row row, std::size_t m, std::size_t d, const double* position,
                                 double* out) {
  using T = std::remove_cv_t<std::remove_pointer_t<decltype(row(0))>>;
  constexpr std::size_t kPerLine = 64 / sizeof(T);
  if (d > 0 && d < 8) {
    with_dimension<1, 2, 3, 4, 5, 6, 7>(d, [&](auto dim) {
      if constexpr (decltype(dim)::value > 0) {
        short_row_sums<decltype(dim)::value>(row, m, position, out);
      }
    });
    return;
  }
  const std::size_t blocks = d / 8;
  std::size_t j = 0;
  for (; j + 4 <= m; j += 4) {
    const T* p[4] = {row(j), row(j + 1), row(j + 2), row(j + 3)};
    // Rows may lie anywhere: ask for the next four while these four are summed.
    for (std::size_t l = j + 4; l < std::min(m, j + 8); ++l) {
      for (std::size_t b = 0; b < d; b += kPerLine) VORN_PREFETCH(row(l) + b);
    }
    F64x8 s0{}, s1{}, s2{}, s3{};
    for (std::size_t b = 0; b < 8 * blocks; b += 8) {
      F64x8 c, v0, v1, v2, v3;
      load_lanes(position + b, c), load_lanes(p[0] + b, v0), load_lanes(p[1] + b, v1);
      load_lanes(p[2] + b, v2), load_lanes(p[3] + b, v3);
      v0 = v0 - c, v1 = v1 - c, v2 = v2 - c, v3 = v3 - c;
      s0 = s0 + v0 * v0;
      s1 = s1 + v1 * v1;
      s2 = s2 + v2 * v2;
      s3 = s3 + v3 * v3;
    }
    const F64x8 partial[4] = {s0, s1, s2, s3};
    for (std::size_t l = 0; l < 4; ++l) out[j + l] = finish_row_sum(partial[l], d, p[l], position);
  }
  for (; j < m; ++j) {
    F64x8 s{};
    for (std::size_t b = 0; b < 8 * blocks; b += 8) {
      F64x8 v, c;
      load_lanes(row(j) + b, v), load_lanes(position + b, c);
      v = v - c;
      s = s + v * v;
    }
    out[j] = finish_row_sum(s, d, row(j), position);
  }
}

}  // namespace

// Clang cannot make clones of a template: one function for each row type and form.
VORN_SIMD_CLONES_512 void row_squared_sums(const double* rows, std::size_t d,
                                           const std::uint32_t* ids, std::size_t m,
                                           const double* position, double* out) {
  row_sums([=](std::size_t j) { return rows + std::size_t(ids[j]) * d; }, m, d, position, out);
}

VORN_SIMD_CLONES_512 void row_squared_sums(const float* rows, std::size_t d,
                                           const std::uint32_t* ids, std::size_t m,
                                           const double* position, double* out) {
  row_sums([=](std::size_t j) { return rows + std::size_t(ids[j]) * d; }, m, d, position, out);
}

VORN_SIMD_CLONES_512 void row_squared_sums(const double* rows, std::size_t d, std::size_t m,
                                           const double* position, double* out) {
  row_sums([=](std::size_t j) { return rows + j * d; }, m, d, position, out);
}

VORN_SIMD_CLONES_512 void row_squared_sums(const float* rows, std::size_t d, std::size_t m,
                                           const double* position, double* out) {
  row_sums([=](std::size_t j) { return rows + j * d; }, m, d, position, out);
}

void row_squared_sums(const PointSet& points, const std::uint32_t* ids, std::size_t m,
                      const double* position, double* out) {
  with_rows(points, [&](auto rows) { row_squared_sums(rows, points.d, ids, m, position, out); });
}

void row_squared_sums(const PointSet& points, std::size_t begin, std::size_t m,
                      const double* position, double* out) {
  with_rows(points, [&](auto rows) {
    row_squared_sums(rows + begin * points.d, points.d, m, position, out);
  });
}

// Transposes rows into columns of the same type.
template <class T>
void transpose_rows(const T* rows, std::size_t n, std::size_t d, std::vector<T>& columns) {
  columns.resize(n * d);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < d; ++k) columns[k * n + i] = rows[i * d + k];
  }
}

PointColumns::PointColumns(const PointSet& points) : n_(points.n), d_(points.d) {
  if (points.is_float32()) {
    transpose_rows(points.coords.floats(), n_, d_, float_columns_);
  } else {
    transpose_rows(points.coords.data(), n_, d_, columns_);
  }
}

void column_squared_sums(const double* columns, std::size_t stride, std::size_t d,
                         const double* position, std::size_t m, double* out) {
  column_sums(columns, stride, d, position, m, out);
}

void column_squared_sums(const float* columns, std::size_t stride, std::size_t d,
                         const double* position, std::size_t m, double* out) {
  column_sums(columns, stride, d, position, m, out);
}

void PointColumns::squared_sums(const double* position, std::size_t begin, std::size_t end,
                                double* out) const {
  if (!float_columns_.empty()) {
    column_squared_sums(float_columns_.data() + begin, n_, d_, position, end - begin, out);
  } else {
    column_squared_sums(columns_.data() + begin, n_, d_, position, end - begin, out);
  }
}

void PointColumns::distances(const double* position, std::size_t begin, std::size_t end,
                             double* out) const {
  squared_sums(position, begin, end, out);
  for (std::size_t i = 0; i < end - begin; ++i) out[i] = std::sqrt(out[i]);
}

}  // namespace vorn
