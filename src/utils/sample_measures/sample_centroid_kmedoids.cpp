// K-medoids sampling: the point nearest the centroid, then first-improvement medoid swaps.
// Costs are summed in point order and compared strictly: equal costs never swap.
#include "utils/sample_measures/sample_centroid_kmedoids.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "base/simd_clones.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/seeded_rng.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Up to this many points the search keeps all pairwise distances in units (16 MiB); beyond,
// computing a row in float lanes costs less than fetching it from a table out of cache.
constexpr std::size_t kMatrixLimit = 2048;
// The swap bounds keep t integers per point; past this many, every swap is tried exactly.
constexpr std::size_t kBoundEntryLimit = std::size_t(1) << 24;
// Beyond this dimension, unit distances are computed exactly.
constexpr std::size_t kMaxFloatDimension = 64;
// Candidates per parallel range, and points per piece of an exact cost.
constexpr std::size_t kCandidateGrain = 256;
constexpr std::size_t kPiece = 256;

using Units = std::int32_t;

// Unit distances from one point (d coordinates, in units) to points [begin, end) of unit
// coordinates held axis by axis (axis k at columns + k * n), in float: a bound only, whose
// error unit_error() accounts for.
VORN_SIMD_CLONES
void float_unit_row(const float* columns, std::size_t n, std::size_t d, const float* point,
                    std::size_t begin, std::size_t end, Units* out) {
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
    for (std::size_t l = 0; l < m; ++l) out[b - begin + l] = static_cast<Units>(std::sqrt(sum[l]));
  }
}

// Distances in whole units of 1 / scale, rounded down (see unit_scale). Units feed only the
// bounds that pass over most candidates; every cost that decides a swap is summed from exact
// distances.
class Distances {
 public:
  Distances(const PointSet& points, double scale, const Executor& executor)
      : points_(points), n_(points.n), scale_(scale), columns_(points) {
    if (scale == 0.0) return;
    if (n_ > kMatrixLimit && points.d <= kMaxFloatDimension) {
      // Coordinates in units around the middle of the box, in float: unit distances at a
      // fraction of the cost of exact ones.
      const std::size_t d = points.d;
      std::vector<double> middle(d);
      for (std::size_t k = 0; k < d; ++k) {
        double lo = points[0][k], hi = lo;
        for (std::size_t i = 1; i < n_; ++i) {
          lo = std::min(lo, points[i][k]);
          hi = std::max(hi, points[i][k]);
        }
        middle[k] = lo + (hi - lo) * 0.5;
      }
      float_columns_.resize(n_ * d);
      for (std::size_t i = 0; i < n_; ++i) {
        for (std::size_t k = 0; k < d; ++k) {
          float_columns_[k * n_ + i] = static_cast<float>((points[i][k] - middle[k]) * scale);
        }
      }
      return;
    }
    table_.resize(n_ * n_);
    // point_distance is symmetric to the bit (a - b is exactly -(b - a)), so one triangle serves;
    // the range holding x writes entries (x, i) and (i, x) for i < x, no other range does.
    // Whole rows, so that every range writes one contiguous block.
    executor.for_ranges(n_, 16, [&](std::size_t begin, std::size_t end) {
      std::vector<double> row(n_);
      for (std::size_t x = begin; x < end; ++x) {
        columns_.distances(points_[x], 0, n_, row.data());
        for (std::size_t i = 0; i < n_; ++i) table_[x * n_ + i] = units(row[i]);
      }
    });
  }

  Units units(double distance) const { return static_cast<Units>(distance * scale_); }

  // Entry x - begin: the distance from point i to point x in units, for x in [begin, end);
  // either in the table or written to out.
  const Units* unit_row(std::size_t i, std::size_t begin, std::size_t end, Units* out) const {
    if (!table_.empty()) return table_.data() + i * n_ + begin;
    const std::size_t d = points_.d;
    if (float_columns_.empty()) {
      double row[kCandidateGrain];
      for (std::size_t b = begin; b < end; b += kCandidateGrain) {
        const std::size_t e = std::min(end, b + kCandidateGrain);
        columns_.distances(points_[i], b, e, row);
        for (std::size_t x = b; x < e; ++x) out[x - begin] = units(row[x - b]);
      }
      return out;
    }
    float point[kMaxFloatDimension];
    for (std::size_t k = 0; k < d; ++k) point[k] = float_columns_[k * n_ + i];
    float_unit_row(float_columns_.data(), n_, d, point, begin, end, out);
    return out;
  }

  // How far a unit distance may lie from the exact distance times scale, in units. Rounded
  // down from exact distances: under one. From float coordinates within D = 2^30 / (n + 2)
  // units of the middle: 2^-24 D for each coordinate's rounding and 2^-23 D for each rounding
  // of the differences, squares, sums and square root: under 1 + 2^-22 (d + 8) D.
  double unit_error() const {
    if (float_columns_.empty()) return 1.0;
    const double diameter = 0x1p30 / static_cast<double>(n_ + 2);
    return 1.0 + (static_cast<double>(points_.d) + 8.0) * 0x1p-22 * diameter;
  }

  // out[x - begin]: point_distance from point i to point x, for x in [begin, end).
  void exact_row(std::size_t i, std::size_t begin, std::size_t end, double* out) const {
    columns_.distances(points_[i], begin, end, out);
  }

 private:
  const PointSet& points_;
  std::size_t n_;
  double scale_;
  PointColumns columns_;
  std::vector<Units> table_;
  std::vector<float> float_columns_;
};

// For every point the nearest and second-nearest medoid distance with their positions, so that
// the cost without the medoid at one position is known per point in O(1). The search runs only
// on finite coordinates, so no distance is NaN and equal minima are equal to the bit.
struct NearestMedoids {
  std::vector<double> near1, near2;
  std::vector<std::size_t> pos1, pos2;

  NearestMedoids(const PointSet& points, const Distances& distances, const Indices& medoids,
                 const Executor& executor)
      : near1(points.n, kInfinity), near2(points.n, kInfinity), pos1(points.n), pos2(points.n) {
    executor.for_ranges(points.n, kCandidateGrain, [&](std::size_t begin, std::size_t end) {
      std::vector<double> row(end - begin);
      for (std::size_t q = 0; q < medoids.size(); ++q) {
        distances.exact_row(medoids[q], begin, end, row.data());
        for (std::size_t i = begin; i < end; ++i) insert(i, row[i - begin], q);
      }
    });
  }

  // The cost of the current medoids, summed in point order.
  double cost() const {
    double total = 0.0;
    for (double v : near1) total = total + v;
    return total;
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

  // The medoid at position p is now medoids[p], at distances `column` from every point.
  void replaced(const PointSet& points, const Indices& medoids, std::size_t p,
                const double* column) {
    for (std::size_t i = 0; i < near1.size(); ++i) {
      if (pos1[i] != p && pos2[i] != p) {
        insert(i, column[i], p);
        continue;
      }
      near1[i] = near2[i] = kInfinity;
      for (std::size_t q = 0; q < medoids.size(); ++q) {
        insert(i, point_distance(points[i], points[medoids[q]], points.d), q);
      }
    }
  }
};

// Candidates at distances row[0 .. m - 1] (units) from one point: takes the point's old terms
// out of their sums and puts its new ones in. old_column and new_column may be one array.
VORN_SIMD_CLONES
void replace_terms_apart(const Units* row, std::size_t m, Units a0, Units b0, Units a1, Units b1,
                         Units* __restrict gain, Units* __restrict old_column,
                         Units* __restrict new_column) {
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
                            Units* __restrict gain, Units* __restrict column) {
  for (std::size_t x = 0; x < m; ++x) {
    const Units q = row[x];
    const Units g0 = std::max(a0 - q, 0), h0 = std::max(b0 - q, 0);
    const Units g1 = std::max(a1 - q, 0), h1 = std::max(b1 - q, 0);
    gain[x] += g1 - g0;
    column[x] += (h1 - g1) - (h0 - g0);
  }
}

// Bounds on how much every swap would change the cost, in integer units so that they are kept
// up to date exactly, in any order and on any number of threads. With rest_i the distance from
// point i to its nearest medoid but the one at position p, swapping candidate x in at p saves
// gain = sum_i max(rest_i - d(i, x), 0) and loses loss(p) = sum_i (rest_i - near1_i). gain
// splits into G(x) = sum_i max(near1_i - d(i, x), 0) plus, over the points whose nearest
// medoid is at p, C(p, x) = sum max(near2_i - d(i, x), 0) - max(near1_i - d(i, x), 0).
class SwapBounds {
 public:
  SwapBounds(const NearestMedoids& nearest, const Distances& distances, std::size_t t,
             const Executor& executor)
      : n_(nearest.near1.size()),
        q1_(n_),
        q2_(n_),
        pos_(n_),
        gain_(n_, 0),
        column_(t * n_, 0),
        loss_(t, 0) {
    std::vector<Term> all(n_);
    for (std::size_t i = 0; i < n_; ++i) {
      quantise(nearest, distances, i);
      loss_[pos_[i]] += q2_[i] - q1_[i];
      all[i] = Term{i, q1_[i], q2_[i], pos_[i], q1_[i], q2_[i], pos_[i]};
      all[i].old_q1 = all[i].old_q2 = -1;  // nothing to take out: every distance is >= 0
    }
    apply(all, distances, executor);
  }

  // loss(p) - gain for candidate x at position p, in units.
  std::int64_t change(std::size_t p, std::size_t x) const {
    return loss_[p] - gain_[x] - std::int64_t(column_[p * n_ + x]);
  }
  std::int64_t loss(std::size_t p) const { return loss_[p]; }

  // Follows a swap: replaces the terms of the points whose nearest or second-nearest distance
  // changed.
  void update(const NearestMedoids& nearest, const Distances& distances, const Executor& executor) {
    changed_.clear();
    for (std::size_t i = 0; i < n_; ++i) {
      const Units a = q1_[i], b = q2_[i];
      const std::size_t p = pos_[i];
      quantise(nearest, distances, i);
      if (a == q1_[i] && b == q2_[i] && p == pos_[i]) continue;
      changed_.push_back(Term{i, a, b, p, q1_[i], q2_[i], pos_[i]});
      loss_[p] -= b - a;
      loss_[pos_[i]] += q2_[i] - q1_[i];
    }
    apply(changed_, distances, executor);
  }

 private:
  // A point's old and new nearest and second-nearest distance (units) and nearest position.
  struct Term {
    std::size_t i;
    Units old_q1, old_q2;
    std::size_t old_pos;
    Units q1, q2;
    std::size_t pos;
  };

  void quantise(const NearestMedoids& nearest, const Distances& distances, std::size_t i) {
    q1_[i] = distances.units(nearest.near1[i]);
    q2_[i] = distances.units(nearest.near2[i]);
    pos_[i] = nearest.pos1[i];
  }

  template <class T>
  static void replace_terms(const T& term, const Units* row, std::size_t m, Units* gain,
                            Units* old_column, Units* new_column) {
    if (old_column == new_column) {
      replace_terms_in_place(row, m, term.old_q1, term.old_q2, term.q1, term.q2, gain, new_column);
    } else {
      replace_terms_apart(row, m, term.old_q1, term.old_q2, term.q1, term.q2, gain, old_column,
                          new_column);
    }
  }

  // Takes each point's old terms out of every candidate's sums and puts its new ones in.
  // Candidates are independent and integer sums exact, so ranges of them run in parallel.
  void apply(const std::vector<Term>& terms, const Distances& distances, const Executor& executor) {
    executor.for_ranges(n_, kCandidateGrain, [&](std::size_t begin, std::size_t end) {
      Units buffer[kCandidateGrain];
      const std::size_t m = end - begin;
      for (const Term& term : terms) {
        const Units* row = distances.unit_row(term.i, begin, end, buffer);
        Units* columns = column_.data() + begin;
        replace_terms(term, row, m, gain_.data() + begin, columns + term.old_pos * n_,
                      columns + term.pos * n_);
      }
    });
  }

  std::size_t n_;
  std::vector<Units> q1_, q2_;
  std::vector<std::size_t> pos_;
  std::vector<Units> gain_, column_;
  std::vector<std::int64_t> loss_;
  std::vector<Term> changed_;
};

// Units per distance: a power of two that puts n + 2 times the cloud's diameter below 2^30
// units, so that every sum of unit distances over the points fits in Units. Zero when a
// distance may overflow (no bounds then).
double unit_scale(const PointSet& points) {
  const std::size_t d = points.d;
  std::vector<double> lo(points[0], points[0] + d), hi(lo);
  for (std::size_t i = 1; i < points.n; ++i) {
    for (std::size_t k = 0; k < d; ++k) {
      lo[k] = std::min(lo[k], points[i][k]);
      hi[k] = std::max(hi[k], points[i][k]);
    }
  }
  double diagonal = 0.0;
  for (std::size_t k = 0; k < d; ++k) diagonal += (hi[k] - lo[k]) * (hi[k] - lo[k]);
  diagonal = std::sqrt(diagonal) * 1.01 + 0x1p-1000;
  if (!std::isfinite(diagonal) || diagonal > 0x1p500) return 0.0;
  const double sum_bound = diagonal * static_cast<double>(points.n + 2);
  return std::ldexp(1.0, std::min(std::ilogb(0x1p30 / sum_bound), 1000));
}

// True when a change in units certainly leaves the cost no lower. Each term of loss errs by
// under one unit and each of gain by under one plus unit_error, and the two exact sums the swap
// is decided by by n units in the last place; everything doubled for the test's own roundings.
bool clearly_no_better(std::int64_t change, std::int64_t loss, double current, std::size_t n,
                       double scale, double unit_error) {
  const double terms = static_cast<double>(n) + 8.0;
  const double loss_bound = (static_cast<double>(loss) + terms * (2.0 + unit_error)) / scale;
  const double slack = 2.0 * terms * (2.0 + unit_error) +
                       scale * (2.0 * current + loss_bound) * 8.0 * terms * 0x1p-53;
  return static_cast<double>(change) > slack;
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
  for (std::size_t begin = 0; begin < n; begin += kPiece) {
    const std::size_t end = std::min(n, begin + kPiece);
    if (begin % (64 * kPiece) == 0) executor.poll();
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

}  // namespace

double compute_total_distance(const PointSet& points, const Indices& medoids) {
  double total = 0.0;
  for (std::size_t i = 0; i < points.n; ++i) {
    double m = kInfinity;
    for (std::uint64_t k : medoids) {
      const double v = point_distance(points[i], points[k], points.d);
      if (!std::isnan(v) && v < m) m = v;  // a NaN distance is passed over
    }
    total = total + m;
  }
  return total;
}

Indices sample_centroid_kmedoids(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                                 std::uint64_t max_iterations, const Executor& executor) {
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

  std::vector<char> is_medoid(n, 0);
  for (std::uint64_t m : medoids) is_medoid[m] = 1;
  const double scale = unit_scale(points);
  const Distances distances(points, scale, executor);
  NearestMedoids nearest(points, distances, medoids, executor);
  double current = nearest.cost();
  std::optional<SwapBounds> bounds;
  if (scale > 0.0 && t <= kBoundEntryLimit / n) bounds.emplace(nearest, distances, t, executor);
  std::vector<double> column(n);
  std::uint64_t swaps = 0;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (std::size_t p = 1; p < t && !swapped; ++p) {
      executor.poll();
      for (std::size_t x = 0; x < n; ++x) {
        if (is_medoid[x]) continue;
        if (bounds && clearly_no_better(bounds->change(p, x), bounds->loss(p), current, n, scale,
                                        distances.unit_error())) {
          continue;
        }
        double cost;
        if (!cheaper(nearest, distances, p, x, current, &cost, column, executor)) continue;
        is_medoid[medoids[p]] = 0;
        is_medoid[x] = 1;
        medoids[p] = x;
        current = cost;
        if (++swaps == max_iterations) return medoids;
        nearest.replaced(points, medoids, p, column.data());
        if (bounds) bounds->update(nearest, distances, executor);
        swapped = true;  // first improvement: start the next pass from position 1
        break;
      }
    }
  }
  return medoids;
}

}  // namespace vorn
