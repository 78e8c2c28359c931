// The centroid of a point set and the point nearest to a position: every centroid sampler's start.
// Sums run in point order and distances are compared after the square root, ties to the lower
// index.
#include "utils/sample_measures/centroid.h"

#include <cmath>

#include "base/panic.h"
#include "base/simd_clones.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

std::vector<double> compute_centroid(const PointSet& points) {
  const std::size_t d = points.d;
  std::vector<double> sum(d, 0.0);
  for (std::size_t i = 0; i < points.n; ++i) {
    const double* p = points[i];
    for (std::size_t j = 0; j < d; ++j) sum[j] = sum[j] + p[j];
  }
  // A division by n, not a multiplication by its reciprocal.
  const double count = static_cast<double>(points.n);
  for (std::size_t j = 0; j < d; ++j) sum[j] = sum[j] / count;
  return sum;
}

std::uint64_t find_closest_point(const PointSet& points, const double* position) {
  const std::size_t n = points.n;
  if (n == 1) return 0;
  const std::size_t d = points.d;
  std::uint64_t best = 0;
  double best_distance = point_distance(points[0], position, d);
  for (std::size_t i = 1; i < n; ++i) {
    const double candidate = point_distance(points[i], position, d);
    if (std::isnan(best_distance) || std::isnan(candidate)) {
      throw Panic("called `Option::unwrap()` on a `None` value");
    }
    // Square-rooted distances: squared sums that round to one root are a tie, kept by the lower
    // index.
    if (best_distance > candidate) {
      best = i;
      best_distance = candidate;
    }
  }
  return best;
}

std::uint64_t nearest_to_centroid(const PointSet& points) {
  const std::vector<double> centroid = compute_centroid(points);
  return find_closest_point(points, centroid.data());
}

namespace {

constexpr std::size_t kLanes = 16;

// The squared sums of point_distance for kLanes consecutive points whose axis k starts at
// columns + k * stride. Every lane makes the scalar operations of one point in the
// scalar order (eight partial sums over full blocks of eight, then the tail), so vector lanes
// change no rounding.
VORN_SIMD_CLONES
void lane_squared_sums(const double* columns, std::size_t stride, std::size_t d,
                       const double* position, double* out) {
  double r[kLanes] = {};
  std::size_t t = 0;
  if (d >= 8) {
    // Partial sum k takes axes k, k + 8, k + 16, ...: each is accumulated on its own.
    double s[8][kLanes];
    const std::size_t blocks = d / 8;
    for (std::size_t k = 0; k < 8; ++k) {
      double acc[kLanes] = {};
      for (std::size_t b = 0; b < blocks; ++b) {
        const double* c = columns + (8 * b + k) * stride;
        const double x = position[8 * b + k];
        for (std::size_t l = 0; l < kLanes; ++l) {
          const double v = c[l] - x;
          acc[l] = acc[l] + v * v;
        }
      }
      for (std::size_t l = 0; l < kLanes; ++l) s[k][l] = acc[l];
    }
    for (std::size_t l = 0; l < kLanes; ++l) {
      double q = s[0][l] + s[4][l];
      q = q + (s[1][l] + s[5][l]);
      q = q + (s[2][l] + s[6][l]);
      r[l] = q + (s[3][l] + s[7][l]);
    }
    t = 8 * blocks;
  }
  for (; t < d; ++t) {
    const double* c = columns + t * stride;
    const double x = position[t];
    for (std::size_t l = 0; l < kLanes; ++l) {
      const double v = c[l] - x;
      r[l] = r[l] + v * v;
    }
  }
  for (std::size_t l = 0; l < kLanes; ++l) out[l] = r[l];
}

}  // namespace

PointColumns::PointColumns(const PointSet& points)
    : n_(points.n), d_(points.d), columns_(points.n * points.d) {
  for (std::size_t i = 0; i < n_; ++i) {
    for (std::size_t k = 0; k < d_; ++k) columns_[k * n_ + i] = points[i][k];
  }
}

void column_squared_sums(const double* columns, std::size_t stride, std::size_t d,
                         const double* position, std::size_t m, double* out) {
  std::size_t i = 0;
  for (; i + kLanes <= m; i += kLanes) lane_squared_sums(columns + i, stride, d, position, out + i);
  if (i == m) return;
  // The last few points, padded with copies of the position, which add nothing.
  std::vector<double> tail(d * kLanes);
  double sums[kLanes];
  for (std::size_t k = 0; k < d; ++k) {
    for (std::size_t l = 0; l < kLanes; ++l) {
      tail[k * kLanes + l] = i + l < m ? columns[k * stride + i + l] : position[k];
    }
  }
  lane_squared_sums(tail.data(), kLanes, d, position, sums);
  for (std::size_t l = 0; i + l < m; ++l) out[i + l] = sums[l];
}

void PointColumns::squared_sums(const double* position, std::size_t begin, std::size_t end,
                                double* out) const {
  column_squared_sums(columns_.data() + begin, n_, d_, position, end - begin, out);
}

void PointColumns::distances(const double* position, std::size_t begin, std::size_t end,
                             double* out) const {
  squared_sums(position, begin, end, out);
  for (std::size_t i = 0; i < end - begin; ++i) out[i] = std::sqrt(out[i]);
}

}  // namespace vorn
