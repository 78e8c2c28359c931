// Scatter matrix of a point set about a given centre: S(r, c) = sum over points of (p[r] - m[r])
// (p[c] - m[c]). Every entry is one running sum taken in point order, each product and sum rounded
// on its own: never split or reorder it.
#include "utils/size_measures/centred_scatter.h"

// Vectors cross no call here (the lane helpers inline into each clone): GCC's ABI note is moot.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include <algorithm>
#include <cstdint>

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

// Beyond five dimensions: the upper triangle in register tiles of 6 rows by 8 columns. Each
// lane of a tile is still the running sum of one entry, advanced point by point; the lanes
// only let one instruction advance four entries. Points go in blocks, centred once per block
// into strips of six coordinates (the tiles' rows) and panels of eight (their columns).
using Vec = F64x4;

constexpr std::size_t kRows = 6;               // tile rows, each broadcast across the lanes
constexpr std::size_t kPanel = 8;              // tile columns: two vectors
constexpr std::size_t kTile = kRows * kPanel;  // sums per tile: 12 vectors, with the two
                                               // columns, a row and a product all 16 registers
constexpr std::size_t kBlock = 256;     // points per block: a panel (16 KB) and a strip stay in L1
constexpr std::size_t kBand = 16;       // strips that pass every panel together: 192 KB, in L2
constexpr std::size_t kPollTiles = 64;  // tiles between two polls within a block
constexpr std::size_t kLine = 64;       // bytes in a cache line
// Tile updates of one point (about six cycles each) below which a call stays on one thread.
constexpr std::size_t kParallelWork = std::size_t(1) << 16;

// Strips and panels lie a cache line more than their size apart: at a multiple of 4 KB, one
// point's entries in every panel would fall in one set of the L1 cache.
constexpr std::size_t kStripStride = kBlock * kRows + kLine / sizeof(double);
constexpr std::size_t kPanelStride = kBlock * kPanel + kLine / sizeof(double);

// Rows [6 strip, 6 strip + 6) by columns [8 panel, 8 panel + 8).
struct Tile {
  std::size_t strip, panel;
};

// The tiles with an entry on or above the diagonal, a band of strips at a time: within a
// band, panel by panel, each panel meeting the band's strips in turn.
std::vector<Tile> upper_tiles(std::size_t d) {
  const std::size_t strips = (d + kRows - 1) / kRows, panels = (d + kPanel - 1) / kPanel;
  std::vector<Tile> tiles;
  for (std::size_t b = 0; b < strips; b += kBand)
    for (std::size_t q = b * kRows / kPanel; q < panels; ++q)
      for (std::size_t g = b; g < std::min(strips, b + kBand) && g * kRows < (q + 1) * kPanel; ++g)
        tiles.push_back({g, q});
  return tiles;
}

// The strips and panels that a run of tiles reads, and where a block keeps them: the strips
// first, kBlock points of kRows coordinates each, then the panels, kBlock points of kPanel.
struct Packing {
  std::size_t strip0 = SIZE_MAX, strip1 = 0, panel0 = SIZE_MAX, panel1 = 0;

  Packing(const Tile* tiles, std::size_t count) {
    for (std::size_t t = 0; t < count; ++t) {
      strip0 = std::min(strip0, tiles[t].strip), strip1 = std::max(strip1, tiles[t].strip + 1);
      panel0 = std::min(panel0, tiles[t].panel), panel1 = std::max(panel1, tiles[t].panel + 1);
    }
    // The strips are copied out of the panels: these cover them.
    panel0 = std::min(panel0, strip0 * kRows / kPanel);
    panel1 = std::max(panel1, (strip1 * kRows + kPanel - 1) / kPanel);
  }
  std::size_t size() const {
    return (strip1 - strip0) * kStripStride + (panel1 - panel0) * kPanelStride;
  }
  std::size_t strip(std::size_t g) const { return (g - strip0) * kStripStride; }
  std::size_t panel(std::size_t q) const {
    return (strip1 - strip0) * kStripStride + (q - panel0) * kPanelStride;
  }
};

// The centred coordinates of points k0 .. k0 + count - 1 in the panels of layout: panel q
// holds, per point, p[8q + j] - m[8q + j] for j = 0 .. 7, padded with 0.0 beyond d. Padding
// reaches only padding entries of the tiles, which are never read. Point by point, so that the
// rows are read in order. Rows of floats are widened.
template <class T>
void pack_panels(const T* rows, std::size_t d, const double* mean, std::size_t k0,
                 std::size_t count, const Packing& layout, double* packed) {
  const std::size_t whole = std::max(layout.panel0, std::min(layout.panel1, d / kPanel));
  for (std::size_t k = 0; k < count; ++k) {
    const T* p = rows + (k0 + k) * d;
    for (std::size_t q = layout.panel0; q < whole; ++q) {
      const std::size_t j0 = q * kPanel;
      double* out = packed + layout.panel(q) + k * kPanel;
      for (std::size_t j = 0; j < kPanel; ++j) out[j] = p[j0 + j] - mean[j0 + j];
    }
    for (std::size_t q = whole; q < layout.panel1; ++q) {  // the last panel, past d
      const std::size_t j0 = q * kPanel;
      double* out = packed + layout.panel(q) + k * kPanel;
      for (std::size_t j = 0; j < kPanel; ++j) out[j] = j0 + j < d ? p[j0 + j] - mean[j0 + j] : 0.0;
    }
  }
}

// The strips of layout from its panels, which hold every coordinate of them: strip g holds,
// per point, coordinates 6g .. 6g + 5, the tail of one panel and the head of the next.
void pack_strips(std::size_t count, const Packing& layout, double* packed) {
  for (std::size_t g = layout.strip0; g < layout.strip1; ++g) {
    const std::size_t q = g * kRows / kPanel, offset = g * kRows % kPanel;
    const std::size_t head = std::min(kRows, kPanel - offset);
    const double* low = packed + layout.panel(q) + offset;
    const double* high = packed + layout.panel(q + 1);
    double* out = packed + layout.strip(g);
    for (std::size_t k = 0; k < count; ++k, low += kPanel, high += kPanel, out += kRows)
      for (std::size_t j = 0; j < kRows; ++j) out[j] = j < head ? low[j] : high[j - head];
  }
}

void pack_block(const PointSet& points, const double* mean, std::size_t k0, std::size_t count,
                const Packing& layout, double* packed) {
  with_rows(points,
            [&](auto rows) { pack_panels(rows, points.d, mean, k0, count, layout, packed); });
  pack_strips(count, layout, packed);
}

// Row x of one point: even and odd take its products with the two column vectors.
VORN_LANE_HELPER void row_step(double x, const Vec& c0, const Vec& c1, Vec& even, Vec& odd) {
  const Vec r = {x, x, x, x};  // a broadcast load: element stores would cost shuffles
  even = even + r * c0;
  odd = odd + r * c1;
}

// acc: the tile's 48 sums, acc[8 i + j] that of entry (r0 + i, c0 + j).
// rows: the tile's strip, kRows doubles per point; cols: its panel, kPanel doubles per point.
// One point a pass: with two, the compiler hoists the second's rows out of the registers.
VORN_SIMD_CLONES
void tile_update(const double* rows, const double* cols, std::size_t count, double* acc) {
  Vec a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, c0, c1;
  load_lanes(acc, a0), load_lanes(acc + 4, a1), load_lanes(acc + 8, a2);
  load_lanes(acc + 12, a3), load_lanes(acc + 16, a4), load_lanes(acc + 20, a5);
  load_lanes(acc + 24, a6), load_lanes(acc + 28, a7), load_lanes(acc + 32, a8);
  load_lanes(acc + 36, a9), load_lanes(acc + 40, a10), load_lanes(acc + 44, a11);
  for (std::size_t k = 0; k < count; ++k, rows += kRows, cols += kPanel) {
    load_lanes(cols, c0), load_lanes(cols + 4, c1);
    row_step(rows[0], c0, c1, a0, a1);
    row_step(rows[1], c0, c1, a2, a3);
    row_step(rows[2], c0, c1, a4, a5);
    row_step(rows[3], c0, c1, a6, a7);
    row_step(rows[4], c0, c1, a8, a9);
    row_step(rows[5], c0, c1, a10, a11);
  }
  store_lanes(acc, a0), store_lanes(acc + 4, a1), store_lanes(acc + 8, a2);
  store_lanes(acc + 12, a3), store_lanes(acc + 16, a4), store_lanes(acc + 20, a5);
  store_lanes(acc + 24, a6), store_lanes(acc + 28, a7), store_lanes(acc + 32, a8);
  store_lanes(acc + 36, a9), store_lanes(acc + 40, a10), store_lanes(acc + 44, a11);
}

// Writes the entries of tiles [t0, t1) on and above the diagonal, and the mirror of each, into
// s. With many dimensions and few points this is most of the work: it polls.
void write_tiles(const Tile* tiles, std::size_t t0, std::size_t t1, const double* acc,
                 std::size_t d, double* s, const Executor& executor) {
  for (std::size_t t = t0; t < t1; ++t, acc += kTile) {
    if ((t - t0) % kPollTiles == kPollTiles - 1) executor.poll();
    for (std::size_t e = 0; e < kTile; ++e) {
      const std::size_t r = tiles[t].strip * kRows + e / kPanel;
      const std::size_t c = tiles[t].panel * kPanel + e % kPanel;
      if (r <= c && c < d) s[r + c * d] = s[c + r * d] = acc[e];
    }
  }
}

// Prefetches the share of tile t (of tiles) in the lines of the block of points that starts
// at point next, so that they arrive while the tiles of the current block run.
void prefetch_share(const PointSet& points, std::size_t next, std::size_t t, std::size_t tiles) {
  const std::size_t element = points.is_float32() ? sizeof(float) : sizeof(double);
  const std::size_t lines =
      (std::min(kBlock, points.n - next) * points.d * element + kLine - 1) / kLine;
  const std::size_t share = lines / tiles + 1;
  const char* ahead = with_rows(
      points, [&](auto rows) { return reinterpret_cast<const char*>(rows + next * points.d); });
  for (std::size_t l = t * share; l < std::min(lines, (t + 1) * share); ++l)
    VORN_PREFETCH(ahead + l * kLine);
}

// Runs tiles [t0, t1) over every point, then writes their entries on and above the
// diagonal, and the mirror of each, into s.
void scatter_tiles(const PointSet& points, const double* mean, const Tile* tiles, std::size_t t0,
                   std::size_t t1, double* s, const Executor& executor) {
  const std::size_t n = points.n;
  const Packing layout(tiles + t0, t1 - t0);
  std::vector<double> packed(layout.size());
  std::vector<double> acc = filled((t1 - t0) * kTile, kEmptySum, executor);
  for (std::size_t k0 = 0; k0 < n; k0 += kBlock) {
    const std::size_t count = std::min(kBlock, n - k0);
    executor.poll();
    pack_block(points, mean, k0, count, layout, packed.data());
    const std::size_t next = std::min(n, k0 + kBlock);
    for (std::size_t t = t0; t < t1; ++t) {
      if ((t - t0) % kPollTiles == kPollTiles - 1) executor.poll();
      prefetch_share(points, next, t - t0, t1 - t0);
      tile_update(packed.data() + layout.strip(tiles[t].strip),
                  packed.data() + layout.panel(tiles[t].panel), count,
                  acc.data() + (t - t0) * kTile);
    }
  }
  write_tiles(tiles, t0, t1, acc.data(), points.d, s, executor);
}

// The tiles shared out in runs of equal length: each run's entries are its own, so the split
// changes no bit.
void scatter_blocked(const PointSet& points, const double* mean, double* s,
                     const Executor& executor) {
  const std::vector<Tile> tiles = upper_tiles(points.d);
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
