// Scatter matrix of a point set about a given centre: S(r, c) = sum over points of (p[r] - m[r])
// (p[c] - m[c]). Every entry is one running sum taken in point order, each product and sum rounded
// on its own: never split or reorder it.
#include "utils/size_measures/centred_scatter.h"

// Vectors cross no call here (the lane helpers inline into each clone): GCC's ABI note is moot.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include <algorithm>

#include "base/compiler_hints.h"
#include "base/fixed_dimension.h"
#include "base/simd_clones.h"
#include "base/simd_lanes.h"

namespace vorn {

namespace {

// Every sum starts at -0.0, the one value v with v + x == x for every x (-0.0 included),
// so the first point's product enters exactly as it is.
constexpr double kEmptySum = -0.0;

// Points between two polls of a pass over the whole set.
constexpr std::size_t kPollPoints = std::size_t(1) << 16;

// A vector of `size` copies of value, filled a block at a time with polls between: with many
// dimensions and few points, touching the fresh pages of the matrices takes most of the time.
std::vector<double> filled(std::size_t size, double value, const Executor& executor) {
  std::vector<double> v;
  v.reserve(size);
  executor.for_each_block(size, kPollPoints,
                          [&](std::size_t, std::size_t end) { v.resize(end, value); });
  return v;
}

// Up to five dimensions: one pass over the n points of rows advances all d(d + 1)/2 distinct
// sums. Rows of floats are widened as they are read.
template <std::size_t D, class T>
void scatter_small(const T* rows, std::size_t n, const double* mean, double* s,
                   const Executor& executor) {
  constexpr std::size_t kSums = D * (D + 1) / 2;
  double m[D];
  double acc[kSums];
  for (std::size_t j = 0; j < D; ++j) m[j] = mean[j];
  for (std::size_t t = 0; t < kSums; ++t) acc[t] = kEmptySum;
  for (std::size_t k0 = 0; k0 < n; k0 += kPollPoints) {
    executor.poll();
    const std::size_t k1 = std::min(n, k0 + kPollPoints);
    for (std::size_t k = k0; k < k1; ++k) {
      const T* p = rows + k * D;
      double x[D];
      for (std::size_t j = 0; j < D; ++j) x[j] = p[j] - m[j];
      std::size_t t = 0;
      for (std::size_t c = 0; c < D; ++c)
        for (std::size_t r = 0; r <= c; ++r, ++t) acc[t] = acc[t] + x[r] * x[c];
    }
  }
  std::size_t t = 0;
  for (std::size_t c = 0; c < D; ++c)
    for (std::size_t r = 0; r <= c; ++r, ++t) s[r + c * D] = s[c + r * D] = acc[t];
}

// Beyond five dimensions: the upper triangle in register tiles of 4 rows by 8 columns. Each
// lane of a tile is still the running sum of one entry, advanced point by point; the lanes
// only let one instruction advance four entries. Points go in blocks, centred once per block
// into panels of eight coordinates that stay in cache while every tile passes over them.
using Vec = F64x4;

constexpr std::size_t kRows = 4;        // tile rows, each broadcast across the lanes
constexpr std::size_t kPanel = 8;       // tile columns: two vectors
constexpr std::size_t kBlock = 256;     // a panel of a block is 16 KB: two panels stay in L1
constexpr std::size_t kPollTiles = 64;  // tiles between two polls within a block
constexpr std::size_t kLine = 64;       // bytes in a cache line
// Tile updates of one point (about four cycles each) below which a call stays on one thread.
constexpr std::size_t kParallelWork = std::size_t(1) << 16;

// Rows [4 group, 4 group + 4) by columns [8 panel, 8 panel + 8).
struct Tile {
  std::size_t group, panel;
};

// The centred coordinates of points k0 .. k0 + count - 1 in panels 0 .. panels - 1: panel q
// holds, per point, p[8q + j] - m[8q + j] for j = 0 .. 7, padded with 0.0 beyond d. Padding
// reaches only padding entries of the tiles, which are never read. Rows of floats are widened.
template <class T>
void pack_rows(const T* rows, std::size_t d, const double* mean, std::size_t k0, std::size_t count,
               std::size_t panels, double* packed) {
  for (std::size_t q = 0; q < panels; ++q) {
    const std::size_t j0 = q * kPanel;
    const T* p = rows + k0 * d + j0;
    const double* m = mean + j0;
    double* out = packed + q * kBlock * kPanel;
    if (j0 + kPanel <= d) {
      for (std::size_t k = 0; k < count; ++k, p += d, out += kPanel)
        for (std::size_t j = 0; j < kPanel; ++j) out[j] = p[j] - m[j];
    } else {
      for (std::size_t k = 0; k < count; ++k, p += d, out += kPanel)
        for (std::size_t j = 0; j < kPanel; ++j) out[j] = j0 + j < d ? p[j] - m[j] : 0.0;
    }
  }
}

void pack_block(const PointSet& points, const double* mean, std::size_t k0, std::size_t count,
                std::size_t panels, double* packed) {
  with_rows(points, [&](auto rows) { pack_rows(rows, points.d, mean, k0, count, panels, packed); });
}

// acc: the tile's 32 sums, acc[8 i + j] that of entry (r0 + i, c0 + j).
// rows: the tile's four row coordinates of each point, kPanel doubles apart;
// cols: the tile's column panel, kPanel doubles per point.
VORN_SIMD_CLONES
void tile_update(const double* rows, const double* cols, std::size_t count, double* acc) {
  Vec a0, a1, a2, a3, a4, a5, a6, a7, c0, c1;
  load_lanes(acc, a0), load_lanes(acc + 4, a1), load_lanes(acc + 8, a2);
  load_lanes(acc + 12, a3), load_lanes(acc + 16, a4), load_lanes(acc + 20, a5);
  load_lanes(acc + 24, a6), load_lanes(acc + 28, a7);
  for (std::size_t k = 0; k < count; ++k, rows += kPanel, cols += kPanel) {
    load_lanes(cols, c0), load_lanes(cols + 4, c1);
    const Vec r0 = {rows[0], rows[0], rows[0], rows[0]};
    a0 = a0 + r0 * c0;
    a1 = a1 + r0 * c1;
    const Vec r1 = {rows[1], rows[1], rows[1], rows[1]};
    a2 = a2 + r1 * c0;
    a3 = a3 + r1 * c1;
    const Vec r2 = {rows[2], rows[2], rows[2], rows[2]};
    a4 = a4 + r2 * c0;
    a5 = a5 + r2 * c1;
    const Vec r3 = {rows[3], rows[3], rows[3], rows[3]};
    a6 = a6 + r3 * c0;
    a7 = a7 + r3 * c1;
  }
  store_lanes(acc, a0), store_lanes(acc + 4, a1), store_lanes(acc + 8, a2);
  store_lanes(acc + 12, a3), store_lanes(acc + 16, a4), store_lanes(acc + 20, a5);
  store_lanes(acc + 24, a6), store_lanes(acc + 28, a7);
}

// Writes the entries of tiles [t0, t1) on and above the diagonal, and the mirror of each, into
// s. With many dimensions and few points this is most of the work: it polls.
void write_tiles(const Tile* tiles, std::size_t t0, std::size_t t1, const double* acc,
                 std::size_t d, double* s, const Executor& executor) {
  for (std::size_t t = t0; t < t1; ++t, acc += kRows * kPanel) {
    if ((t - t0) % kPollTiles == kPollTiles - 1) executor.poll();
    for (std::size_t e = 0; e < kRows * kPanel; ++e) {
      const std::size_t r = tiles[t].group * kRows + e / kPanel;
      const std::size_t c = tiles[t].panel * kPanel + e % kPanel;
      if (r <= c && c < d) s[r + c * d] = s[c + r * d] = acc[e];
    }
  }
}

// Runs tiles [t0, t1) over every point, then writes their entries on and above the
// diagonal, and the mirror of each, into s.
void scatter_tiles(const PointSet& points, const double* mean, const Tile* tiles, std::size_t t0,
                   std::size_t t1, double* s, const Executor& executor) {
  const std::size_t n = points.n, d = points.d;
  const std::size_t panels = tiles[t1 - 1].panel + 1;  // tiles go panel by panel
  std::vector<double> packed(panels * kBlock * kPanel);
  std::vector<double> acc = filled((t1 - t0) * kRows * kPanel, kEmptySum, executor);
  for (std::size_t k0 = 0; k0 < n; k0 += kBlock) {
    const std::size_t count = std::min(kBlock, n - k0);
    executor.poll();
    pack_block(points, mean, k0, count, panels, packed.data());
    // While the tiles run, the next block's points are fetched into cache, a share per tile.
    const std::size_t next = std::min(n, k0 + kBlock);
    const char* ahead = with_rows(
        points, [&](auto rows) { return reinterpret_cast<const char*>(rows + next * d); });
    const std::size_t element = points.is_float32() ? sizeof(float) : sizeof(double);
    const std::size_t ahead_lines = (std::min(kBlock, n - next) * d * element + kLine - 1) / kLine;
    const std::size_t share = ahead_lines / (t1 - t0) + 1;
    for (std::size_t t = t0; t < t1; ++t) {
      if ((t - t0) % kPollTiles == kPollTiles - 1) executor.poll();
      for (std::size_t l = (t - t0) * share; l < std::min(ahead_lines, (t - t0 + 1) * share); ++l)
        VORN_PREFETCH(ahead + l * kLine);
      const double* rows = packed.data() + tiles[t].group * kRows / kPanel * kBlock * kPanel +
                           tiles[t].group * kRows % kPanel;
      tile_update(rows, packed.data() + tiles[t].panel * kBlock * kPanel, count,
                  acc.data() + (t - t0) * kRows * kPanel);
    }
  }
  write_tiles(tiles, t0, t1, acc.data(), d, s, executor);
}

// The tiles with an entry on or above the diagonal, column panel by column panel, shared out
// in runs of equal length: each run's entries are its own, so the split changes no bit.
void scatter_blocked(const PointSet& points, const double* mean, double* s,
                     const Executor& executor) {
  const std::size_t d = points.d;
  const std::size_t panels = (d + kPanel - 1) / kPanel;
  const std::size_t groups = (d + kRows - 1) / kRows;
  std::vector<Tile> tiles;
  for (std::size_t q = 0; q < panels; ++q)
    for (std::size_t g = 0; g < groups && g * kRows < (q + 1) * kPanel; ++g)
      tiles.push_back({g, q});
  const std::size_t count = tiles.size();
  const std::size_t runs =
      points.n * count < kParallelWork ? 1 : std::min(count, executor.threads());
  executor.for_ranges(runs, 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t run = begin; run < end; ++run)
      scatter_tiles(points, mean, tiles.data(), run * count / runs, (run + 1) * count / runs, s,
                    executor);
  });
}

}  // namespace

std::vector<double> centred_scatter(const PointSet& points, const double* mean,
                                    const Executor& executor) {
  const std::size_t d = points.d;
  std::vector<double> s = filled(d * d, 0.0, executor);
  with_dimension<1, 2, 3, 4, 5>(d, [&](auto dim) {
    if constexpr (dim == 0) {
      scatter_blocked(points, mean, s.data(), executor);
    } else {
      with_rows(points,
                [&](auto rows) { scatter_small<dim>(rows, points.n, mean, s.data(), executor); });
    }
  });
  return s;
}

}  // namespace vorn
