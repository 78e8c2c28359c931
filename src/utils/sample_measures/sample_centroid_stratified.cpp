// Stratified sampling: the point nearest the centroid, then proportional quotas of k-means strata.
// Lloyd steps give ties to the lower centre and sum members in index order, bit for bit.
#include "utils/sample_measures/sample_centroid_stratified.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "base/panic.h"
#include "base/simd_clones.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/seeded_rng.h"
#include "utils/sample_measures/selection_set.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

// Points per range of the assignment step: a multiple of the vector lanes of PointColumns.
constexpr std::size_t kAssignGrain = 256;

// Squared sums a > b whose roots certainly differ: a > b * (1 + 2^-40) (a square root can close
// only far smaller relative gaps), leaving out tiny sums.
inline bool roots_differ(double a, double b) {
  return a > b * (1.0 + 0x1p-40) + 0x1p-1000;
}

// Moves every point whose squared sum to centre j is smaller than its best so far, and keeps
// the smallest sum of the other centres in `second`. The square roots decide; they are taken
// only when the sums are so close that their roots might tie.
VORN_SIMD_CLONES
void keep_nearer(const double* sum, std::size_t m, std::uint64_t j, double* best_sum,
                 double* second, std::uint64_t* best) {
  std::size_t near_ties = 0;
  for (std::size_t l = 0; l < m; ++l) {
    near_ties += std::size_t(best_sum[l] > sum[l]) - std::size_t(roots_differ(best_sum[l], sum[l]));
  }
  if (near_ties != 0) {
    for (std::size_t l = 0; l < m; ++l) {
      if (best_sum[l] > sum[l] && std::sqrt(best_sum[l]) > std::sqrt(sum[l])) {
        second[l] = best_sum[l];
        best_sum[l] = sum[l];
        best[l] = j;
      } else {
        second[l] = std::min(second[l], sum[l]);
      }
    }
    return;
  }
  for (std::size_t l = 0; l < m; ++l) {
    const bool nearer = best_sum[l] > sum[l];
    second[l] = nearer ? best_sum[l] : std::min(second[l], sum[l]);
    best_sum[l] = nearer ? sum[l] : best_sum[l];
    best[l] = nearer ? j : best[l];
  }
}

// For every point an upper bound on its real distance to its centre and a lower bound on that
// to every other centre, carried across iterations by how far the centres moved. A point whose
// bounds stay apart by more than the rounding of a computed distance (relative error under
// eta = (d + 8) 2^-53, taken twice) has the same nearest centre, with no tie: its distances
// need not be computed.
class CentreBounds {
 public:
  CentreBounds(std::size_t n, std::size_t d)
      : eta_((static_cast<double>(d) + 8.0) * 0x1p-52), upper_(n), lower_(n) {}

  bool ready() const { return ready_; }

  // After the centres moved from `previous` to `centres`.
  void centres_moved(const std::vector<double>& previous, const std::vector<double>& centres,
                     std::size_t k, std::size_t d) {
    moved_.resize(k);
    farthest_ = 0.0;
    for (std::size_t j = 0; j < k; ++j) {
      moved_[j] =
          point_distance(previous.data() + j * d, centres.data() + j * d, d) * (1.0 + 2.0 * eta_);
      farthest_ = std::max(farthest_, moved_[j]);
    }
  }

  // Carries point i's bounds over the last move; true when its centre certainly stays. If the
  // carried bounds leave it in doubt, its distance to its own centre (`distance` computes it)
  // replaces the upper bound before it is given up.
  template <class Distance>
  bool stays(std::size_t i, std::uint64_t centre, const Distance& distance) {
    constexpr double kUp = 1.0 + 0x1p-50, kDown = 1.0 - 0x1p-50;
    upper_[i] = (upper_[i] + moved_[centre]) * kUp;
    lower_[i] = (lower_[i] - farthest_) * kDown;
    if (apart(i)) return true;
    upper_[i] = distance() * (1.0 + 2.0 * eta_);
    return apart(i);
  }

  // Point i's squared sums to its nearest centre and to the nearest of the others.
  void reset(std::size_t i, double best_sum, double second_sum) {
    upper_[i] = std::sqrt(best_sum) * (1.0 + 2.0 * eta_);
    lower_[i] = std::sqrt(second_sum) * (1.0 - 2.0 * eta_);
  }

  void set_ready() { ready_ = true; }

 private:
  bool apart(std::size_t i) const {
    return upper_[i] * (1.0 + 4.0 * eta_) < lower_[i] * (1.0 - 4.0 * eta_);
  }

  double eta_;
  std::vector<double> upper_, lower_, moved_;
  double farthest_ = 0.0;
  bool ready_ = false;
};

// Assignment step: the nearest of k >= 2 centres (k x d, row-major) for every point whose
// bounds leave it in doubt. Only a strictly smaller distance moves a point, so ties go to the
// lower centre. Points are independent, so ranges of them run in parallel.
void assign_to_centres(const PointSet& points, const PointColumns& columns,
                       const std::vector<double>& centres, std::size_t k,
                       std::vector<std::uint64_t>& assignment, CentreBounds& bounds,
                       const Executor& executor) {
  const std::size_t n = points.n, d = points.d;
  executor.for_ranges(n, kAssignGrain, [&](std::size_t begin, std::size_t end) {
    std::size_t doubtful[kAssignGrain];
    std::size_t m = 0;
    for (std::size_t i = begin; i < end; ++i) {
      const std::uint64_t a = assignment[i];
      const auto own = [&] { return point_distance(points[i], centres.data() + a * d, d); };
      if (!bounds.ready() || !bounds.stays(i, a, own)) doubtful[m++] = i;
    }
    if (m == 0) return;
    // The doubtful points' coordinates side by side, unless they are the whole range.
    std::vector<double> gathered;
    const double* block = columns.from(begin);
    std::size_t stride = n;
    if (m < end - begin) {
      gathered.resize(d * m);
      for (std::size_t l = 0; l < m; ++l) {
        const double* p = points[doubtful[l]];
        for (std::size_t c = 0; c < d; ++c) gathered[c * m + l] = p[c];
      }
      block = gathered.data();
      stride = m;
    }
    double best_sum[kAssignGrain], second[kAssignGrain], sum[kAssignGrain];
    std::uint64_t best[kAssignGrain] = {};
    column_squared_sums(block, stride, d, centres.data(), m, best_sum);
    std::fill(second, second + m, std::numeric_limits<double>::infinity());
    for (std::size_t j = 1; j < k; ++j) {
      column_squared_sums(block, stride, d, centres.data() + j * d, m, sum);
      keep_nearer(sum, m, j, best_sum, second, best);
    }
    for (std::size_t l = 0; l < m; ++l) {
      assignment[doubtful[l]] = best[l];
      bounds.reset(doubtful[l], best_sum[l], second[l]);
    }
  });
  bounds.set_ready();
}

// Update step: each centre with members becomes their mean, summed in ascending index order
// and divided (not multiplied by a reciprocal) by the member count; an empty one stays put.
// The sums are one sequential loop in point order: their rounding depends on it.
void move_centres(const PointSet& points, const std::vector<std::uint64_t>& assignment,
                  std::size_t k, std::vector<double>& sums, std::vector<std::uint64_t>& sizes,
                  std::vector<double>& centres, const Executor& executor) {
  const std::size_t d = points.d;
  constexpr std::size_t kPollEvery = 1 << 16;
  sums.assign(k * d, 0.0);
  sizes.assign(k, 0);
  for (std::size_t i = 0; i < points.n; ++i) {
    if (i % kPollEvery == 0) executor.poll();
    double* sum = sums.data() + assignment[i] * d;
    const double* p = points[i];
    for (std::size_t c = 0; c < d; ++c) sum[c] = sum[c] + p[c];
    ++sizes[assignment[i]];
  }
  for (std::size_t j = 0; j < k; ++j) {
    if (sizes[j] == 0) continue;
    const double size = static_cast<double>(sizes[j]);
    for (std::size_t c = 0; c < d; ++c) centres[j * d + c] = sums[j * d + c] / size;
  }
}

}  // namespace

std::vector<std::uint64_t> stratum_quotas(const std::vector<std::uint64_t>& sizes, std::uint64_t n,
                                          std::uint64_t places) {
  std::vector<std::uint64_t> quota(sizes.size());
  std::uint64_t total = 0;
  for (std::size_t j = 0; j < sizes.size(); ++j) {
    // The division first, then the multiplication; std::round takes halves away from zero.
    const double share =
        static_cast<double>(sizes[j]) / static_cast<double>(n) * static_cast<double>(places);
    quota[j] = static_cast<std::uint64_t>(std::round(share));
    total += quota[j];
  }
  if (!quota.empty() && total < places) quota[0] += places - total;
  return quota;
}

Indices sample_centroid_stratified(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                                   std::uint64_t num_strata, std::uint64_t max_iterations,
                                   const Executor& executor) {
  SeededRng rng = SeededRng::seed_from_u64(seed);
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::uint64_t t = count < n ? count : n;
  SelectionSet selection(n);
  selection.insert(nearest_to_centroid(points));
  const std::uint64_t places = t - 1;
  if (places == 0) return selection.take();
  const std::size_t k = num_strata < n ? num_strata : n;
  const std::size_t d = points.d;

  Indices order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  rng.shuffle(order.data(), n);
  std::vector<double> centres(k * d);
  for (std::size_t j = 0; j < k; ++j) {
    std::memcpy(centres.data() + j * d, points[order[j]], d * sizeof(double));
  }

  // Once an iteration leaves every centre bit-identical, each later one repeats it exactly,
  // so stopping there gives the same strata and a huge iteration count cannot hang.
  std::vector<std::uint64_t> assignment(n, 0);
  std::vector<double> previous, sums;
  std::vector<std::uint64_t> counts;
  std::optional<PointColumns> columns;
  std::optional<CentreBounds> bounds;
  for (std::uint64_t iteration = 0; iteration < max_iterations; ++iteration) {
    if (k == 0) throw Panic("called `Option::unwrap()` on a `None` value");
    if (k == 1) break;  // every point stays in stratum 0 and its centre is never read again
    if (!columns) {
      columns.emplace(points);
      bounds.emplace(n, d);
    }
    assign_to_centres(points, *columns, centres, k, assignment, *bounds, executor);
    previous = centres;
    move_centres(points, assignment, k, sums, counts, centres, executor);
    if (std::memcmp(previous.data(), centres.data(), centres.size() * sizeof(double)) == 0) break;
    bounds->centres_moved(previous, centres, k, d);
  }
  if (k == 0) throw Panic("index out of bounds: the len is 0 but the index is 0");

  // Strata side by side, members in ascending index order.
  std::vector<std::uint64_t> start(k + 1, 0);
  for (std::size_t i = 0; i < n; ++i) ++start[assignment[i] + 1];
  for (std::size_t j = 0; j < k; ++j) start[j + 1] += start[j];
  Indices members(n);
  {
    std::vector<std::uint64_t> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < n; ++i) members[next[assignment[i]]++] = i;
  }

  std::vector<std::uint64_t> stratum_sizes(k);
  for (std::size_t j = 0; j < k; ++j) stratum_sizes[j] = start[j + 1] - start[j];
  const std::vector<std::uint64_t> quota = stratum_quotas(stratum_sizes, n, places);

  // Every stratum is shuffled, even one with nothing left to give: later strata draw after it.
  for (std::size_t j = 0; j < k; ++j) {
    std::uint64_t* list = members.data() + start[j];
    const std::size_t size = start[j + 1] - start[j];
    rng.shuffle(list, size);
    std::uint64_t left = quota[j];
    for (std::size_t m = 0; m < size && left > 0 && selection.size() < t; ++m) {
      selection.insert(list[m]);  // a repeat of the first choice still uses up quota
      --left;
    }
  }
  return selection.take();
}

}  // namespace vorn
