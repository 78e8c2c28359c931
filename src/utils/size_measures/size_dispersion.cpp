// Mean Euclidean distance over all unordered pairs of points.
// The total is summed pair by pair in (i, j > i) order: results are compared bit for bit.
#include "utils/size_measures/size_dispersion.h"

// The 32-byte vectors of the distance kernel never cross a call (everything inlines into the
// one function built for each instruction set), so the note that passing them would change
// the ABI does not apply; it comes from the shared header, hence before the includes.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "base/compiler_hints.h"
#include "base/simd_clones.h"
#include "base/simd_lanes.h"

namespace vorn {

namespace {

// Pairs summed between two polls below eight dimensions.
constexpr std::size_t kBlockPairs = std::size_t(1) << 17;

// For d < 8 the coordinates are held column by column, so that the distances of consecutive
// j run side by side in vector lanes; each lane rounds exactly as point_distance does.

// The distance from the point whose axes are a to point j, the squares added axis by axis.
template <std::size_t D>
inline double column_distance(const double* a, const double* columns, std::size_t n,
                              std::size_t j) {
  double r = 0.0;
  for (std::size_t k = 0; k < D; ++k) {
    const double v = a[k] - columns[k * n + j];
    r = r + v * v;
  }
  return std::sqrt(r);
}

// Continues total over the pairs (i, j > i) of rows i0 .. i1 - 1, one pair at a time, in order.
template <std::size_t D>
inline double columns_total(const double* columns, std::size_t n, std::size_t i0, std::size_t i1,
                            double total) {
  double a[D];
  for (std::size_t i = i0; i < i1; ++i) {
    for (std::size_t k = 0; k < D; ++k) a[k] = columns[k * n + i];
    for (std::size_t j = i + 1; j < n; ++j) total = total + column_distance<D>(a, columns, n, j);
  }
  return total;
}

VORN_SIMD_CLONES
double columns_total_dispatch(const double* columns, std::size_t n, std::size_t d, std::size_t i0,
                              std::size_t i1, double total) {
  switch (d) {
    case 1: return columns_total<1>(columns, n, i0, i1, total);
    case 2: return columns_total<2>(columns, n, i0, i1, total);
    case 3: return columns_total<3>(columns, n, i0, i1, total);
    case 4: return columns_total<4>(columns, n, i0, i1, total);
    case 5: return columns_total<5>(columns, n, i0, i1, total);
    case 6: return columns_total<6>(columns, n, i0, i1, total);
    default: return columns_total<7>(columns, n, i0, i1, total);
  }
}

// out[j - i - 1]: the distances of pairs (i, j), j = i + 1 .. n - 1.
template <std::size_t D>
inline void columns_row(const double* columns, std::size_t n, std::size_t i, double* out) {
  double a[D];
  for (std::size_t k = 0; k < D; ++k) a[k] = columns[k * n + i];
  for (std::size_t j = i + 1; j < n; ++j) out[j - i - 1] = column_distance<D>(a, columns, n, j);
}

VORN_SIMD_CLONES
void columns_row_dispatch(const double* columns, std::size_t n, std::size_t d, std::size_t i,
                          double* out) {
  switch (d) {
    case 1: return columns_row<1>(columns, n, i, out);
    case 2: return columns_row<2>(columns, n, i, out);
    case 3: return columns_row<3>(columns, n, i, out);
    case 4: return columns_row<4>(columns, n, i, out);
    case 5: return columns_row<5>(columns, n, i, out);
    case 6: return columns_row<6>(columns, n, i, out);
    default: return columns_row<7>(columns, n, i, out);
  }
}

// Terms rounded to the grid of a binade and summed as integers. While a running total T stays
// in one binade [2^52 u, 2^53 u), every T + x rounds to T + u round(x / u), whatever T is,
// except where x / u is an odd multiple of 1/2 (ties to even then ask for T's parity): so a
// stretch without ties whose integer sum keeps T below 2^53 u is that sum, exactly.
struct GridSum {
  double units = 0.0;  // the sum of round(x / u): exact while below 2^53
  bool exact = true;   // no tie, no term of 2^52 units or more, no NaN
};

constexpr double kGridLimit = 0x1p53;

// Adding and taking away 2^52 rounds y in [0, 2^52) to the nearest integer, ties to even; the
// difference is exact, so a tie shows as +-1/2. The integer sums may run in lanes: each stays
// exact while the whole is below 2^53, and once past it no lane brings the whole back below.
// One term: adds round(y) to units and clears exact on a tie, a term past 2^52 or NaN.
inline void grid_term(double y, double& units, bool& exact) {
  const double w = (y + 0x1p52) - 0x1p52;
  const double part = y - w;
  exact = exact & (y < 0x1p52) & (part != 0.5) & (part != -0.5);
  units = units + w;
}

VORN_SIMD_CLONES
GridSum grid_sum(const double* x, std::size_t count, double inverse_unit) {
  double units = 0.0;
  bool exact = true;
  std::size_t k = 0;
#if VORN_VECTOR_EXTENSIONS
  // The same per-term steps in four lanes, the integer sum kept per lane.
  typedef long long Mask __attribute__((vector_size(32)));
  F64x4 lanes = F64x4{};
  Mask bad = Mask{};
  const F64x4 shift = F64x4{} + 0x1p52, half = F64x4{} + 0.5;
  for (; k + 4 <= count; k += 4) {
    F64x4 y;
    load_lanes(x + k, y);
    y = y * inverse_unit;  // exact: a power of two
    const F64x4 w = (y + shift) - shift;
    const F64x4 part = y - w;
    bad |= ~(y < shift) | (part == half) | (part == -half);
    lanes = lanes + w;
  }
  exact = !(bad[0] | bad[1] | bad[2] | bad[3]);
  units = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
#endif
  for (; k < count; ++k) grid_term(x[k] * inverse_unit, units, exact);
  return GridSum{units, exact};
}

// u of total's binade as its inverse, or 0 where the grid argument is not used: totals so small
// that 1/u would overflow (the first few terms at most), infinite or NaN.
double inverse_unit(double total) {
  if (!(total >= 0x1p-969) || total == HUGE_VAL) return 0.0;
  int e = 0;
  std::frexp(total, &e);  // total in [2^(e-1), 2^e): u = 2^(e - 53)
  return std::ldexp(1.0, 53 - e);
}

// total + x[0] + ... + x[count - 1], added one at a time in order, or by its grid sum where that
// gives the same bits. g: the grid sum of x in the binade of total, if known.
double add_in_order(double total, const double* x, std::size_t count, GridSum g, bool known) {
  const double inverse = inverse_unit(total);
  if (inverse != 0.0) {
    if (!known) g = grid_sum(x, count, inverse);
    const double m = total * inverse;  // an integer in [2^52, 2^53)
    if (g.exact && g.units < kGridLimit - m)
      return (m + g.units) / inverse;  // exact: an integer below 2^53, a power of two
  }
  for (std::size_t k = 0; k < count; ++k) total = total + x[k];
  return total;
}

// From eight dimensions on, the rows are read as stored: eight coordinates fill two vectors,
// whose lanes are a pair's eight partial sums (lane k of the low vector is s_k, of the high one
// s_(k+4)), so each lane rounds exactly as point_distance's partial sum does. A tile of 2 x 2
// pairs shares its loads; the combination and the tail follow point_distance's order.
using Vec = F64x4;

constexpr std::size_t kTile = 2;           // rows and columns of a tile of pairs
constexpr std::size_t kChunkColumns = 64;  // columns of one piece: kept in L2 while rows pass
constexpr std::size_t kMaxBlockRows = 32;  // rows of one step of the sum
// Distances one step holds at most (two steps are alive): the rows of a step shrink for large n.
constexpr std::size_t kStepDistances = std::size_t(1) << 21;
// Coordinates of a piece widened from floats at most (2 MiB a thread).
constexpr std::size_t kWidenedPiece = std::size_t(1) << 18;

// out[r][c]: the squared point_distance sums of rows a + r d (r < R) with columns b + c d (c < C).
// Rows of floats are widened as they are loaded.
template <std::size_t R, std::size_t C, class T>
VORN_ALWAYS_INLINE void tile_square_sums(const T* a, const T* b, std::size_t d,
                                         double (&out)[R][C]) {
  Vec lo[R][C], hi[R][C];
  for (std::size_t r = 0; r < R; ++r)
    for (std::size_t c = 0; c < C; ++c) lo[r][c] = hi[r][c] = Vec{};
  const std::size_t full = d / 8 * 8;
  for (std::size_t k = 0; k < full; k += 8) {
    Vec b0[C], b1[C];
    for (std::size_t c = 0; c < C; ++c) {
      load_lanes(b + c * d + k, b0[c]);
      load_lanes(b + c * d + k + 4, b1[c]);
    }
    for (std::size_t r = 0; r < R; ++r) {
      Vec a0, a1;
      load_lanes(a + r * d + k, a0), load_lanes(a + r * d + k + 4, a1);
      for (std::size_t c = 0; c < C; ++c) {
        const Vec v0 = a0 - b0[c], v1 = a1 - b1[c];
        lo[r][c] = lo[r][c] + v0 * v0;
        hi[r][c] = hi[r][c] + v1 * v1;
      }
    }
  }
  for (std::size_t r = 0; r < R; ++r)
    for (std::size_t c = 0; c < C; ++c) {
      const Vec p = lo[r][c] + hi[r][c];  // s0 + s4, s1 + s5, s2 + s6, s3 + s7
      double sum = p[0];
      sum = sum + p[1];
      sum = sum + p[2];
      sum = sum + p[3];
      for (std::size_t k = full; k < d; ++k) {
        const double v = double(a[r * d + k]) - double(b[c * d + k]);  // never in float
        sum = sum + v * v;
      }
      out[r][c] = sum;
    }
}

// The pairs of one step: rows [i0, i1) with every later point. Row i's distances start at
// offset(i) in the step's output and run in column order.
struct RowBlock {
  std::size_t n, i0, i1;
  std::size_t offset(std::size_t i) const { return (i - i0) * (2 * n - i0 - i - 1) / 2; }
  std::size_t pairs() const { return offset(i1); }
};

// The coordinates a step reads: row r at rows + (r - i0) d, column j >= c0 at cols + (j - c0) d.
template <class T>
struct PieceRows {
  const T *rows, *cols;
  std::size_t d, c0;
};

// Rows r0 .. r0 + R - 1 against columns j .. j + C - 1, every column beyond every row.
template <std::size_t R, std::size_t C, class T>
VORN_ALWAYS_INLINE void tile_distances(const PieceRows<T>& x, const RowBlock& block, std::size_t r0,
                                       std::size_t j, double* out) {
  double sums[R][C];
  tile_square_sums<R, C>(x.rows + (r0 - block.i0) * x.d, x.cols + (j - x.c0) * x.d, x.d, sums);
  for (std::size_t r = 0; r < R; ++r)
    for (std::size_t c = 0; c < C; ++c)
      out[block.offset(r0 + r) + (j + c - r0 - r - 1)] = std::sqrt(sums[r][c]);
}

// The distances of block's pairs whose column lies in [x.c0, c1), written to out.
template <class T>
VORN_ALWAYS_INLINE void tiled_block_distances(const PieceRows<T>& x, const RowBlock& block,
                                              std::size_t c1, double* out) {
  const std::size_t c0 = x.c0;
  for (std::size_t r0 = block.i0; r0 < block.i1; r0 += kTile) {
    const std::size_t rows = std::min(kTile, block.i1 - r0);
    // Columns within the tile's own rows: one pair at a time.
    for (std::size_t r = r0; r < r0 + rows; ++r)
      for (std::size_t j = std::max(c0, r + 1); j < std::min(c1, r0 + rows); ++j)
        tile_distances<1, 1>(x, block, r, j, out);
    std::size_t j = std::max(c0, r0 + rows);
    if (rows == kTile)
      for (; j + kTile <= c1; j += kTile) tile_distances<kTile, kTile>(x, block, r0, j, out);
    for (; j < c1; ++j)
      for (std::size_t r = r0; r < r0 + rows; ++r) tile_distances<1, 1>(x, block, r, j, out);
  }
}

// Clang cannot make clones of a template: one function for each row type.
VORN_SIMD_CLONES void block_distances(const PieceRows<double>& x, const RowBlock& block,
                                      std::size_t c1, double* out) {
  tiled_block_distances(x, block, c1, out);
}
VORN_SIMD_CLONES void block_distances(const PieceRows<float>& x, const RowBlock& block,
                                      std::size_t c1, double* out) {
  tiled_block_distances(x, block, c1, out);
}

// The distances of block's pairs whose column lies in [c0, c1), written to out. Floats are
// widened once per piece, not at every tile that loads them, unless the piece's rows would
// take more than kWidenedPiece doubles: then the tiles widen them as they load them.
void piece_distances(const PointSet& points, const RowBlock& b, std::size_t c0, std::size_t c1,
                     double* out) {
  const std::size_t d = points.d, rows = b.i1 - b.i0;
  if (!points.is_float32()) {
    const double* x = points.coords.data();
    return block_distances(PieceRows<double>{x + b.i0 * d, x + c0 * d, d, c0}, b, c1, out);
  }
  const float* x = points.coords.floats();
  if ((rows + c1 - c0) * d > kWidenedPiece)
    return block_distances(PieceRows<float>{x + b.i0 * d, x + c0 * d, d, c0}, b, c1, out);
  Coordinates wide((rows + c1 - c0) * d);
  widen(x + b.i0 * d, rows * d, wide.data());
  widen(x + c0 * d, (c1 - c0) * d, wide.data() + rows * d);
  block_distances(PieceRows<double>{wide.data(), wide.data() + rows * d, d, c0}, b, c1, out);
}

// Rows in steps of at most kMaxBlockRows, fewer when n is large, so a step's output is bounded.
std::size_t step_rows(std::size_t n) {
  return std::max<std::size_t>(1, std::min(kMaxBlockRows, kStepDistances / n));
}

// Step after step, the distances of one block of rows are computed in column pieces (in
// parallel when the executor has threads) while the previous block's are added to the total
// in pair order: the total is the same chain of additions on every thread count.
double tiled_total(const PointSet& points, const Executor& executor) {
  const std::size_t n = points.n, rows = step_rows(n);
  const std::size_t steps = (n - 1 + rows - 1) / rows;
  const auto block = [&](std::size_t s) {
    return RowBlock{n, s * rows, std::min(n - 1, (s + 1) * rows)};
  };
  const auto pieces = [&](std::size_t s) {
    return (n - (block(s).i0 + 1) + kChunkColumns - 1) / kChunkColumns;
  };
  std::vector<double> buffers[2] = {std::vector<double>(block(0).pairs()),
                                    std::vector<double>(block(0).pairs())};
  double total = 0.0;
  executor.pipeline(
      steps, pieces,
      [&](std::size_t s, std::size_t piece) {
        const RowBlock b = block(s);
        const std::size_t c0 = b.i0 + 1 + piece * kChunkColumns;
        const std::size_t c1 = std::min(n, c0 + kChunkColumns);
        piece_distances(points, b, c0, c1, buffers[s % 2].data());
      },
      [&](std::size_t s) {
        const double* ready = buffers[s % 2].data();
        for (std::size_t p = 0, count = block(s).pairs(); p < count; ++p) total = total + ready[p];
      });
  return total;
}

// The coordinates axis by axis, as doubles: axis k of point i at [k * n + i].
std::vector<double> column_major(const PointSet& points) {
  const std::size_t n = points.n, d = points.d;
  std::vector<double> columns(n * d);
  with_rows(points, [&](auto rows) {
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t k = 0; k < d; ++k) columns[k * n + i] = rows[i * d + k];
  });
  return columns;
}

// Below eight dimensions: one thread, the distances added as they are computed, a block of
// rows between polls. A distance there costs less than the addition it feeds, so that one
// thread already runs at the pace of the chain of additions: more threads could only wait.
double columns_sequential_total(const PointSet& points, const Executor& executor) {
  const std::size_t n = points.n, d = points.d;
  const std::vector<double> columns = column_major(points);
  double total = 0.0;
  for (std::size_t i0 = 0; i0 + 1 < n;) {
    executor.poll();
    std::size_t i1 = i0, count = 0;
    while (i1 + 1 < n && count < kBlockPairs) count += n - 1 - i1++;
    total = columns_total_dispatch(columns.data(), n, d, i0, i1, total);
    i0 = i1;
  }
  return total;
}

// More threads, below eight dimensions: each step's rows get their distances and their grid
// sums (in the binade the total has when the step starts) in parallel; then the rows are added
// in order, each by its grid sum where the argument holds, else one distance at a time.
double grid_total(const PointSet& points, const Executor& executor) {
  const std::size_t n = points.n, d = points.d;
  const std::vector<double> columns = column_major(points);
  std::vector<double> distances(std::max(kBlockPairs, n));
  std::vector<std::size_t> starts;
  std::vector<GridSum> sums;
  double total = 0.0;
  for (std::size_t i0 = 0; i0 + 1 < n;) {
    starts.assign(1, 0);
    std::size_t i1 = i0;
    while (i1 + 1 < n && starts.back() + (n - 1 - i1) <= distances.size())
      starts.push_back(starts.back() + (n - 1 - i1++));
    sums.assign(i1 - i0, GridSum());
    const double inverse = inverse_unit(total);
    executor.for_ranges(i1 - i0, 1, [&](std::size_t begin, std::size_t end) {
      for (std::size_t r = begin; r < end; ++r) {
        double* out = distances.data() + starts[r];
        columns_row_dispatch(columns.data(), n, d, i0 + r, out);
        if (inverse != 0.0) sums[r] = grid_sum(out, n - 1 - (i0 + r), inverse);
      }
    });
    // The total never decreases, so once a row takes it out of the step's binade every later
    // row's grid sum is stale: add_in_order takes it again on the new grid.
    for (std::size_t r = 0; r < i1 - i0; ++r) {
      const bool known = inverse != 0.0 && inverse_unit(total) == inverse;
      total = add_in_order(total, distances.data() + starts[r], n - 1 - (i0 + r), sums[r], known);
    }
    i0 = i1;
  }
  return total;
}

}  // namespace

double size_dispersion(const PointSet& points, const Executor& executor) {
  const std::size_t n = points.n;
  if (n < 2) return 0.0;
  const double total = points.d >= 8            ? tiled_total(points, executor)
                       : executor.threads() > 1 ? grid_total(points, executor)
                                                : columns_sequential_total(points, executor);
  // n(n - 1)/2 exactly, halving the even factor first so that it cannot overflow.
  const std::uint64_t count =
      (n % 2 == 0) ? std::uint64_t(n / 2) * (n - 1) : std::uint64_t(n) * ((n - 1) / 2);
  return total / static_cast<double>(count);
}

}  // namespace vorn
