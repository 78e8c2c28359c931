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
#include <cstring>
#include <vector>

#include "base/compiler_hints.h"
#include "base/simd_clones.h"
#include "base/simd_lanes.h"

namespace vorn {

namespace {

// Pairs summed between two polls below eight dimensions.
constexpr std::size_t kBlockPairs = std::size_t(1) << 17;
// Grid sums: the most pairs in one step of rows, and the fewest rows a thread.
constexpr std::size_t kStepPairs = std::size_t(1) << 22;
constexpr std::size_t kMinStepRows = 2;
// Pairs of the rows a thread takes at once in a step: enough to make taking them cheap, few
// enough that the threads finish a step at about the same time.
constexpr std::size_t kRangePairs = std::size_t(1) << 14;
// Up to four dimensions a distance costs less than the addition it feeds, so that one thread
// adding them one at a time runs at the pace of that chain of additions, which the grid sums
// leave out: they pay even on one thread. From five on they cost more than they save there.
constexpr std::size_t kGridOneThreadDims = 4;

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

// Terms rounded to the grid of a binade and summed as integers. While a running total T stays
// in one binade [2^52 u, 2^53 u), every T + x rounds to T + u round(x / u), whatever T is,
// except where x / u is an odd multiple of 1/2 (ties to even then ask for T's parity): so a
// stretch without ties whose integer sum keeps T below 2^53 u is that sum, exactly.
struct GridSum {
  double inverse = 0.0;  // 1 / u; 0: not summed
  double units = 0.0;    // the sum of round(x / u): exact while below 2^53
  bool exact = false;    // summed, with no tie, no term of 2^52 units or more, no NaN
};

constexpr double kGridLimit = 0x1p53;

// Adding and taking away 2^52 rounds y in [0, 2^52) to the nearest integer, ties to even; the
// difference is exact, so a tie shows as +-1/2. y = x / u is exact, u being a power of two
// (or so small that it rounds to 0 all the same).
// One term: adds round(y) to units and clears exact on a tie, a term past 2^52 or NaN.
VORN_ALWAYS_INLINE void grid_term(double y, double& units, bool& exact) {
  const double w = (y + 0x1p52) - 0x1p52;
  const double part = y - w;
  exact = exact & (y < 0x1p52) & (part != 0.5) & (part != -0.5);
  units = units + w;
}

#if VORN_VECTOR_EXTENSIONS
// Four terms at once, the integer sums kept per lane: each stays exact while the whole is below
// 2^53, and once past it no lane brings the whole back below, so a term of 2^52 units or more
// (or NaN) fails the caller's limit check and needs no test here. A tie shows in the largest
// or the least difference.
VORN_LANE_HELPER void grid_lanes(const F64x4& y, F64x4& units, F64x4& most, F64x4& least) {
  const F64x4 w = (y + 0x1p52) - 0x1p52;
  const F64x4 part = y - w;
  most = part > most ? part : most;
  least = part < least ? part : least;
  units = units + w;
}
#endif

// The distances of the pairs (i, j > i), each rounded as point_distance rounds it, summed on
// the grid of u = 1 / inverse: four consecutive j in vector lanes, the rest one at a time.
template <std::size_t D>
VORN_ALWAYS_INLINE GridSum columns_row_grid(const double* columns, std::size_t n, std::size_t i,
                                            double inverse) {
  double a[D];
  for (std::size_t k = 0; k < D; ++k) a[k] = columns[k * n + i];
  GridSum g{inverse, 0.0, true};
  std::size_t j = i + 1;
#if VORN_VECTOR_EXTENSIONS
  F64x4 units = F64x4{}, most = F64x4{}, least = F64x4{};
  for (; j + 4 <= n; j += 4) {
    F64x4 r = F64x4{};
    for (std::size_t k = 0; k < D; ++k) {
      F64x4 c;
      load_lanes(columns + k * n + j, c);
      const F64x4 v = a[k] - c;
      r = r + v * v;
    }
    F64x4 x;
    for (std::size_t l = 0; l < 4; ++l) x[l] = std::sqrt(r[l]);
    grid_lanes(x * inverse, units, most, least);
  }
  g.units = (units[0] + units[1]) + (units[2] + units[3]);
  for (std::size_t l = 0; l < 4; ++l) g.exact = g.exact & (most[l] != 0.5) & (least[l] != -0.5);
#endif
  for (; j < n; ++j) grid_term(column_distance<D>(a, columns, n, j) * inverse, g.units, g.exact);
  return g;
}

VORN_SIMD_CLONES
GridSum columns_row_grid_dispatch(const double* columns, std::size_t n, std::size_t d,
                                  std::size_t i, double inverse) {
  switch (d) {
    case 1: return columns_row_grid<1>(columns, n, i, inverse);
    case 2: return columns_row_grid<2>(columns, n, i, inverse);
    case 3: return columns_row_grid<3>(columns, n, i, inverse);
    case 4: return columns_row_grid<4>(columns, n, i, inverse);
    case 5: return columns_row_grid<5>(columns, n, i, inverse);
    case 6: return columns_row_grid<6>(columns, n, i, inverse);
    default: return columns_row_grid<7>(columns, n, i, inverse);
  }
}

// u of total's binade as its inverse, or 0 where the grid argument is not used: totals so small
// that 1/u would overflow (the first few terms at most), infinite or NaN. Read from the bits,
// as it is asked for at every row: a total with biased exponent E lies in [2^(E - 1023),
// 2^(E - 1022)), so u = 2^(E - 1075) and 1/u has the biased exponent 2098 - E.
double inverse_unit(double total) {
  if (!(total >= 0x1p-969) || total == HUGE_VAL) return 0.0;
  std::uint64_t bits = 0;
  std::memcpy(&bits, &total, sizeof bits);
  bits = (2098 - (bits >> 52)) << 52;  // the sign bit of a positive total is 0
  double inverse = 0.0;
  std::memcpy(&inverse, &bits, sizeof inverse);
  return inverse;
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

// Below eight dimensions, one distance at a time: the distances added as they are computed, a
// block of rows between polls.
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

// A row's distances summed on the grids of the binades its total is foreseen to start in: one,
// or two where the start is foreseen near the end of a binade.
struct RowGrids {
  GridSum grid[2];
};

// Continues total over the rows i0, i0 + 1, ... of a step in order: each row by its grid sum of
// the total's binade where the argument holds, else one distance at a time (a tie, or the row
// that leaves the binade). Stops before a later row that has no grid sum of the total's binade
// (its start was foreseen wrongly): the caller plans again from there. Returns the rows added.
std::size_t add_rows(double& total, const std::vector<RowGrids>& grids, const double* columns,
                     std::size_t n, std::size_t d, std::size_t i0) {
  for (std::size_t r = 0; r < grids.size(); ++r) {
    const double inverse = inverse_unit(total);
    const GridSum* s = nullptr;
    for (const GridSum& g : grids[r].grid)  // the first: a second of the same binade is not summed
      if (s == nullptr && inverse != 0.0 && g.inverse == inverse) s = &g;
    if (s == nullptr && r > 0) return r;
    const double m = total * inverse;  // an integer in [2^52, 2^53)
    if (s != nullptr && s->exact && s->units < kGridLimit - m)
      total = (m + s->units) / inverse;  // exact: an integer below 2^53, a power of two
    else
      total = columns_total_dispatch(columns, n, d, i0 + r, i0 + r + 1, total);
  }
  return grids.size();
}

// The grids of the rows i0, i0 + 1, ... of a step that starts at total. A row's start is
// foreseen from mean, the mean distance of the previous step, give or take the spread that rows
// whose own means differ from it by a quarter would make; a row whose span of starts meets two
// binades is summed on both. A wrong guess costs time only: add_rows checks.
void plan_grids(double total, double mean, std::size_t n, std::size_t i0,
                std::vector<RowGrids>& grids) {
  double growth = 0.0, squares = 0.0;  // foreseen growth before the row, and sum of len^2
  for (std::size_t r = 0; r < grids.size(); ++r) {
    const double spread = 0.25 * mean * std::sqrt(squares), start = total + growth;
    grids[r].grid[0].inverse = inverse_unit(std::max(total, start - spread));
    grids[r].grid[1].inverse = inverse_unit(start + spread);
    const double len = double(n - 1 - (i0 + r));
    growth += mean * len;
    squares += len * len;
  }
}

// The end of the step of rows that starts at row i0 and takes at most `budget` pairs (one row
// at least).
std::size_t grid_step_end(std::size_t n, std::size_t i0, std::size_t budget) {
  std::size_t i1 = i0 + 1, pairs = n - 1 - i0;
  while (i1 + 1 < n && pairs + (n - 1 - i1) <= budget) pairs += n - 1 - i1++;
  return i1;
}

// The grid sums that grids asks for of the rows i0, i0 + 1, ..., in parallel.
void sum_row_grids(const std::vector<double>& columns, std::size_t n, std::size_t d, std::size_t i0,
                   std::vector<RowGrids>& grids, const Executor& executor) {
  const std::size_t grain = std::max<std::size_t>(1, kRangePairs / n);
  executor.for_ranges(grids.size(), grain, [&](std::size_t begin, std::size_t end) {
    for (std::size_t r = begin; r < end; ++r)
      for (GridSum& g : grids[r].grid)
        if (g.inverse != 0.0 && (&g == grids[r].grid || g.inverse != grids[r].grid[0].inverse))
          g = columns_row_grid_dispatch(columns.data(), n, d, i0 + r, g.inverse);
  });
}

// Step by step, the rows' grid sums are computed in parallel, then the rows are added in order,
// each by its grid sum where the argument holds, else one distance at a time. Steps too short
// to share out are added one distance at a time.
double grid_total(const PointSet& points, const Executor& executor) {
  const std::size_t n = points.n, d = points.d;
  const std::vector<double> columns = column_major(points);
  std::vector<RowGrids> grids;
  double total = 0.0, mean = 0.0;  // mean: of the last step's distances
  // A step takes about as many pairs as were added before it, so that the total (which grows by
  // the mean distance a pair) at most doubles and foreseeably crosses one binade at most; at
  // most kStepPairs, unless the fewest rows worth sharing out take more.
  const std::size_t fewest = kMinStepRows * executor.threads();
  const std::size_t most = std::max(kStepPairs, fewest * n);
  for (std::size_t i0 = 0, added = 0; i0 + 1 < n;) {
    std::size_t i1 = grid_step_end(n, i0, added);
    const double before = total;
    if (i1 - i0 < fewest || inverse_unit(total) == 0.0) {
      executor.poll();
      total = columns_total_dispatch(columns.data(), n, d, i0, i1, total);
    } else {
      grids.assign(i1 - i0, RowGrids());
      plan_grids(total, mean, n, i0, grids);
      sum_row_grids(columns, n, d, i0, grids, executor);
      i1 = i0 + add_rows(total, grids, columns.data(), n, d, i0);
    }
    const std::size_t pairs = (i1 - i0) * (2 * n - i0 - i1 - 1) / 2;
    mean = (total - before) / double(pairs);
    added = std::min(added + pairs, most);
    i0 = i1;
  }
  return total;
}

}  // namespace

double size_dispersion(const PointSet& points, const Executor& executor) {
  const std::size_t n = points.n;
  if (n < 2) return 0.0;
  const double total = points.d >= 8 ? tiled_total(points, executor)
                       : executor.threads() > 1 || points.d <= kGridOneThreadDims
                           ? grid_total(points, executor)
                           : columns_sequential_total(points, executor);
  // n(n - 1)/2 exactly, halving the even factor first so that it cannot overflow.
  const std::uint64_t count =
      (n % 2 == 0) ? std::uint64_t(n / 2) * (n - 1) : std::uint64_t(n) * ((n - 1) / 2);
  return total / static_cast<double>(count);
}

}  // namespace vorn
