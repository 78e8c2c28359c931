// Voxel sampling: the point nearest the centroid, one shuffled member per voxel, then a fill.
// Voxels are listed in order of first occurrence before the shuffle: the seed alone decides.
#include "utils/sample_measures/sample_centroid_voxel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "base/compiler_hints.h"
#include "base/key_numbering.h"
#include "base/simd_clones.h"
#include "base/simd_lanes.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/seeded_rng.h"
#include "utils/sample_measures/selection_set.h"

namespace vorn {

namespace {

struct SameHash {
  std::uint64_t operator()(std::uint64_t h) const { return h; }
};

// The key component of one coordinate: floor(x / voxel_size) clamped to 32 bits, NaN gives 0.
inline std::int32_t voxel_key(double x, double voxel_size) {
  const double q = x / voxel_size;  // a division, not a multiplication by the reciprocal
  double m = std::floor(q);
  m = m < -2147483648.0 ? -2147483648.0 : m;
  m = m > 2147483647.0 ? 2147483647.0 : m;
  m = q == q ? m : 0.0;  // NaN gives 0
  return static_cast<std::int32_t>(m);
}

// Whether the d coordinates of row have the key `key`.
template <class T>
bool row_has_key(const T* row, std::size_t d, double voxel_size, const std::int32_t* key) {
  for (std::size_t j = 0; j < d; ++j) {
    if (voxel_key(row[j], voxel_size) != key[j]) return false;
  }
  return true;
}

// Voxel keys of d components each, numbered in order of first occurrence, filed by their hash.
// Short keys are kept by voxel number. A long key is not kept: it is compared with the key
// computed afresh from the row of its voxel's first point, so that the table holds O(voxels)
// numbers however large d is; a match then costs one more key, no more than the point's own.
class VoxelNumbering {
 public:
  VoxelNumbering(const PointSet& points, double voxel_size)
      : points_(points), voxel_size_(voxel_size), table_(kExpected) {}

  // The number of the voxel of point i, whose key is `key` (d components), adding it as the
  // next number when it is new.
  std::uint64_t find_or_add(std::size_t i, const std::int32_t* key) {
    const std::size_t d = points_.d;
    const std::uint64_t found = table_.find_or_add(hash(key), first_.size(), [&](std::uint64_t v) {
      if (d <= kKeptKeyLength) {
        return std::equal(key, key + d, keys_.begin() + static_cast<std::ptrdiff_t>(v * d));
      }
      return with_rows(points_, [&](auto rows) {
        return row_has_key(rows + first_[v] * d, d, voxel_size_, key);
      });
    });
    if (found != Table::kNew) return found;
    first_.push_back(i);
    if (d <= kKeptKeyLength) keys_.insert(keys_.end(), key, key + d);
    return first_.size() - 1;
  }

  std::size_t size() const { return first_.size(); }

 private:
  using Table = KeyNumbering<std::uint64_t, SameHash>;
  static constexpr std::size_t kExpected = 512;
  // Kept keys cost at most 32 bytes a voxel: with the table, O(n) whatever d is.
  static constexpr std::size_t kKeptKeyLength = 8;

  std::uint64_t hash(const std::int32_t* key) const {
    const std::size_t d = points_.d;
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ d;
    for (std::size_t j = 0; j < d; ++j) {
      h = (h ^ static_cast<std::uint32_t>(key[j])) * 0xFF51AFD7ED558CCDull;
      h ^= h >> 29;
    }
    h ^= h >> 32;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 29;
    return h;
  }

  const PointSet& points_;
  double voxel_size_;
  Table table_;
  std::vector<std::uint64_t> first_;  // by voxel number, the first point filed under it
  std::vector<std::int32_t> keys_;    // by voxel number, d components each, for short keys only
};

// 1 / voxel_size when that is a double exactly (voxel_size a power of two whose reciprocal is
// neither too large nor too small), else 0. Then x * (1 / voxel_size) and x / voxel_size both
// round the same exact value once, so they agree to the bit, infinities and zeros included.
double exact_reciprocal(double voxel_size) {
  int e = 0;
  const double m = std::frexp(voxel_size, &e);  // voxel_size = m 2^e, 0.5 <= |m| < 1
  if (m != 0.5 && m != -0.5) return 0.0;
  const double r = std::ldexp(2.0 * m, 1 - e);
  return r != 0.0 && std::isfinite(r) ? r : 0.0;
}

// voxel_key of count coordinates, with ByReciprocal a multiplication by the exact reciprocal
// instead of the division. With vector extensions four at a time: lane comparisons and
// selects are exactly the scalar ones, and unlike scalar ones they need no branches. Floats
// are widened (exactly) as they are loaded.
template <bool ByReciprocal, class T>
VORN_ALWAYS_INLINE void voxel_keys_of(const T* coords, std::size_t count, double voxel_size,
                                      double reciprocal, std::int32_t* keys) {
  std::size_t i = 0;
#if VORN_VECTOR_EXTENSIONS
  const F64x4 size{voxel_size, voxel_size, voxel_size, voxel_size};
  const F64x4 inverse{reciprocal, reciprocal, reciprocal, reciprocal};
  const F64x4 lo{-2147483648.0, -2147483648.0, -2147483648.0, -2147483648.0};
  const F64x4 hi{2147483647.0, 2147483647.0, 2147483647.0, 2147483647.0};
  for (; i + 4 <= count; i += 4) {
    F64x4 q;
    load_lanes(coords + i, q);
    q = ByReciprocal ? q * inverse : q / size;
    // Clamped before the floor, which gives the same integers, so that truncation to 32 bits
    // is exact and one step down where it rounded up gives the floor.
    F64x4 m = q < lo ? lo : q;
    m = m > hi ? hi : m;
    const I64x4 is_number = q == q;
    m = is_number ? m : F64x4{};
    typedef std::int32_t I32x4 __attribute__((vector_size(16)));
    const I32x4 t = __builtin_convertvector(m, I32x4);
    const I64x4 rounded_up = m < __builtin_convertvector(t, F64x4);
    const I32x4 key = t + __builtin_convertvector(rounded_up, I32x4);  // true is -1
    std::memcpy(keys + i, &key, sizeof key);
  }
#else
  (void)reciprocal;
#endif
  for (; i < count; ++i) keys[i] = voxel_key(coords[i], voxel_size);
}

// Clang cannot make clones of a template: one function for each coordinate type.
VORN_SIMD_CLONES VORN_FLATTEN void voxel_keys(const double* coords, std::size_t count,
                                              double voxel_size, double reciprocal,
                                              std::int32_t* keys) {
  if (reciprocal != 0.0) return voxel_keys_of<true>(coords, count, voxel_size, reciprocal, keys);
  voxel_keys_of<false>(coords, count, voxel_size, reciprocal, keys);
}

VORN_SIMD_CLONES VORN_FLATTEN void voxel_keys(const float* coords, std::size_t count,
                                              double voxel_size, double reciprocal,
                                              std::int32_t* keys) {
  if (reciprocal != 0.0) return voxel_keys_of<true>(coords, count, voxel_size, reciprocal, keys);
  voxel_keys_of<false>(coords, count, voxel_size, reciprocal, keys);
}

// A box of voxels is numbered by a plain table when it has at most kDenseCells cells per point.
constexpr std::size_t kDenseCells = 2;
constexpr std::size_t kPointsPerRange = std::size_t(1) << 14;
constexpr std::size_t kKeysPerBlock = 4096;

// Calls visit(b, e, keys) for consecutive blocks [b, e) of the points of [begin, end), in
// order; keys holds the d components of each point of the block.
template <class Visit>
void for_key_blocks(const PointSet& points, std::size_t begin, std::size_t end, double voxel_size,
                    Visit visit) {
  const std::size_t d = points.d;
  const std::size_t block = std::max<std::size_t>(1, kKeysPerBlock / d);
  std::vector<std::int32_t> keys(block * d);
  const double reciprocal = exact_reciprocal(voxel_size);
  for (std::size_t b = begin; b < end; b += block) {
    const std::size_t e = std::min(end, b + block);
    with_rows(points, [&](auto rows) {
      voxel_keys(rows + b * d, (e - b) * d, voxel_size, reciprocal, keys.data());
    });
    visit(b, e, keys.data());
  }
}

// The box of the occupied voxels, from each axis' lowest and highest coordinate lo and hi:
// its lowest key, the strides of a cell number within it, and its number of cells (a double:
// exact while below 2^53, compared with 2 n only). A key component is monotonic in its
// coordinate (a rounded division, a floor and a clamp, rising or falling with the sign of
// voxel_size), so the keys of an axis' extremes bound the keys of that axis. A NaN coordinate
// would break this, but one reaches here only as the single point of a set: the nearest point
// to the centroid fails on it first.
double occupied_box(const std::vector<double>& lo, const std::vector<double>& hi, double voxel_size,
                    std::vector<std::int64_t>& lowest, std::vector<std::int64_t>& stride) {
  const std::size_t d = lo.size();
  lowest.resize(d);
  stride.resize(d);
  double cells = 1.0;
  for (std::size_t k = 0; k < d; ++k) {
    const std::int64_t a = voxel_key(lo[k], voxel_size), b = voxel_key(hi[k], voxel_size);
    lowest[k] = std::min(a, b);
    // Strides are read only when the box is small; past 2^62 cells the cast would overflow.
    stride[k] = cells < 0x1p62 ? static_cast<std::int64_t>(cells) : 0;
    cells *= double(std::max(a, b) - lowest[k] + 1);
  }
  return cells;
}

// Numbers every point's voxel by a hash table over its key, in order of first occurrence.
template <class Index>
std::size_t number_by_hash(const PointSet& points, double voxel_size, std::vector<Index>& voxel_of,
                           const Executor& executor) {
  VoxelNumbering numbering(points, voxel_size);
  executor.for_each_block(points.n, kPointsPerRange, [&](std::size_t begin, std::size_t end) {
    for_key_blocks(points, begin, end, voxel_size, [&](auto b, auto e, const std::int32_t* keys) {
      for (std::size_t i = b; i < e; ++i) {
        voxel_of[i] = static_cast<Index>(numbering.find_or_add(i, keys + (i - b) * points.d));
      }
    });
  });
  return numbering.size();
}

// The cells of `count` keys (d components each, d = D unless D is 0) in a box whose lowest key
// is lo and whose strides are `stride`, into out. Every true difference, product and sum lies
// below the box's number of cells, which Index holds, so Index arithmetic (modulo its range)
// gives each exactly.
template <std::size_t D, class Index>
void box_cells_of(const std::int32_t* keys, std::size_t count, std::size_t d, const Index* lo,
                  const Index* stride, Index* out) {
  const std::size_t dim = D == 0 ? d : D;
  for (std::size_t p = 0; p < count; ++p) {
    Index cell = 0;
    for (std::size_t k = 0; k < dim; ++k) {
      cell += (static_cast<Index>(keys[p * dim + k]) - lo[k]) * stride[k];
    }
    out[p] = cell;
  }
}

// box_cells_of with the common small dimensions known at compile time.
template <class Index>
void box_cells(const std::int32_t* keys, std::size_t count, std::size_t d, const Index* lo,
               const Index* stride, Index* out) {
  switch (d) {
    case 1: return box_cells_of<1>(keys, count, d, lo, stride, out);
    case 2: return box_cells_of<2>(keys, count, d, lo, stride, out);
    case 3: return box_cells_of<3>(keys, count, d, lo, stride, out);
    default: return box_cells_of<0>(keys, count, d, lo, stride, out);
  }
}

// Numbers every point's voxel by its cell in the occupied box (of `cells` cells), then
// renumbers the cells in order of first occurrence in one pass in index order. With a
// centroid, nearest takes in every point's distance to it, read while the point's block is at
// hand.
template <class Index>
std::size_t number_in_box(const PointSet& points, double voxel_size, double cells,
                          const std::vector<std::int64_t>& lo,
                          const std::vector<std::int64_t>& stride, std::vector<Index>& voxel_of,
                          const double* centroid, NearestSearch& nearest,
                          const Executor& executor) {
  const std::size_t d = points.d;
  std::vector<Index> box_lo(d), box_stride(d);
  for (std::size_t k = 0; k < d; ++k) {
    box_lo[k] = static_cast<Index>(lo[k]);  // modulo the range of Index, as box_cells_of reads it
    box_stride[k] = static_cast<Index>(stride[k]);
  }
  std::vector<NearestSearch> found((points.n - 1) / kPointsPerRange + 1);
  executor.for_ranges(points.n, kPointsPerRange, [&](std::size_t begin, std::size_t end) {
    std::vector<double> sums(centroid != nullptr ? kKeysPerBlock : 0);
    NearestSearch& search = found[begin / kPointsPerRange];
    for_key_blocks(points, begin, end, voxel_size, [&](auto b, auto e, const std::int32_t* keys) {
      box_cells(keys, e - b, d, box_lo.data(), box_stride.data(), &voxel_of[b]);
      if (centroid == nullptr) return;
      row_squared_sums(points, b, e - b, centroid, sums.data());
      search.add(b, sums.data(), e - b);
    });
  });
  for (const NearestSearch& later : found) nearest.add(later);  // in index order
  constexpr Index kNone = std::numeric_limits<Index>::max();
  std::vector<Index> number(static_cast<std::size_t>(cells), kNone);
  std::size_t voxels = 0;
  for (Index& v : voxel_of) {
    Index& numbered = number[v];
    if (numbered == kNone) numbered = static_cast<Index>(voxels++);
    v = numbered;
  }
  return voxels;
}

// Every point's voxel, numbered in order of first occurrence: a plain table over the box of
// the occupied voxels (lo, hi: each axis' extreme coordinates) when it has at most kDenseCells
// cells per point, else a hash table. Sets i0 to the point nearest the centroid, found in the
// plain table's pass when it can be. Index is wide enough for twice n. Returns the number of
// voxels.
template <class Index>
std::size_t file_points(const PointSet& points, double voxel_size, const std::vector<double>& lo,
                        const std::vector<double>& hi, const std::vector<double>& centroid,
                        std::vector<Index>& voxel_of, std::uint64_t& i0, const Executor& executor) {
  // Any coordinate that is not finite makes the centroid so too; then the nearest point, which
  // fails on such a coordinate (n >= 2), comes before any voxel work.
  const bool finite =
      std::all_of(centroid.begin(), centroid.end(), [](double c) { return std::isfinite(c); });
  if (!finite) i0 = find_closest_point(points, centroid.data());
  std::vector<std::int64_t> lowest, stride;
  const double cells = occupied_box(lo, hi, voxel_size, lowest, stride);
  voxel_of.resize(points.n);
  if (cells > double(kDenseCells * points.n)) {
    if (finite) i0 = find_closest_point(points, centroid.data());
    return number_by_hash(points, voxel_size, voxel_of, executor);
  }
  NearestSearch nearest;
  const std::size_t voxels = number_in_box(points, voxel_size, cells, lowest, stride, voxel_of,
                                           finite ? centroid.data() : nullptr, nearest, executor);
  if (finite) i0 = nearest.best();
  return voxels;
}

// The p-th index, counting from 0, of those below n that `chosen` (ascending) leaves out.
std::uint64_t nth_left_out(const std::vector<std::uint64_t>& chosen, std::uint64_t p) {
  // Before chosen[k] lie chosen[k] - k left-out indices, a non-decreasing count.
  std::size_t lo = 0, hi = chosen.size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (chosen[mid] - mid <= p) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return p + lo;
}

}  // namespace

std::int32_t voxel_coordinate(double x, double voxel_size) {
  return voxel_key(x, voxel_size);
}

void voxel_coordinates(const double* x, std::size_t count, double voxel_size, std::int32_t* out) {
  voxel_keys(x, count, voxel_size, exact_reciprocal(voxel_size), out);
}

namespace {

// The voxel of a choice of the voxel pass, and the rank (in index order) of the choice among
// that voxel's members.
struct Pick {
  std::uint64_t voxel, rank;
};

// The draws of the voxel pass: the voxels in shuffled order and in each the rank of the member
// its shuffled list starts with, until the selection (i0 and the picks) would hold t indices.
// Draws depend on member counts alone, so no member list need exist.
template <class Index>
std::vector<Pick> draw_picks(const std::vector<Index>& voxel_of, std::size_t voxels,
                             std::uint64_t i0, std::uint64_t t, SeededRng& rng,
                             const Executor& executor) {
  // The member counts, and the rank of i0 among the members of its voxel.
  std::vector<std::uint64_t> counts(voxels, 0);
  for (std::size_t i = 0; i < i0; ++i) ++counts[voxel_of[i]];
  const std::uint64_t i0_rank = counts[voxel_of[i0]];
  for (std::size_t i = i0; i < voxel_of.size(); ++i) ++counts[voxel_of[i]];
  // A shuffle permutes by position only, so shuffling voxel numbers orders the voxels exactly
  // as shuffling the (key, members) entries themselves would; and of a shuffled member list
  // only the first entry is read, which shuffled_prefix finds with the same draws.
  std::vector<std::uint64_t> order(voxels);
  for (std::size_t v = 0; v < voxels; ++v) order[v] = v;
  rng.shuffle(order.data(), voxels);
  std::vector<Pick> picks;
  std::uint64_t held = 1;
  PollPacer pacer(executor, 1024);
  for (std::size_t visited = 0; visited < voxels && held < t; ++visited) {
    pacer.step();
    const std::uint64_t v = order[visited];
    picks.push_back({v, rng.shuffled_prefix(counts[v], 1)[0]});
    // May be i0 again: the voxel is used up all the same, and the selection does not grow.
    if (v != voxel_of[i0] || picks.back().rank != i0_rank) ++held;
  }
  return picks;
}

// The point of each pick, in the order of the picks: one pass in index order that counts each
// picked voxel's members down to the rank drawn.
template <class Index>
Indices resolve_picks(const std::vector<Index>& voxel_of, std::size_t voxels,
                      const std::vector<Pick>& picks) {
  // An unpicked voxel's count starts at 2^64 - 1, and a picked one's wraps there once it has
  // passed 0: fewer than 2^64 - 1 members follow, so neither comes down to 0 again.
  std::vector<std::uint64_t> ahead(voxels, ~std::uint64_t(0)), pick_of(voxels);
  for (std::size_t p = 0; p < picks.size(); ++p) {
    ahead[picks[p].voxel] = picks[p].rank;
    pick_of[picks[p].voxel] = p;
  }
  Indices chosen(picks.size());
  for (std::uint64_t i = 0, unresolved = picks.size(); unresolved > 0; ++i) {
    if (ahead[voxel_of[i]]-- != 0) continue;
    chosen[pick_of[voxel_of[i]]] = i;
    --unresolved;
  }
  return chosen;
}

template <class Index>
Indices sample(const PointSet& points, std::uint64_t t, SeededRng& rng, double voxel_size,
               const Executor& executor) {
  const std::size_t n = points.n;
  SelectionSet selection(n);
  // The extremes that bound the voxels come with the centroid's pass over the points.
  std::vector<double> lo(points.d), hi(points.d);
  const std::vector<double> centroid = compute_centroid_and_extremes(points, lo.data(), hi.data());

  // Every point's voxel, numbered in order of first occurrence; a voxel's member list, in
  // ascending index order, is never built.
  std::vector<Index> voxel_of;
  std::uint64_t i0 = 0;
  const std::size_t voxels =
      file_points(points, voxel_size, lo, hi, centroid, voxel_of, i0, executor);
  selection.insert(i0);
  executor.poll();
  const std::vector<Pick> picks = draw_picks(voxel_of, voxels, i0, t, rng, executor);
  for (const std::uint64_t i : resolve_picks(voxel_of, voxels, picks)) selection.insert(i);

  // The rest list holds the ascending indices not chosen yet. Its shuffle is the last draw,
  // so when nothing more is needed it changes nothing; otherwise only its first `wanted`
  // entries are made.
  const std::uint64_t wanted = t - selection.size();
  if (wanted == 0) return selection.take();
  std::vector<std::uint64_t> chosen = selection.members();
  std::sort(chosen.begin(), chosen.end());
  for (std::uint64_t p : rng.shuffled_prefix(n - chosen.size(), wanted)) {
    selection.insert(nth_left_out(chosen, p));
  }
  return selection.take();
}

}  // namespace

Indices sample_centroid_voxel(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                              double voxel_size, const Executor& executor) {
  SeededRng rng = SeededRng::seed_from_u64(seed);
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::uint64_t t = count < n ? count : n;
  // Voxel numbers, cells of the plain table and point indices all stay below 2 n.
  if (n < std::numeric_limits<std::uint32_t>::max() / 2) {
    return sample<std::uint32_t>(points, t, rng, voxel_size, executor);
  }
  return sample<std::uint64_t>(points, t, rng, voxel_size, executor);
}

}  // namespace vorn
