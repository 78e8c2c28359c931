// K-medoids sampling: the point nearest the centroid, then first-improvement medoid swaps.
// Costs are summed in point order and compared strictly: equal costs never swap.
#include "utils/sample_measures/sample_centroid_kmedoids.h"

// The 32-byte vectors of the row kernel never cross a call (load_lanes inlines into the one
// function built for each instruction set), so the ABI note on returning them does not apply;
// it comes from the shared header, hence before the includes.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "base/compiler_hints.h"
#include "base/simd_clones.h"
#include "base/simd_lanes.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/seeded_rng.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Up to this many points of at most 64 dimensions the search keeps all pairwise distances in
// units (16 MiB); beyond, computing a row in float lanes costs less than fetching it from a
// table out of cache. In more dimensions the table is kept up to kTableEntryLimit.
constexpr std::size_t kMatrixLimit = 2048;
// The swap bounds keep t sums per point; past this many, every swap is tried exactly.
constexpr std::size_t kBoundEntryLimit = std::size_t(1) << 24;
// Beyond this dimension, unit distances are computed exactly, and exact distances row by row.
constexpr std::size_t kMaxFloatDimension = 64;
// The largest table of unit distances (1 GiB); beyond it, the bounds compute the distances they
// need row by row, exactly, where the triangle inequality leaves them in doubt.
constexpr std::size_t kTableEntryLimit = std::size_t(1) << 28;
// Points with a capped distance whose exact term is checked against the cost, at most.
constexpr std::size_t kCappedChecks = 8;
// Columns of the unit table built together from point columns (at most 64 dimensions): one
// cache line of a table row (rows start on line boundaries), so that threads building
// neighbouring ranges never write into one line.
constexpr std::size_t kLineBytes = 64;
constexpr std::size_t kTableGrain = kLineBytes / sizeof(std::int32_t);
// From rows, in parallel ranges of kTableRange columns, each in tiles of kTableTile columns
// (which stay in the first-level cache) that blocks of rows of about kTableBlockBytes meet in
// turn.
constexpr std::size_t kTableRange = 128;
constexpr std::size_t kTableTile = 8;
constexpr std::size_t kTableBlockBytes = std::size_t(384) << 10;
// Candidates per parallel range, and points per piece of an exact cost.
constexpr std::size_t kCandidateGrain = 256;
constexpr std::size_t kPiece = 256;

// A unit distance, and a sum of them over the points (exact: n times 2^30 fits).
using Units = std::int32_t;
using Sum = std::int64_t;
static_assert(kTableGrain * sizeof(Units) == kLineBytes, "a table range is one cache line");

// An array that starts on a cache line, zero-filled or left unset (large ones on huge pages
// where the system has them). Parallel ranges whose bounds are whole lines of it then never
// write into one line, which would pass it between the cores at every write.
template <class T>
class LineArray {
 public:
  static constexpr std::size_t kPerLine = kLineBytes / sizeof(T);

  LineArray(std::size_t count, bool zeroed) {
    if (zeroed) {
      storage_.assign(count + kPerLine, T(0));
    } else {
      storage_.resize(count + kPerLine);
    }
    void* start = storage_.data();
    std::size_t bytes = storage_.size() * sizeof(T);
    data_ = static_cast<T*>(std::align(kLineBytes, count * sizeof(T), start, bytes));
  }
  LineArray(const LineArray&) = delete;
  LineArray& operator=(const LineArray&) = delete;

  // count rounded up to whole lines: a row length that keeps every row on a line boundary.
  static std::size_t whole_lines(std::size_t count) {
    return (count + kPerLine - 1) / kPerLine * kPerLine;
  }

  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](std::size_t k) { return data_[k]; }
  T operator[](std::size_t k) const { return data_[k]; }

 private:
  std::vector<T, CoordinateAllocator<T>> storage_;
  T* data_ = nullptr;
};
static_assert(kCandidateGrain % LineArray<Sum>::kPerLine == 0,
              "a range of candidates is whole lines of its sums");

// Unit distances from one point (d coordinates, in units) to points [begin, end) of unit
// coordinates held axis by axis (axis k at columns + k * n), in float: a bound only, whose
// error unit_error() accounts for.
VORN_SIMD_CLONES
void float_unit_row(const float* columns, std::size_t n, std::size_t d, const float* point,
                    std::size_t begin, std::size_t end, Units cap, Units* out) {
  constexpr std::size_t kLanes = 16;
  float sum[kLanes];
  for (std::size_t b = begin; b < end; b += kLanes) {
    const std::size_t m = std::min(kLanes, end - b);
    for (std::size_t l = 0; l < kLanes; ++l) sum[l] = 0.0f;
    for (std::size_t k = 0; k < d; ++k) {
      const float* c = columns + k * n + b;
      if (m == kLanes) {
        for (std::size_t l = 0; l < kLanes; ++l) sum[l] += (c[l] - point[k]) * (c[l] - point[k]);
      } else {
        for (std::size_t l = 0; l < m; ++l) sum[l] += (c[l] - point[k]) * (c[l] - point[k]);
      }
    }
    for (std::size_t l = 0; l < m; ++l) {
      // Held at cap before the conversion, which could not hold the distance of clipped corners.
      out[b - begin + l] = static_cast<Units>(std::min(std::sqrt(sum[l]), static_cast<float>(cap)));
    }
  }
}

// point_distance between rows a and b, floats widened (exactly) as they are read.
template <class A, class B>
VORN_ALWAYS_INLINE double row_distance(const A* a, const B* b, std::size_t d) {
  return std::sqrt(blocked_square_sum<double>(
      d, [a, b](std::size_t k) { return static_cast<double>(a[k]) - static_cast<double>(b[k]); }));
}

// point_distance between points i and j, read in place whatever their type.
double distance_between(const PointSet& points, std::size_t i, std::size_t j) {
  const std::size_t d = points.d;
  return with_rows(points, [&](auto rows) { return row_distance(rows + i * d, rows + j * d, d); });
}

// The distance from a to b (d >= 8) given its eight partial sums as lanes 0-3 (axes k, k + 8,
// ...) and 4-7: combined as point_distance combines them (s0 + s4 first), then the tail.
template <class T>
VORN_ALWAYS_INLINE double finish_distance(const F64x4& low, const F64x4& high, const double* a,
                                          const T* b, std::size_t d) {
  const F64x4 pairs = low + high;
  double r = pairs[0];
  r = r + pairs[1];
  r = r + pairs[2];
  r = r + pairs[3];
  for (std::size_t k = d / 8 * 8; k < d; ++k) {
    const double v = a[k] - static_cast<double>(b[k]);
    r = r + v * v;
  }
  return std::sqrt(r);
}

// point_distance from point a to m points of `rows` (row-major, d coordinates each): row j, or
// row list[j] when list is given; four points at a time, each point's eight partial sums in two
// vectors. Rows of floats are widened as they are loaded; a is widened once by the caller.
template <class T>
VORN_ALWAYS_INLINE void row_distances_of(const double* a, const T* rows, const std::size_t* list,
                                         std::size_t d, std::size_t m, double* out) {
  const auto row = [&](std::size_t j) { return rows + (list ? list[j] : j) * d; };
  const std::size_t full = d / 8 * 8;
  std::size_t j = 0;
  for (; d >= 8 && j + 4 <= m; j += 4) {
    const T* b[4] = {row(j), row(j + 1), row(j + 2), row(j + 3)};
    F64x4 s[8] = {};  // point j + q: s[2q] lanes 0-3, s[2q + 1] lanes 4-7
    for (std::size_t k = 0; k < full; k += 8) {
      F64x4 x0, x1, y0, y1;
      load_lanes(a + k, x0), load_lanes(a + k + 4, x1);
      for (std::size_t q = 0; q < 4; ++q) {
        load_widened(b[q] + k, y0), load_widened(b[q] + k + 4, y1);
        const F64x4 v0 = x0 - y0;
        const F64x4 v1 = x1 - y1;
        s[2 * q] = s[2 * q] + v0 * v0;
        s[2 * q + 1] = s[2 * q + 1] + v1 * v1;
      }
    }
    for (std::size_t q = 0; q < 4; ++q)
      out[j + q] = finish_distance(s[2 * q], s[2 * q + 1], a, b[q], d);
  }
  for (; j < m; ++j) out[j] = row_distance(a, row(j), d);
}

// Clang makes no clones of a template: one function for each row type.
VORN_SIMD_CLONES_512
void row_distances(const double* a, const double* rows, const std::size_t* list, std::size_t d,
                   std::size_t m, double* out) {
  row_distances_of(a, rows, list, d, m, out);
}

VORN_SIMD_CLONES_512
void row_distances(const double* a, const float* rows, const std::size_t* list, std::size_t d,
                   std::size_t m, double* out) {
  row_distances_of(a, rows, list, d, m, out);
}

// count rows of d coordinates as doubles: the rows themselves, or floats widened into buffer.
inline const double* rows_as_doubles(const double* rows, std::size_t, std::size_t,
                                     std::vector<double>&) {
  return rows;
}
inline const double* rows_as_doubles(const float* rows, std::size_t count, std::size_t d,
                                     std::vector<double>& buffer) {
  buffer.resize(count * d);
  widen(rows, count * d, buffer.data());
  return buffer.data();
}

// A lower bound on distances from point i through its two nearest medoids m:
// d(i, x) >= |d(x, m) - d(i, m)|. A computed distance errs by under (d + 9) u / 2 relative,
// u = 2^-53 (see point_distance.h), plus, where squares turn subnormal, under sqrt(d 2^-1074)
// absolute; the bound gives up `slack` = 8 (d + 64) u relative (more than three such errors and
// its own five roundings) and 2^-500, so it never exceeds the computed distance from i to x.
// NaN or infinite distances make it NaN or -inf: never beyond.
struct TriangleFloor {
  const double* to1;  // distances from every point to i's nearest medoid
  const double* to2;  // and to its second-nearest
  double r1, r2;      // the distances from i to those medoids
  double slack, scale;
  double floor;  // in units: x is beyond when its distance from i certainly reaches it

  bool beyond(std::size_t x) const {
    const double a1 = to1[x], a2 = to2[x];
    const double b1 = std::fabs(a1 - r1) - slack * (a1 + r1) - 0x1p-500;
    const double b2 = std::fabs(a2 - r2) - slack * (a2 + r2) - 0x1p-500;
    return b1 * scale >= floor || b2 * scale >= floor;
  }
};

// The unit of the swap bounds, chosen from the bulk of the cloud so that one far point neither
// switches the bounds off nor makes the unit too coarse for the rest: per axis, the range
// between the coordinates of rank n / 32 and n - 1 - n / 32. Distances beyond `cap` units are
// held as cap (see SwapBounds for why that is safe).
struct UnitScale {
  double scale = 0.0;          // units per distance: a power of two, so scaling is exact
  Units cap = 0;               // the largest unit distance held
  std::vector<double> middle;  // the middle of the trimmed box, for float coordinates
};

// Per axis, the middle of the trimmed range and its half-width.
void trimmed_box(const PointSet& points, std::vector<double>& middle, std::vector<double>& half) {
  const std::size_t n = points.n, d = points.d, trim = n / 32;
  std::vector<double> axis(n);
  for (std::size_t k = 0; k < d; ++k) {
    with_rows(points, [&](auto rows) {
      for (std::size_t i = 0; i < n; ++i) axis[i] = rows[i * d + k];
    });
    std::nth_element(axis.begin(), axis.begin() + trim, axis.end());
    const double lo = axis[trim];
    std::nth_element(axis.begin(), axis.end() - 1 - trim, axis.end());
    const double hi = axis[n - 1 - trim];
    // Halves first: the difference of two finite coordinates may overflow, that of halves not.
    middle[k] = lo * 0.5 + hi * 0.5;
    half[k] = hi * 0.5 - lo * 0.5;
  }
}

// The largest power of two at which twice the trimmed box's diagonal is at most cap units.
// The diagonal is taken relative to 2^e, e the exponent of the widest axis, so that no square
// overflows or underflows whatever the scale of the data.
UnitScale unit_scale(const PointSet& points) {
  UnitScale unit;
  unit.cap = Units(1) << 30;
  unit.middle.resize(points.d);
  std::vector<double> half(points.d);
  trimmed_box(points, unit.middle, half);
  const double widest = *std::max_element(half.begin(), half.end());
  if (widest == 0.0) {
    unit.scale = 1.0;  // most points coincide: any unit serves
    return unit;
  }
  const int e = std::ilogb(widest);
  double sum = 0.0;  // each term below 4
  for (double h : half) sum += std::ldexp(h, -e) * std::ldexp(h, -e);
  // 2 * diagonal = 4 sqrt(sum) 2^e; 1.01 covers the roundings of sum and its root.
  const int j = std::ilogb(static_cast<double>(unit.cap) / (4.04 * std::sqrt(sum))) - e;
  unit.scale = std::ldexp(1.0, std::min(j, 1023));
  return unit;
}

// Distances in whole units of 1 / scale, rounded down and held at most at cap. Units feed only
// the bounds that pass over most candidates; every cost that decides a swap is summed from exact
// distances.
class Distances {
 public:
  // table_entries: the largest unit table allowed.
  Distances(const PointSet& points, const UnitScale& unit, std::size_t table_entries,
            const Executor& executor)
      : points_(points), n_(points.n), scale_(unit.scale), cap_(unit.cap) {
    if (points.d <= kMaxFloatDimension) columns_.emplace(points);
    if (n_ > kMatrixLimit && points.d <= kMaxFloatDimension) {
      float_columns(unit);
    } else if (n_ <= table_entries / n_) {
      unit_table(executor);
    }
  }

  // Rounded down: under one unit below the exact value, or cap when that is lower. An
  // overflowed (+inf) distance is held as cap too.
  Units units(double distance) const {
    const double u = distance * scale_;
    return u < static_cast<double>(cap_) ? static_cast<Units>(u) : cap_;
  }
  Units cap() const { return cap_; }
  std::size_t dimension() const { return points_.d; }
  double scale() const { return scale_; }

  // Entry x - begin: the distance from point i to point x in units, for x in [begin, end);
  // either in the table or written to out. Without a table or float coordinates, entries
  // certainly at or beyond floor.floor units are given as cap (end - begin is then at most
  // kCandidateGrain).
  const Units* unit_row(std::size_t i, std::size_t begin, std::size_t end,
                        const TriangleFloor& floor, Units* out) const {
    if (table_) return table_->data() + i * stride_ + begin;
    if (float_columns_.empty()) {
      exact_unit_row(i, begin, end, floor, out);
      return out;
    }
    const std::size_t d = points_.d;
    float point[kMaxFloatDimension];
    for (std::size_t k = 0; k < d; ++k) point[k] = float_columns_[k * n_ + i];
    float_unit_row(float_columns_.data(), n_, d, point, begin, end, cap_, out);
    return out;
  }

  // How far a unit distance may lie above the exact distance times scale, in units (below it
  // is safe: see SwapBounds). Rounded down from exact distances: under one. From float
  // coordinates within D = cap units of the middle: 2^-24 D for each coordinate's rounding and
  // 2^-23 D for each rounding of the differences, squares, sums and square root: under
  // 1 + 2^-22 (d + 8) D. Clipping the coordinates into that box moves no two points apart.
  double unit_error() const {
    if (float_columns_.empty()) return 1.0;
    return 1.0 + (static_cast<double>(points_.d) + 8.0) * 0x1p-22 * static_cast<double>(cap_);
  }

  // out[x - begin]: point_distance from point i to point x, for x in [begin, end).
  void exact_row(std::size_t i, std::size_t begin, std::size_t end, double* out) const {
    const std::size_t d = points_.d;
    if (columns_) {
      double widened[kMaxFloatDimension];
      columns_->distances(row_as_doubles(points_, i, widened), begin, end, out);
      return;
    }
    with_rows(points_, [&](auto rows) {
      std::vector<double> widened;
      row_distances(rows_as_doubles(rows + i * d, 1, d, widened), rows + begin * d, nullptr, d,
                    end - begin, out);
    });
  }

 private:
  // point_distance is symmetric to the bit (a - b is exactly -(b - a)), so one triangle serves:
  // the range holding x writes entries (x, i) and (i, x) for i <= x, no other range does.
  void unit_table(const Executor& executor) {
    // Rows on whole cache lines, left unset: the build writes every entry, on as many threads
    // as it runs, so neither a serial fill nor the first touch of the pages stays serial.
    stride_ = LineArray<Units>::whole_lines(n_);
    table_.emplace(n_ * stride_, false);
    if (columns_) {
      // Few points in few dimensions: each point meets the whole range at once, in lanes.
      executor.for_ranges(n_, kTableGrain, [&](std::size_t begin, std::size_t end) {
        double row[kTableGrain];
        for (std::size_t i = 0; i < end; ++i) {
          exact_row(i, begin, end, row);
          write_table_row(i, begin, end, row);
        }
      });
      return;
    }
    executor.for_ranges(n_, kTableRange, [&](std::size_t begin, std::size_t end) {
      with_rows(points_, [&](auto rows) { table_range(rows, begin, end); });
    });
  }

  // Entries (x, i) and (i, x) for x in [begin, end) at or after i, from row[x - begin].
  void write_table_row(std::size_t i, std::size_t begin, std::size_t end, const double* row) {
    Units* table = table_->data();
    for (std::size_t x = std::max(begin, i); x < end; ++x) {
      table[x * stride_ + i] = table[i * stride_ + x] = units(row[x - begin]);
    }
  }

  // The table's columns [begin, end), blocked for the cache: a block of points i (about
  // kTableBlockBytes of rows) meets each tile of kTableTile points x in turn, so the tile stays
  // in the first-level cache and the block in the second. Floats are widened a block at a time.
  template <class T>
  void table_range(const T* rows, std::size_t begin, std::size_t end) {
    const std::size_t d = points_.d;
    const std::size_t block = std::max<std::size_t>(kTableTile, kTableBlockBytes / (8 * d));
    std::vector<double> block_buffer, tile_buffer;
    double row[kTableTile];
    for (std::size_t ib = 0; ib < end; ib += block) {
      const std::size_t ie = std::min(end, ib + block);
      const double* a = rows_as_doubles(rows + ib * d, ie - ib, d, block_buffer);
      for (std::size_t tb = begin; tb < end; tb += kTableTile) {
        const std::size_t te = std::min(end, tb + kTableTile);
        if (te <= ib) continue;
        const double* tile = rows_as_doubles(rows + tb * d, te - tb, d, tile_buffer);
        for (std::size_t i = ib; i < std::min(ie, te); ++i) {
          row_distances(a + (i - ib) * d, tile, nullptr, d, te - tb, row);
          write_table_row(i, tb, te, row);
        }
      }
    }
  }

  // Exact unit distances to the points not certainly beyond floor; cap for the others.
  void exact_unit_row(std::size_t i, std::size_t begin, std::size_t end, const TriangleFloor& floor,
                      Units* out) const {
    std::size_t list[kCandidateGrain];
    double exact[kCandidateGrain];
    std::size_t m = 0;
    for (std::size_t x = begin; x < end; ++x) {
      if (floor.beyond(x)) {
        out[x - begin] = cap_;
      } else {
        list[m++] = x;
      }
    }
    if (m == 0) return;  // the common case: no row to widen
    const std::size_t d = points_.d;
    with_rows(points_, [&](auto rows) {
      std::vector<double> widened;
      row_distances(rows_as_doubles(rows + i * d, 1, d, widened), rows, list, d, m, exact);
    });
    for (std::size_t j = 0; j < m; ++j) out[list[j] - begin] = units(exact[j]);
  }

  // Coordinates in units around the middle of the trimmed box, in float and clipped into
  // [-cap, cap]: unit distances at a fraction of the cost of exact ones.
  void float_columns(const UnitScale& unit) {
    const std::size_t d = points_.d;
    const double limit = static_cast<double>(cap_);
    float_columns_.resize(n_ * d);
    with_rows(points_, [&](auto rows) {
      for (std::size_t i = 0; i < n_; ++i) {
        for (std::size_t k = 0; k < d; ++k) {
          // Not NaN: the coordinates are finite, so the difference is at worst infinite.
          // Clipped before the conversion, which is undefined beyond the range of float.
          const double u = (static_cast<double>(rows[i * d + k]) - unit.middle[k]) * scale_;
          float_columns_[k * n_ + i] = static_cast<float>(std::clamp(u, -limit, limit));
        }
      }
    });
  }

  const PointSet& points_;
  std::size_t n_;
  double scale_;
  Units cap_;
  std::optional<PointColumns> columns_;    // only where lanes across points pay: d <= 64
  std::optional<LineArray<Units>> table_;  // row i at i * stride_
  std::size_t stride_ = 0;
  std::vector<float> float_columns_;
};

// For every point the nearest and second-nearest medoid distance with their positions, so that
// the cost without the medoid at one position is known per point in O(1). The search runs only
// on finite coordinates, so no distance is NaN and equal minima are equal to the bit.
struct NearestMedoids {
  std::vector<double> near1, near2;
  std::vector<std::size_t> pos1, pos2;
  // Where n * t is within kBoundEntryLimit: the distance from point i to the medoid at
  // position q at [q * n + i], so that a point that loses its nearest medoid needs no new one
  // and the bounds have the distances from every point to one medoid in a row.
  std::vector<double> to_medoid;

  NearestMedoids(const PointSet& points, const Distances& distances, const Indices& medoids,
                 const Executor& executor)
      : near1(points.n, kInfinity), near2(points.n, kInfinity), pos1(points.n), pos2(points.n) {
    const std::size_t t = medoids.size();
    if (t <= kBoundEntryLimit / points.n) to_medoid.resize(points.n * t);
    executor.for_ranges(points.n, kCandidateGrain, [&](std::size_t begin, std::size_t end) {
      std::vector<double> row(end - begin);
      for (std::size_t q = 0; q < t; ++q) {
        distances.exact_row(medoids[q], begin, end, row.data());
        for (std::size_t i = begin; i < end; ++i) {
          insert(i, row[i - begin], q);
          if (!to_medoid.empty()) to_medoid[q * points.n + i] = row[i - begin];
        }
      }
    });
  }

  // The cost of the current medoids, summed in point order.
  double cost() const {
    double total = 0.0;
    for (double v : near1) total = total + v;
    return total;
  }

  // The triangle bound on distances from point i through its two nearest medoids, against
  // `floor` units of 1 / scale (only where to_medoid is kept).
  TriangleFloor triangle_floor(std::size_t i, Units floor, double scale, std::size_t d) const {
    const std::size_t n = near1.size();
    const double slack = (static_cast<double>(d) + 64.0) * 0x1p-50;
    return TriangleFloor{to_medoid.data() + pos1[i] * n,
                         to_medoid.data() + pos2[i] * n,
                         near1[i],
                         near2[i],
                         slack,
                         scale,
                         static_cast<double>(floor)};
  }

  // Point i's distance to its nearest medoid other than the one at position p.
  double rest(std::size_t i, std::size_t p) const { return pos1[i] == p ? near2[i] : near1[i]; }

  // Medoid position q is at distance v from point i; earlier positions win ties.
  void insert(std::size_t i, double v, std::size_t q) {
    if (v < near1[i]) {
      near2[i] = near1[i];
      pos2[i] = pos1[i];
      near1[i] = v;
      pos1[i] = q;
    } else if (v < near2[i]) {
      near2[i] = v;
      pos2[i] = q;
    }
  }

  // The medoid at position p is now medoids[p], at distances `column` from every point: points
  // [begin, end) follow, independently of the others.
  void replaced(const PointSet& points, const Indices& medoids, std::size_t p, const double* column,
                std::size_t begin, std::size_t end) {
    const std::size_t t = medoids.size();
    for (std::size_t i = begin; i < end; ++i) {
      if (!to_medoid.empty()) to_medoid[p * near1.size() + i] = column[i];
      if (pos1[i] != p && pos2[i] != p) {
        insert(i, column[i], p);
        continue;
      }
      near1[i] = near2[i] = kInfinity;
      for (std::size_t q = 0; q < t; ++q) {
        // point_distance is symmetric to the bit, so a stored distance is the one recomputed.
        insert(i,
               to_medoid.empty() ? distance_between(points, i, medoids[q])
                                 : to_medoid[q * near1.size() + i],
               q);
      }
    }
  }
};

// Candidates at distances row[0 .. m - 1] (units) from one point: takes the point's old terms
// out of their sums and puts its new ones in. old_column and new_column may be one array.
VORN_SIMD_CLONES
void replace_terms_apart(const Units* row, std::size_t m, Units a0, Units b0, Units a1, Units b1,
                         Sum* __restrict gain, Sum* __restrict old_column,
                         Sum* __restrict new_column) {
  for (std::size_t x = 0; x < m; ++x) {
    const Units q = row[x];
    const Units g0 = std::max(a0 - q, 0), h0 = std::max(b0 - q, 0);
    const Units g1 = std::max(a1 - q, 0), h1 = std::max(b1 - q, 0);
    gain[x] += g1 - g0;
    old_column[x] -= h0 - g0;
    new_column[x] += h1 - g1;
  }
}

VORN_SIMD_CLONES
void replace_terms_in_place(const Units* row, std::size_t m, Units a0, Units b0, Units a1, Units b1,
                            Sum* __restrict gain, Sum* __restrict column) {
  for (std::size_t x = 0; x < m; ++x) {
    const Units q = row[x];
    const Units g0 = std::max(a0 - q, 0), h0 = std::max(b0 - q, 0);
    const Units g1 = std::max(a1 - q, 0), h1 = std::max(b1 - q, 0);
    gain[x] += g1 - g0;
    column[x] += (h1 - g1) - (h0 - g0);
  }
}

// The first x in [from, n) with gain[x] + column[x] >= need and is_medoid[x] == 0, or n. Nearly
// every candidate fails, so blocks are tested without a branch per candidate.
VORN_SIMD_CLONES
std::size_t first_in_doubt(const Sum* gain, const Sum* column, const char* is_medoid,
                           std::int64_t need, std::size_t from, std::size_t n) {
  constexpr std::size_t kBlock = 16;
  std::size_t x = from;
  for (; x + kBlock <= n; x += kBlock) {
    int any = 0;
    for (std::size_t k = 0; k < kBlock; ++k) {
      any |= int(gain[x + k] + column[x + k] >= need) & int(is_medoid[x + k] == 0);
    }
    if (any != 0) break;
  }
  for (; x < n; ++x) {
    if (gain[x] + column[x] >= need && is_medoid[x] == 0) return x;
  }
  return n;
}

// Bounds on how much every swap would change the cost, in integer units so that they are kept
// up to date exactly, in any order and on any number of threads. With rest_i the distance from
// point i to its nearest medoid but the one at position p, swapping candidate x in at p saves
// gain = sum_i max(rest_i - d(i, x), 0) and loses loss(p) = sum_i (rest_i - near1_i). gain
// splits into G(x) = sum_i max(near1_i - d(i, x), 0) plus, over the points whose nearest
// medoid is at p, C(p, x) = sum max(near2_i - d(i, x), 0) - max(near1_i - d(i, x), 0).
// A bound may skip a candidate only if it never overstates the change: unit distances d(i, x)
// held at cap (or taken between clipped coordinates) are too small, which only raises gain and
// is safe; a nearest or second-nearest distance held at cap would lower gain and loss, so a
// position whose terms hold one gets no bound (reliable() is false).
class SwapBounds {
 public:
  SwapBounds(const NearestMedoids& nearest, const Distances& distances, std::size_t t,
             const Executor& executor)
      : n_(nearest.near1.size()),
        q1_(n_),
        q2_(n_),
        pos_(n_),
        stride_(LineArray<Sum>::whole_lines(n_)),
        gain_(n_, true),
        column_(t * stride_, true),
        loss_(t, 0),
        cap_(distances.cap()),
        capped_near1_at_(t, 0),
        capped_near2_at_(t, 0) {
    std::vector<Term> all(n_);
    for (std::size_t i = 0; i < n_; ++i) {
      quantise(nearest, distances, i);
      note_capped(i, capped_);
      account(q1_[i], q2_[i], pos_[i], 1);
      all[i] = Term{i, q1_[i], q2_[i], pos_[i], q1_[i], q2_[i], pos_[i]};
      all[i].old_q1 = all[i].old_q2 = -1;  // nothing to take out: every distance is >= 0
    }
    apply(all, nearest, distances, executor);
  }

  // loss(p) - gain for candidate x at position p, in units.
  std::int64_t change(std::size_t p, std::size_t x) const {
    return loss_[p] - gain_[x] - std::int64_t(column_[p * stride_ + x]);
  }
  std::int64_t loss(std::size_t p) const { return loss_[p]; }

  // The first candidate x from `from` on that is no medoid and whose change at position p is
  // not above threshold, or n: the only ones certainly_no_better keeps at a reliable position.
  // Elsewhere `from` itself, for the candidate-by-candidate test.
  std::size_t next_in_doubt(std::size_t p, std::int64_t threshold, const char* is_medoid,
                            std::size_t from) const {
    if (!reliable(p)) return from;
    // change(p, x) <= threshold exactly when gain + column >= loss - threshold: all far from
    // overflow (|sums| < n 2^31, 0 <= threshold < 2^63).
    return first_in_doubt(gain_.data(), column_.data() + p * stride_, is_medoid,
                          loss_[p] - threshold, from, n_);
  }

  // True when no term of a swap at position p holds a capped nearest or second-nearest distance.
  bool reliable(std::size_t p) const {
    return capped_near1_ == capped_near1_at_[p] && capped_near2_at_[p] == 0;
  }

  // The first few points (ascending) whose nearest or second-nearest distance is capped.
  const std::vector<std::size_t>& capped() const { return capped_; }

  // A point's old and new nearest and second-nearest distance (units) and nearest position.
  struct Term {
    std::size_t i;
    Units old_q1, old_q2;
    std::size_t old_pos;
    Units q1, q2;
    std::size_t pos;
  };

  // What a swap changed for one range of points: the terms that changed, and the first few
  // points (ascending) whose nearest or second-nearest distance is capped.
  struct Changes {
    std::vector<Term> terms;
    std::vector<std::size_t> capped;
  };

  // Requantises points [begin, end) after a swap, noting what changed in `changes`. Ranges of
  // points are independent, so they may follow a swap in parallel.
  void requantise(const NearestMedoids& nearest, const Distances& distances, std::size_t begin,
                  std::size_t end, Changes& changes) {
    changes.terms.clear();
    changes.capped.clear();
    for (std::size_t i = begin; i < end; ++i) {
      const Units a = q1_[i], b = q2_[i];
      const std::size_t p = pos_[i];
      quantise(nearest, distances, i);
      note_capped(i, changes.capped);
      if (a == q1_[i] && b == q2_[i] && p == pos_[i]) continue;
      changes.terms.push_back(Term{i, a, b, p, q1_[i], q2_[i], pos_[i]});
    }
  }

  // Follows a swap, given the changes of consecutive ranges of points in point order: replaces
  // the terms of the points whose nearest or second-nearest distance changed.
  void update(const std::vector<Changes>& ranges, const NearestMedoids& nearest,
              const Distances& distances, const Executor& executor) {
    changed_.clear();
    capped_.clear();
    for (const Changes& changes : ranges) {
      for (std::size_t i : changes.capped) {
        if (capped_.size() < kCappedChecks) capped_.push_back(i);
      }
      for (const Term& term : changes.terms) {
        account(term.old_q1, term.old_q2, term.old_pos, -1);
        account(term.q1, term.q2, term.pos, 1);
        changed_.push_back(term);
      }
    }
    apply(changed_, nearest, distances, executor);
  }

 private:
  // Adds (sign 1) or removes (sign -1) a point's term of loss and its capped distances.
  void account(Units q1, Units q2, std::size_t pos, int sign) {
    loss_[pos] += sign * std::int64_t(q2 - q1);
    if (q1 == cap_) {
      capped_near1_ += sign;
      capped_near1_at_[pos] += sign;
    }
    if (q2 == cap_) capped_near2_at_[pos] += sign;
  }

  void note_capped(std::size_t i, std::vector<std::size_t>& capped) const {
    if ((q1_[i] == cap_ || q2_[i] == cap_) && capped.size() < kCappedChecks) capped.push_back(i);
  }

  void quantise(const NearestMedoids& nearest, const Distances& distances, std::size_t i) {
    q1_[i] = distances.units(nearest.near1[i]);
    q2_[i] = distances.units(nearest.near2[i]);
    pos_[i] = nearest.pos1[i];
  }

  template <class T>
  static void replace_terms(const T& term, const Units* row, std::size_t m, Sum* gain,
                            Sum* old_column, Sum* new_column) {
    if (old_column == new_column) {
      replace_terms_in_place(row, m, term.old_q1, term.old_q2, term.q1, term.q2, gain, new_column);
    } else {
      replace_terms_apart(row, m, term.old_q1, term.old_q2, term.q1, term.q2, gain, old_column,
                          new_column);
    }
  }

  // Takes each point's old terms out of every candidate's sums and puts its new ones in.
  // Candidates are independent and integer sums exact, so ranges of them run in parallel. A
  // candidate at or beyond both second-nearest distances has every term 0, whatever its exact
  // distance, so the rows may hold it as cap.
  void apply(const std::vector<Term>& terms, const NearestMedoids& nearest,
             const Distances& distances, const Executor& executor) {
    executor.for_ranges(n_, kCandidateGrain, [&](std::size_t begin, std::size_t end) {
      Units buffer[kCandidateGrain];
      const std::size_t m = end - begin;
      for (const Term& term : terms) {
        const TriangleFloor floor = nearest.triangle_floor(
            term.i, std::max(term.old_q2, term.q2), distances.scale(), distances.dimension());
        const Units* row = distances.unit_row(term.i, begin, end, floor, buffer);
        Sum* columns = column_.data() + begin;
        replace_terms(term, row, m, gain_.data() + begin, columns + term.old_pos * stride_,
                      columns + term.pos * stride_);
      }
    });
  }

  std::size_t n_;
  std::vector<Units> q1_, q2_;
  std::vector<std::size_t> pos_;
  std::size_t stride_;  // of the rows of column_, whole cache lines
  // Ranges of kCandidateGrain candidates are whole lines of both: two threads never share one.
  LineArray<Sum> gain_, column_;
  std::vector<std::int64_t> loss_;
  Units cap_;
  // Points whose nearest distance is capped, in all and by nearest position; points whose
  // second-nearest distance is capped, by nearest position.
  std::int64_t capped_near1_ = 0;
  std::vector<std::int64_t> capped_near1_at_, capped_near2_at_;
  std::vector<std::size_t> capped_;
  std::vector<Term> changed_;
};

// A change in units above the returned value certainly leaves the cost no lower. Each term of
// loss errs by under one unit and each of gain by under one plus unit_error, and the two exact
// sums the swap is decided by by n units in the last place; everything doubled for the test's
// own roundings. The largest value when no bound can be given (an infinite cost, say).
std::int64_t change_threshold(std::int64_t loss, double current, std::size_t n, double scale,
                              double unit_error) {
  const double terms = static_cast<double>(n) + 8.0;
  const double loss_bound = (static_cast<double>(loss) + terms * (2.0 + unit_error)) / scale;
  const double slack = 2.0 * terms * (2.0 + unit_error) +
                       scale * (2.0 * current + loss_bound) * 8.0 * terms * 0x1p-53;
  // An integer change exceeds slack exactly when it exceeds floor(slack). NaN fails the test.
  if (!(slack < 0x1p62)) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(std::floor(slack));
}

// True when candidate x at position p certainly gives a cost no lower than `current`. Where the
// unit bounds hold no capped distance they decide (threshold from change_threshold); elsewhere
// the exact terms of a few far points do: a sum of non-negative terms, rounded after each
// addition, is never below any one of them, so a single term at or above `current` rules the
// swap out.
bool certainly_no_better(const SwapBounds& bounds, const NearestMedoids& nearest,
                         const PointSet& points, std::size_t p, std::size_t x, double current,
                         std::int64_t threshold) {
  if (bounds.reliable(p)) return bounds.change(p, x) > threshold;
  for (std::size_t i : bounds.capped()) {
    const double v = distance_between(points, i, x), r = nearest.rest(i, p);
    if (!((v < r ? v : r) < current)) return true;
  }
  return false;
}

// The cost with point x at position p, if it is strictly below `current`: the sum over points
// in order of min(rest, d(i, x)), computed piece by piece. Partial sums of non-negative terms
// never decrease, so the sum stops as soon as it reaches `current`; a completed sum is the exact
// cost, and `column` then holds every distance to x.
bool cheaper(const NearestMedoids& nearest, const Distances& distances, std::size_t p,
             std::size_t x, double current, double* cost, std::vector<double>& column,
             const Executor& executor) {
  const std::size_t n = column.size();
  double total = 0.0;
  PollPacer pacer(executor, 64);
  for (std::size_t begin = 0; begin < n; begin += kPiece) {
    const std::size_t end = std::min(n, begin + kPiece);
    pacer.step();
    distances.exact_row(x, begin, end, column.data() + begin);
    for (std::size_t i = begin; i < end; ++i) {
      const double c = column[i], r = nearest.rest(i, p);
      total = total + (c < r ? c : r);
    }
    if (!(total < current)) return false;
  }
  *cost = total;
  return true;
}

// After a swap at position p (the new medoid at distances `column` from every point): the
// nearest medoids of every point and the terms of the bounds follow, ranges of points in
// parallel; the bounds then take the changed terms in point order.
void follow_swap(const PointSet& points, const Indices& medoids, std::size_t p,
                 const double* column, const Distances& distances, const Executor& executor,
                 NearestMedoids& nearest, SwapBounds* bounds,
                 std::vector<SwapBounds::Changes>& changes) {
  changes.resize((points.n - 1) / kPiece + 1);
  executor.for_ranges(points.n, kPiece, [&](std::size_t begin, std::size_t end) {
    nearest.replaced(points, medoids, p, column, begin, end);
    if (bounds) bounds->requantise(nearest, distances, begin, end, changes[begin / kPiece]);
  });
  if (bounds) bounds->update(changes, nearest, distances, executor);
}

// Swaps medoids (positions 1 .. t - 1) in first-improvement order until max_iterations swaps
// or a pass without one.
void swap_search(const PointSet& points, std::uint64_t max_iterations, std::size_t table_entries,
                 const Executor& executor, Indices& medoids, KMedoidsWork& work) {
  const std::size_t n = points.n, t = medoids.size();
  std::vector<char> is_medoid(n, 0);
  for (std::uint64_t m : medoids) is_medoid[m] = 1;
  const Distances distances(points, unit_scale(points), table_entries, executor);
  NearestMedoids nearest(points, distances, medoids, executor);
  double current = nearest.cost();
  std::optional<SwapBounds> bounds;
  if (t <= kBoundEntryLimit / n) bounds.emplace(nearest, distances, t, executor);
  std::vector<double> column(n);
  std::vector<SwapBounds::Changes> changes;
  std::uint64_t swaps = 0;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (std::size_t p = 1; p < t && !swapped; ++p) {
      executor.poll();
      const std::int64_t threshold =
          bounds ? change_threshold(bounds->loss(p), current, n, distances.scale(),
                                    distances.unit_error())
                 : 0;
      for (std::size_t x = 0; x < n; ++x) {
        if (bounds) x = bounds->next_in_doubt(p, threshold, is_medoid.data(), x);
        if (x == n) break;
        if (is_medoid[x]) continue;
        if (bounds && certainly_no_better(*bounds, nearest, points, p, x, current, threshold)) {
          continue;
        }
        ++work.exact_costs;
        double cost;
        if (!cheaper(nearest, distances, p, x, current, &cost, column, executor)) continue;
        is_medoid[medoids[p]] = 0;
        is_medoid[x] = 1;
        medoids[p] = x;
        current = cost;
        if (++swaps == max_iterations) return;
        follow_swap(points, medoids, p, column.data(), distances, executor, nearest,
                    bounds ? &*bounds : nullptr, changes);
        swapped = true;  // first improvement: start the next pass from position 1
        break;
      }
    }
  }
}

}  // namespace

double compute_total_distance(const PointSet& points, const Indices& medoids) {
  double total = 0.0;
  for (std::size_t i = 0; i < points.n; ++i) {
    double m = kInfinity;
    for (std::uint64_t k : medoids) {
      const double v = distance_between(points, i, k);
      if (!std::isnan(v) && v < m) m = v;  // a NaN distance is passed over
    }
    total = total + m;
  }
  return total;
}

Indices sample_centroid_kmedoids(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                                 std::uint64_t max_iterations, const Executor& executor) {
  KMedoidsWork unused;
  return sample_centroid_kmedoids(points, count, seed, max_iterations, executor, unused);
}

Indices sample_centroid_kmedoids(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                                 std::uint64_t max_iterations, const Executor& executor,
                                 KMedoidsWork& work) {
  return sample_centroid_kmedoids(points, count, seed, max_iterations, executor, work,
                                  kTableEntryLimit);
}

Indices sample_centroid_kmedoids(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                                 std::uint64_t max_iterations, const Executor& executor,
                                 KMedoidsWork& work, std::size_t table_entries) {
  SeededRng rng = SeededRng::seed_from_u64(seed);
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::uint64_t t = count < n ? count : n;
  const std::uint64_t first = nearest_to_centroid(points);

  // The only random draw, made even when no candidate is used.
  Indices candidates;
  candidates.reserve(n - 1);
  for (std::size_t i = 0; i < n; ++i) {
    if (i != first) candidates.push_back(i);
  }
  rng.shuffle(candidates.data(), candidates.size());
  Indices medoids(t);
  medoids[0] = first;
  for (std::size_t p = 1; p < t; ++p) medoids[p] = candidates[p - 1];
  if (max_iterations == 0 || t < 2 || t == n) return medoids;  // t == n: nothing to swap in
  swap_search(points, max_iterations, table_entries, executor, medoids, work);
  return medoids;
}

}  // namespace vorn
