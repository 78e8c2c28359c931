// K-medoids sampling: the point nearest the centroid, then first-improvement medoid swaps.
// Costs are summed in point order and compared strictly: equal costs never swap.
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

// Up to this many points the search keeps all pairwise distances, rounded to float (64 MiB).
constexpr std::size_t kMatrixLimit = 4096;

// Distances from every point to a candidate. The float matrix only feeds the bounds that pass
// over most candidates; every cost that decides a swap is summed from exact distances.
// point_distance is symmetric to the bit (a - b is exactly -(b - a)), so one triangle serves.
class DistanceColumns {
 public:
  explicit DistanceColumns(const PointSet& points) : points_(points), n_(points.n), exact_(n_) {
    if (n_ > kMatrixLimit) return;
    rounded_.resize(n_ * n_);
    for (std::size_t x = 0; x < n_; ++x) {
      rounded_[x * n_ + x] = 0.0f;
      for (std::size_t i = 0; i < x; ++i) {
        const float v = static_cast<float>(point_distance(points[i], points[x], points.d));
        rounded_[x * n_ + i] = v;
        rounded_[i * n_ + x] = v;
      }
    }
  }

  bool has_rounded() const { return !rounded_.empty(); }

  // Entry i: the distance from point i to point x rounded to float. Only when has_rounded().
  const float* rounded_column(std::uint64_t x) const { return rounded_.data() + x * n_; }

  // Entry i: the distance from point i to point x; valid until the next call.
  const double* column(std::uint64_t x) {
    const double* px = points_[x];
    for (std::size_t i = 0; i < n_; ++i) exact_[i] = point_distance(points_[i], px, points_.d);
    return exact_.data();
  }

  double at(std::size_t i, std::uint64_t x) const {
    return point_distance(points_[i], points_[x], points_.d);
  }

 private:
  const PointSet& points_;
  std::size_t n_;
  std::vector<float> rounded_;
  std::vector<double> exact_;
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

// What a candidate at distances `column` saves over `rest` (each point's distance to its nearest
// remaining medoid): the sum of max(rest - column, 0). A bound only, so eight independent lanes.
template <class T>
double saving(const T* column, const T* rest, std::size_t n) {
  T lane[8] = {};
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    for (std::size_t k = 0; k < 8; ++k) lane[k] += std::max(rest[i + k] - column[i + k], T(0));
  }
  double gain = 0.0;
  for (std::size_t k = 0; k < 8; ++k) gain += lane[k];
  for (; i < n; ++i) gain += std::max(double(rest[i]) - double(column[i]), 0.0);
  return gain;
}

// How far the bound test may be off. Relative part: the exact cost sums err by at most n + 2
// units in the last place of their totals; in float, the lanes of `saving` by n / 8 + 4 float
// units of the gain and the rounded distances by 2^-23 of (cost + loss). Absolute part: each
// rounding near zero (subnormal floats) errs by up to half the smallest spacing. Both doubled
// for the test's own roundings.
struct Slack {
  double relative, absolute;
};

Slack bound_slack(std::size_t n, bool in_float) {
  const double terms = static_cast<double>(n) + 8.0;
  const double sums = 2.0 * terms * std::ldexp(1.0, -53);
  if (!in_float) return {4.0 * sums, terms * std::ldexp(1.0, -1070)};
  return {4.0 * sums + 2.0 * ((terms / 8.0 + 4.0) * std::ldexp(1.0, -24) + std::ldexp(1.0, -22)),
          terms * std::ldexp(1.0, -146)};
}

// True when a swap certainly does not lower the cost: the candidate's saving falls short of
// what removing the medoid adds (loss) by more than every rounding could bridge. It only
// ever skips the exact sum, never decides a swap.
bool clearly_worse(double loss, double gain, double current, Slack slack) {
  return loss - gain > slack.relative * (2.0 * current + loss + gain) + slack.absolute;
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
                                 std::uint64_t max_iterations,
    const Executor& /*executor*/) {
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
  DistanceColumns columns(points);
  NearestMedoids nearest(columns, medoids, n);
  double current = nearest.cost();
  const bool in_float = columns.has_rounded();
  const Slack slack = bound_slack(n, in_float);
  std::vector<double> rest(n);
  std::vector<float> rest_rounded(in_float ? n : 0);
  std::uint64_t swaps = 0;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (std::size_t p = 1; p < t && !swapped; ++p) {
      const double loss = nearest.without_position(p, rest);
      for (std::size_t i = 0; i < rest_rounded.size(); ++i) {
        rest_rounded[i] = static_cast<float>(rest[i]);
      }
      const bool bounded = std::isfinite(current) && std::isfinite(loss);
      for (std::size_t x = 0; x < n; ++x) {
        if (is_medoid[x]) continue;
        const double* column = in_float ? nullptr : columns.column(x);
        if (bounded) {
          const double gain = in_float ? saving(columns.rounded_column(x), rest_rounded.data(), n)
                                       : saving(column, rest.data(), n);
          if (clearly_worse(loss, gain, current, slack)) continue;
        }
        if (!column) column = columns.column(x);
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
