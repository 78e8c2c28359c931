// Farthest-point sampling: start at the point nearest the centroid, then always take the point
// farthest from everything chosen. Equal maxima go to the highest index, chosen points included.
#include "utils/sample_measures/sample_centroid_fps.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "utils/sample_measures/centroid.h"

namespace vorn {

namespace {

// Two points side by side. Each lane does exactly the scalar operations of point_distance, so
// the lanes change no rounding; only the memory layout differs.
typedef double f64x2 __attribute__((vector_size(16)));
typedef std::int64_t i64x2 __attribute__((vector_size(16)));

inline f64x2 load2(const double* p) {
  f64x2 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void store2(double* p, f64x2 v) { std::memcpy(p, &v, sizeof v); }

inline f64x2 broadcast(double x) { return f64x2{x, x}; }

inline f64x2 sqrt2(f64x2 x) {
#if defined(__SSE2__)
  return reinterpret_cast<f64x2>(_mm_sqrt_pd(reinterpret_cast<__m128d>(x)));
#else
  return f64x2{std::sqrt(x[0]), std::sqrt(x[1])};
#endif
}

// Coordinate k of point i at data[k * stride + i]. stride is n rounded up to even; the padding
// point copies point 0 so that its arithmetic stays finite, and its nearest entry is -inf.
struct Columns {
  std::size_t d = 0;
  std::size_t stride = 0;
  std::vector<double> data;

  explicit Columns(const PointSet& points) : d(points.d), stride((points.n + 1) & ~std::size_t(1)) {
    data.resize(stride * d);
    for (std::size_t i = 0; i < stride; ++i) {
      const double* p = points[i < points.n ? i : 0];
      for (std::size_t k = 0; k < d; ++k) data[k * stride + i] = p[k];
    }
  }
};

// Squared distance sums of points i and i + 1 to centre, in point_distance's order: eight
// partial sums over full blocks of eight combined pairwise, then the tail.
template <std::size_t D>
inline f64x2 squared_sums(const double* cols, std::size_t stride, std::size_t dim, std::size_t i,
                          const double* centre) {
  const std::size_t d = D ? D : dim;
  f64x2 r = broadcast(0.0);
  std::size_t t = 0;
  if (d >= 8) {
    f64x2 s[8];
    for (auto& sk : s) sk = broadcast(0.0);
    const std::size_t blocks = d / 8;
    for (std::size_t blk = 0; blk < blocks; ++blk) {
      for (std::size_t k = 0; k < 8; ++k) {
        const std::size_t axis = 8 * blk + k;
        const f64x2 v = load2(cols + axis * stride + i) - broadcast(centre[axis]);
        s[k] = s[k] + v * v;
      }
    }
    r = s[0] + s[4];
    r = r + (s[1] + s[5]);
    r = r + (s[2] + s[6]);
    r = r + (s[3] + s[7]);
    t = 8 * blocks;
  }
  for (std::size_t axis = t; axis < d; ++axis) {
    const f64x2 v = load2(cols + axis * stride + i) - broadcast(centre[axis]);
    r = r + v * v;
  }
  return r;
}

// Lowers every nearest entry to its distance from centre and returns the last index holding
// the largest entry. One pass over the points does both: the update of one choice and the
// search for the next.
template <std::size_t D>
std::uint64_t update_and_pick(const Columns& cols, const double* centre, double* nearest) {
  const double* data = cols.data.data();
  f64x2 best_value = broadcast(-std::numeric_limits<double>::infinity());
  i64x2 best_index = {-1, -1};
  i64x2 index = {0, 1};
  const i64x2 step = {2, 2};
  for (std::size_t i = 0; i < cols.stride; i += 2) {
    const f64x2 distance = sqrt2(squared_sums<D>(data, cols.stride, cols.d, i, centre));
    const f64x2 old = load2(nearest + i);
    const f64x2 lowered = distance < old ? distance : old;
    store2(nearest + i, lowered);
    // >=: a later equal maximum replaces an earlier one.
    const i64x2 take = lowered >= best_value;
    best_value = take ? lowered : best_value;
    best_index = take ? index : best_index;
    index += step;
  }
  if (best_value[0] > best_value[1]) return static_cast<std::uint64_t>(best_index[0]);
  if (best_value[1] > best_value[0]) return static_cast<std::uint64_t>(best_index[1]);
  return static_cast<std::uint64_t>(std::max(best_index[0], best_index[1]));
}

using Pass = std::uint64_t (*)(const Columns&, const double*, double*);

Pass pass_for(std::size_t d) {
  switch (d) {
    case 1: return &update_and_pick<1>;
    case 2: return &update_and_pick<2>;
    case 3: return &update_and_pick<3>;
    case 4: return &update_and_pick<4>;
    default: return &update_and_pick<0>;
  }
}

}  // namespace

Indices sample_centroid_fps(const PointSet& points, std::uint64_t count, std::uint64_t /*seed*/) {
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::size_t target = static_cast<std::size_t>(std::min<std::uint64_t>(n, count));
  const std::vector<double> centroid = compute_centroid(points);
  std::uint64_t chosen = find_closest_point(points, centroid.data());
  Indices result;
  result.reserve(target);
  result.push_back(chosen);
  if (target == 1) return result;

  const Columns cols(points);
  // +inf before the first centre, so that its pass sets every entry to that distance.
  std::vector<double> nearest(cols.stride, std::numeric_limits<double>::infinity());
  if (cols.stride > n) nearest[n] = -std::numeric_limits<double>::infinity();
  const Pass pass = pass_for(points.d);
  while (result.size() < target) {
    chosen = pass(cols, points[chosen], nearest.data());
    result.push_back(chosen);
  }
  return result;
}

}  // namespace vorn
