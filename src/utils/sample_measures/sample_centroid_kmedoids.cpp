// K-medoids sampling: the point nearest the centroid, then shuffled medoids improved by first-improvement swaps.
// Costs are summed in point order and compared strictly: equal costs never swap, so ties keep the earlier medoid.
#include "utils/sample_measures/sample_centroid_kmedoids.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/seeded_rng.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Up to this many points the search keeps all pairwise distances (64 MiB).
constexpr std::size_t kMatrixLimit = 2896;

// Distances from every point to one chosen point, kept for all pairs when they fit.
// point_distance is symmetric to the bit (a - b is exactly -(b - a)), so one triangle serves.
class DistanceColumns {
 public:
  explicit DistanceColumns(const PointSet& points) : points_(points), n_(points.n) {
    if (n_ <= kMatrixLimit) {
      matrix_.resize(n_ * n_);
      for (std::size_t x = 0; x < n_; ++x) {
        matrix_[x * n_ + x] = 0.0;
        for (std::size_t i = 0; i < x; ++i) {
          const double v = point_distance(points[i], points[x], points.d);
          matrix_[x * n_ + i] = v;
          matrix_[i * n_ + x] = v;
        }
      }
    } else {
      scratch_.resize(n_);
    }
  }

  // Entry i is the distance from point i to point x; valid until the next call.
  const double* column(std::uint64_t x) {
    if (!matrix_.empty()) return matrix_.data() + x * n_;
    const double* px = points_[x];
    for (std::size_t i = 0; i < n_; ++i) scratch_[i] = point_distance(points_[i], px, points_.d);
    return scratch_.data();
  }

  double at(std::size_t i, std::uint64_t x) const {
    return matrix_.empty() ? point_distance(points_[i], points_[x], points_.d) : matrix_[x * n_ + i];
  }

 private:
  const PointSet& points_;
  std::size_t n_;
  std::vector<double> matrix_;
  std::vector<double> scratch_;
};

// For every point the nearest and second-nearest medoid distance with their positions, so that
// the cost without the medoid at one position is known per point in O(1). The search runs only
// on finite coordinates, so no distance is NaN and equal minima are equal to the bit.
class NearestMedoids {
 public:
  NearestMedoids(DistanceColumns& columns, const Indices& medoids, std::size_t n)
      : columns_(columns), medoids_(medoids), near1_(n), near2_(n), pos1_(n), pos2_(n) {
    for (std::size_t i = 0; i < near1_.size(); ++i) recompute(i);
  }

  // The cost of the current medoids, summed in point order.
  double cost() const {
    double total = 0.0;
    for (double v : near1_) total = total + v;
    return total;
  }

  // Entry i: distance from point i to its nearest medoid other than the one at position p.
  // Returns what removing that medoid adds to the cost, summed in any order (a bound only).
  double without_position(std::size_t p, std::vector<double>& out) const {
    double loss = 0.0;
    for (std::size_t i = 0; i < near1_.size(); ++i) {
      out[i] = pos1_[i] == p ? near2_[i] : near1_[i];
      loss += out[i] - near1_[i];
    }
    return loss;
  }

  // The medoid at position p has been replaced; column holds the new medoid's distances.
  void replaced(std::size_t p, const double* column) {
    for (std::size_t i = 0; i < near1_.size(); ++i) {
      if (pos1_[i] == p || pos2_[i] == p) {
        recompute(i);
        continue;
      }
      const double c = column[i];
      if (c < near1_[i]) {
        near2_[i] = near1_[i];
        pos2_[i] = pos1_[i];
        near1_[i] = c;
        pos1_[i] = p;
      } else if (c < near2_[i]) {
        near2_[i] = c;
        pos2_[i] = p;
      }
    }
  }

 private:
  void recompute(std::size_t i) {
    double b1 = kInfinity, b2 = kInfinity;
    std::size_t q1 = 0, q2 = 0;
    for (std::size_t q = 0; q < medoids_.size(); ++q) {
      const double v = columns_.at(i, medoids_[q]);
      if (v < b1) {
        b2 = b1;
        q2 = q1;
        b1 = v;
        q1 = q;
      } else if (v < b2) {
        b2 = v;
        q2 = q;
      }
    }
    near1_[i] = b1;
    near2_[i] = b2;
    pos1_[i] = q1;
    pos2_[i] = q2;
  }

  DistanceColumns& columns_;
  const Indices& medoids_;
  std::vector<double> near1_, near2_;
  std::vector<std::size_t> pos1_, pos2_;
};

// True when the candidate certainly costs at least `current`: what it saves (gain, how much
// closer it brings points than `rest`) falls short of what removing the medoid adds (loss) by
// more than the roundings of the exact cost sums and of these two sums could bridge. Each of
// them errs by at most about n units in the last place of its total, so `slack` is
// 4 (n + 2) 2^-53. Only a decision, never a cost, comes from here: the gain may use four lanes.
bool clearly_worse(const double* column, const std::vector<double>& rest, double loss,
                   double current, double slack) {
  double g0 = 0.0, g1 = 0.0, g2 = 0.0, g3 = 0.0;
  const std::size_t n = rest.size();
  const double* r = rest.data();
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    g0 += std::max(r[i] - column[i], 0.0);
    g1 += std::max(r[i + 1] - column[i + 1], 0.0);
    g2 += std::max(r[i + 2] - column[i + 2], 0.0);
    g3 += std::max(r[i + 3] - column[i + 3], 0.0);
  }
  for (; i < n; ++i) g0 += std::max(r[i] - column[i], 0.0);
  const double gain = (g0 + g1) + (g2 + g3);
  return loss - gain > slack * (2.0 * current + loss + gain);
}

// The cost with candidate distances `column` in place of the medoid whose removal leaves `rest`,
// if it is strictly below `current`. Partial sums of non-negative terms never decrease, so the sum
// stops as soon as it reaches `current`; a completed sum is the exact cost in point order.
bool cheaper(const double* column, const std::vector<double>& rest, double current, double* cost) {
  double total = 0.0;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const double c = column[i], r = rest[i];
    total = total + (c < r ? c : r);
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
                                 std::uint64_t max_iterations) {
  SeededRng rng = SeededRng::seed_from_u64(seed);
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::uint64_t t = count < n ? count : n;
  const std::vector<double> centroid = compute_centroid(points);
  const std::uint64_t first = find_closest_point(points, centroid.data());

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
  DistanceColumns columns(points);
  NearestMedoids nearest(columns, medoids, n);
  double current = nearest.cost();
  std::vector<double> rest(n);
  const double slack = 4.0 * (static_cast<double>(n) + 2.0) * std::ldexp(1.0, -53);
  std::uint64_t swaps = 0;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (std::size_t p = 1; p < t && !swapped; ++p) {
      const double loss = nearest.without_position(p, rest);
      const bool bounded = std::isfinite(current) && std::isfinite(loss);
      for (std::size_t x = 0; x < n; ++x) {
        if (is_medoid[x]) continue;
        const double* column = columns.column(x);
        if (bounded && clearly_worse(column, rest, loss, current, slack)) continue;
        double cost;
        if (!cheaper(column, rest, current, &cost)) continue;
        is_medoid[medoids[p]] = 0;
        is_medoid[x] = 1;
        medoids[p] = x;
        nearest.replaced(p, column);
        current = cost;
        if (++swaps == max_iterations) return medoids;
        swapped = true;  // first improvement: start the next pass from position 1
        break;
      }
    }
  }
  return medoids;
}

}  // namespace vorn
