// Voxel sampling: the point nearest the centroid, one shuffled member per voxel, then a fill.
// Voxels are listed in order of first occurrence before the shuffle: the seed alone decides.
#include "utils/sample_measures/sample_centroid_voxel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "base/simd_clones.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/seeded_rng.h"
#include "utils/sample_measures/selection_set.h"

namespace vorn {

namespace {

// Voxel keys of d components each, numbered in order of first occurrence. The table only
// answers "which number has this key"; its layout never decides an order.
class VoxelNumbering {
 public:
  explicit VoxelNumbering(std::size_t d) : d_(d), slots_(kInitialSlots, kEmpty) {}

  // The number of key (d components), adding it as the next number when it is new.
  std::uint64_t find_or_add(const std::int32_t* key) {
    const std::uint64_t h = hash(key);
    std::size_t mask = slots_.size() - 1;
    for (std::size_t s = h & mask;; s = (s + 1) & mask) {
      const std::uint64_t id = slots_[s];
      if (id == kEmpty) break;
      if (hashes_[id] == h && std::memcmp(&keys_[id * d_], key, d_ * sizeof(std::int32_t)) == 0) {
        return id;
      }
    }
    const std::uint64_t id = hashes_.size();
    hashes_.push_back(h);
    keys_.insert(keys_.end(), key, key + d_);
    if (2 * hashes_.size() > slots_.size()) {
      grow();
    } else {
      place(id);
    }
    return id;
  }

  std::size_t size() const { return hashes_.size(); }

 private:
  static constexpr std::size_t kInitialSlots = 1024;
  static constexpr std::uint64_t kEmpty = std::numeric_limits<std::uint64_t>::max();

  std::uint64_t hash(const std::int32_t* key) const {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ d_;
    for (std::size_t j = 0; j < d_; ++j) {
      h = (h ^ static_cast<std::uint32_t>(key[j])) * 0xFF51AFD7ED558CCDull;
      h ^= h >> 29;
    }
    h ^= h >> 32;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 29;
    return h;
  }

  void place(std::uint64_t id) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = hashes_[id] & mask;
    while (slots_[s] != kEmpty) s = (s + 1) & mask;
    slots_[s] = id;
  }

  void grow() {
    slots_.assign(2 * slots_.size(), kEmpty);
    for (std::uint64_t id = 0; id < hashes_.size(); ++id) place(id);
  }

  std::size_t d_;
  std::vector<std::uint64_t> slots_;   // voxel number, or kEmpty
  std::vector<std::uint64_t> hashes_;  // by voxel number
  std::vector<std::int32_t> keys_;     // by voxel number, d components each
};

// Floating-point traps are never enabled: saying so lets the compiler put the floor and the
// clamps in vector lanes, which give exactly the scalar results.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("no-trapping-math")
#endif
// voxel_coordinate without branches, so that a loop of it runs in vector lanes.
inline std::int32_t voxel_key(double x, double voxel_size) {
  const double q = x / voxel_size;  // a division, not a multiplication by the reciprocal
  double m = std::floor(q);
  m = m < -2147483648.0 ? -2147483648.0 : m;
  m = m > 2147483647.0 ? 2147483647.0 : m;
  m = q == q ? m : 0.0;  // NaN gives 0
  return static_cast<std::int32_t>(m);
}

VORN_SIMD_CLONES
void voxel_keys(const double* coords, std::size_t count, double voxel_size, std::int32_t* keys) {
  for (std::size_t i = 0; i < count; ++i) keys[i] = voxel_key(coords[i], voxel_size);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif

// Every point's voxel, numbered in order of first occurrence: a plain table over the box of
// the occupied voxels when it has at most kDenseCells cells per point, else a hash table.
// Index is wide enough for twice n. Counts the members of each voxel v in size[v].
constexpr std::size_t kDenseCells = 2;
constexpr std::size_t kPointsPerRange = std::size_t(1) << 14;
constexpr std::size_t kKeysPerBlock = 4096;

// Calls visit(i, key) for the points of [begin, end) in order; key holds the d components.
template <class Visit>
void for_keys(const PointSet& points, std::size_t begin, std::size_t end, double voxel_size,
              Visit visit) {
  const std::size_t d = points.d;
  const std::size_t block = std::max<std::size_t>(1, kKeysPerBlock / d);
  std::vector<std::int32_t> keys(block * d);
  for (std::size_t b = begin; b < end; b += block) {
    const std::size_t e = std::min(end, b + block);
    voxel_keys(points[b], (e - b) * d, voxel_size, keys.data());
    for (std::size_t i = b; i < e; ++i) visit(i, keys.data() + (i - b) * d);
  }
}

template <class Index>
std::size_t file_points(const PointSet& points, double voxel_size, std::vector<Index>& voxel_of,
                        std::vector<std::uint64_t>& size, const Executor& executor) {
  const std::size_t n = points.n, d = points.d;
  const std::size_t ranges = (n - 1) / kPointsPerRange + 1;
  std::vector<std::int32_t> range_lo(ranges * d, std::numeric_limits<std::int32_t>::max());
  std::vector<std::int32_t> range_hi(ranges * d, std::numeric_limits<std::int32_t>::min());
  executor.for_ranges(n, kPointsPerRange, [&](std::size_t begin, std::size_t end) {
    std::int32_t* lo = &range_lo[begin / kPointsPerRange * d];
    std::int32_t* hi = &range_hi[begin / kPointsPerRange * d];
    for_keys(points, begin, end, voxel_size, [&](std::size_t, const std::int32_t* key) {
      for (std::size_t k = 0; k < d; ++k) {
        lo[k] = std::min(lo[k], key[k]);
        hi[k] = std::max(hi[k], key[k]);
      }
    });
  });
  // The box of the occupied voxels, and its number of cells while that stays small.
  std::vector<std::int64_t> lo(d), stride(d);
  double cells = 1.0;
  for (std::size_t k = 0; k < d; ++k) {
    std::int64_t l = range_lo[k], h = range_hi[k];
    for (std::size_t r = 1; r < ranges; ++r) {
      l = std::min<std::int64_t>(l, range_lo[r * d + k]);
      h = std::max<std::int64_t>(h, range_hi[r * d + k]);
    }
    lo[k] = l;
    // Strides are read only when the box is small; past 2^62 cells the cast would overflow.
    stride[k] = cells < 0x1p62 ? static_cast<std::int64_t>(cells) : 0;
    cells *= double(h - l + 1);  // exact while below 2^53; compared with 2 n only
  }
  voxel_of.resize(n);
  size.clear();
  if (cells > double(kDenseCells * n)) {
    VoxelNumbering numbering(d);
    for (std::size_t begin = 0; begin < n; begin += kPointsPerRange) {
      executor.poll();
      const std::size_t end = std::min(n, begin + kPointsPerRange);
      for_keys(points, begin, end, voxel_size, [&](std::size_t i, const std::int32_t* key) {
        const std::uint64_t v = numbering.find_or_add(key);
        if (v == size.size()) size.push_back(0);
        ++size[v];
        voxel_of[i] = static_cast<Index>(v);
      });
    }
    return size.size();
  }
  executor.for_ranges(n, kPointsPerRange, [&](std::size_t begin, std::size_t end) {
    for_keys(points, begin, end, voxel_size, [&](std::size_t i, const std::int32_t* key) {
      std::int64_t cell = 0;
      for (std::size_t k = 0; k < d; ++k) cell += (key[k] - lo[k]) * stride[k];
      voxel_of[i] = static_cast<Index>(cell);
    });
  });
  // Numbers in order of first occurrence: one pass in index order.
  constexpr Index kNone = std::numeric_limits<Index>::max();
  std::vector<Index> number(static_cast<std::size_t>(cells), kNone);
  for (std::size_t i = 0; i < n; ++i) {
    Index& v = number[voxel_of[i]];
    if (v == kNone) {
      v = static_cast<Index>(size.size());
      size.push_back(0);
    }
    ++size[v];
    voxel_of[i] = v;
  }
  return size.size();
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

namespace {

template <class Index>
Indices sample(const PointSet& points, std::uint64_t t, SeededRng& rng, double voxel_size,
               const Executor& executor) {
  const std::size_t n = points.n;
  SelectionSet selection(n);
  selection.insert(nearest_to_centroid(points));

  // File every point, in index order, under the number of its voxel.
  std::vector<Index> voxel_of;
  std::vector<std::uint64_t> start;
  const std::size_t voxels = file_points(points, voxel_size, voxel_of, start, executor);

  // Member lists side by side, each in ascending index order.
  start.insert(start.begin(), 0);
  for (std::size_t v = 0; v < voxels; ++v) start[v + 1] += start[v];
  std::vector<Index> members(n);
  {
    std::vector<std::uint64_t> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < n; ++i) members[next[voxel_of[i]]++] = static_cast<Index>(i);
  }
  executor.poll();

  // A shuffle permutes by position only, so shuffling voxel numbers orders the voxels
  // exactly as shuffling the (key, members) entries themselves would; and of a shuffled
  // member list only the first entry is read, which shuffled_prefix finds with the same draws.
  std::vector<std::uint64_t> order(voxels);
  for (std::size_t v = 0; v < voxels; ++v) order[v] = v;
  rng.shuffle(order.data(), voxels);
  for (std::size_t visited = 0; visited < voxels; ++visited) {
    if (selection.size() >= t) break;
    if (visited % 1024 == 1023) executor.poll();
    const std::uint64_t v = order[visited];
    const std::uint64_t first = rng.shuffled_prefix(start[v + 1] - start[v], 1)[0];
    // May be the first choice again: the voxel is used up all the same.
    selection.insert(members[start[v] + first]);
  }

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
