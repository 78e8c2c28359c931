// Voxel sampling: the point nearest the centroid, one shuffled member per voxel, then a fill.
// Voxels are listed in order of first occurrence before the shuffle: the seed alone decides.
#include "utils/sample_measures/sample_centroid_voxel.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

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

}  // namespace

std::int32_t voxel_coordinate(double x, double voxel_size) {
  const double q = x / voxel_size;  // a division, not a multiplication by the reciprocal
  if (std::isnan(q)) return 0;
  const double m = std::floor(q);
  if (m >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (m <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(m);
}

Indices sample_centroid_voxel(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                              double voxel_size,
    const Executor& /*executor*/) {
  SeededRng rng = SeededRng::seed_from_u64(seed);
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::uint64_t t = count < n ? count : n;
  SelectionSet selection(n);
  selection.insert(nearest_to_centroid(points));

  // File every point, in index order, under the number of its voxel.
  const std::size_t d = points.d;
  VoxelNumbering numbering(d);
  std::vector<std::uint64_t> voxel_of(n);
  std::vector<std::int32_t> key(d);
  for (std::size_t i = 0; i < n; ++i) {
    const double* p = points[i];
    for (std::size_t j = 0; j < d; ++j) key[j] = voxel_coordinate(p[j], voxel_size);
    voxel_of[i] = numbering.find_or_add(key.data());
  }
  const std::size_t voxels = numbering.size();

  // Member lists side by side, each in ascending index order.
  std::vector<std::uint64_t> start(voxels + 1, 0);
  for (std::size_t i = 0; i < n; ++i) ++start[voxel_of[i] + 1];
  for (std::size_t v = 0; v < voxels; ++v) start[v + 1] += start[v];
  std::vector<std::uint64_t> members(n);
  {
    std::vector<std::uint64_t> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < n; ++i) members[next[voxel_of[i]]++] = i;
  }

  // A shuffle permutes by position only, so shuffling voxel numbers orders the voxels
  // exactly as shuffling the (key, members) entries themselves would.
  std::vector<std::uint64_t> order(voxels);
  for (std::size_t v = 0; v < voxels; ++v) order[v] = v;
  rng.shuffle(order.data(), voxels);
  for (std::uint64_t v : order) {
    if (selection.size() >= t) break;
    std::uint64_t* list = members.data() + start[v];
    rng.shuffle(list, start[v + 1] - start[v]);
    selection.insert(list[0]);  // may be the first choice again: the voxel is used up all the same
  }

  // The rest list is shuffled even when nothing more is needed.
  Indices rest;
  rest.reserve(n - selection.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (!selection.contains(i)) rest.push_back(i);
  }
  rng.shuffle(rest.data(), rest.size());
  for (std::uint64_t i : rest) {
    if (selection.size() >= t) break;
    selection.insert(i);
  }
  return selection.take();
}

}  // namespace vorn
