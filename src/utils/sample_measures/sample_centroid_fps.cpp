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
#include "utils/simd_lanes.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

constexpr std::size_t kBucketSize = 512;
constexpr std::uint64_t kBucketingFromCount = 32;

#if VORN_VECTOR_EXTENSIONS
// Two points side by side. Each lane does exactly the scalar operations of point_distance, so
// the lanes change no rounding; only the memory layout differs.
using f64x2 = F64x2;
using i64x2 = I64x2;

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
#endif  // VORN_VECTOR_EXTENSIONS

// Points filed into spatial buckets, each a run of slots in column layout: coordinate k of
// slot s at cols[k * slots + s]. Within a bucket the slots hold ascending point indices and the
// run is padded to even length with a copy of its first point whose nearest entry is -inf.
struct Buckets {
  std::size_t d = 0;
  std::size_t slots = 0;
  std::vector<double> cols;
  std::vector<double> nearest;
  std::vector<std::uint64_t> index;
  std::vector<std::size_t> begin, end;          // slot range of each bucket
  std::vector<double> lo, hi;                   // bounding box of each bucket, d values each
  std::vector<double> max_value;                // largest nearest entry of each bucket
  std::vector<std::uint64_t> max_index;         // highest point index holding it

  Buckets(const PointSet& points, std::size_t bucket_size);
};

// The cell of every point in a grid over the widest (at most three) axes with about
// bucket_size points to a cell; returns the number of cells. Any filing is correct, since the
// boxes are taken from the points themselves; a compact one only lets more buckets be skipped.
std::size_t file_into_grid(const PointSet& points, std::size_t bucket_size,
                           std::vector<std::uint32_t>& cell_of) {
  const std::size_t n = points.n, d = points.d;
  // Halved coordinates, so that no extent overflows.
  std::vector<double> lo(d), hi(d);
  for (std::size_t k = 0; k < d; ++k) lo[k] = hi[k] = points[0][k] * 0.5;
  for (std::size_t i = 1; i < n; ++i) {
    const double* p = points[i];
    for (std::size_t k = 0; k < d; ++k) {
      lo[k] = std::min(lo[k], p[k] * 0.5);
      hi[k] = std::max(hi[k], p[k] * 0.5);
    }
  }
  std::vector<std::size_t> axes;
  for (std::size_t k = 0; k < d; ++k)
    if (hi[k] > lo[k]) axes.push_back(k);
  std::sort(axes.begin(), axes.end(),
            [&](std::size_t a, std::size_t b) { return hi[a] - lo[a] > hi[b] - lo[b]; });
  if (axes.size() > 3) axes.resize(3);

  // Cell edge e with prod(extent_k / e) about n / bucket_size, in logarithms.
  const double cells = std::max(1.0, double(n) / double(bucket_size));
  double log_edge = -std::log(cells);
  for (std::size_t k : axes) log_edge += std::log(hi[k] - lo[k]);
  if (!axes.empty()) log_edge /= double(axes.size());
  std::size_t divisions[3] = {1, 1, 1};
  std::size_t total = 1;
  for (std::size_t a = 0; a < axes.size(); ++a) {
    const double g = std::ceil(std::exp(std::log(hi[axes[a]] - lo[axes[a]]) - log_edge));
    divisions[a] = static_cast<std::size_t>(std::min(std::max(g, 1.0), 4.0 * cells));
    total *= divisions[a];
  }
  cell_of.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t cell = 0;
    for (std::size_t a = 0; a < axes.size(); ++a) {
      const std::size_t k = axes[a];
      // A fraction in [0, 1] first: a reciprocal of a subnormal extent would overflow.
      const double t = (points[i][k] * 0.5 - lo[k]) / (hi[k] - lo[k]) * double(divisions[a]);
      cell = cell * divisions[a] + std::min(static_cast<std::size_t>(t), divisions[a] - 1);
    }
    cell_of[i] = static_cast<std::uint32_t>(cell);
  }
  return total;
}

Buckets::Buckets(const PointSet& points, std::size_t bucket_size) : d(points.d) {
  const std::size_t n = points.n;
  std::vector<std::uint32_t> cell_of;
  const std::size_t cells =
      bucket_size >= n ? 1 : file_into_grid(points, std::max<std::size_t>(bucket_size, 1), cell_of);
  const auto cell = [&cell_of](std::size_t i) -> std::size_t { return cell_of.empty() ? 0 : cell_of[i]; };
  std::vector<std::size_t> members(cells, 0);
  for (std::size_t i = 0; i < n; ++i) ++members[cell(i)];
  // Non-empty cells become buckets in cell order; next[c] is the next free slot of cell c.
  std::vector<std::size_t> next(cells), bucket_of(cells);
  for (std::size_t c = 0; c < cells; ++c) {
    if (members[c] == 0) continue;
    bucket_of[c] = begin.size();
    next[c] = slots;
    begin.push_back(slots);
    slots += (members[c] + 1) & ~std::size_t(1);
    end.push_back(slots);
  }
  const std::size_t count = begin.size();
  cols.resize(slots * d);
  nearest.assign(slots, std::numeric_limits<double>::infinity());
  index.resize(slots);
  lo.assign(count * d, std::numeric_limits<double>::infinity());
  hi.assign(count * d, -std::numeric_limits<double>::infinity());
  // Filed in index order, so every bucket lists its points ascending.
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t c = cell(i), b = bucket_of[c], s = next[c]++;
    index[s] = i;
    const double* p = points[i];
    for (std::size_t k = 0; k < d; ++k) {
      cols[k * slots + s] = p[k];
      if (p[k] < lo[b * d + k]) lo[b * d + k] = p[k];
      if (p[k] > hi[b * d + k]) hi[b * d + k] = p[k];
    }
  }
  // Every entry starts at +inf, so each bucket's highest index holds its maximum: a bucket the
  // first choice skips (all its distances +inf) still reports the right point.
  max_value.assign(count, std::numeric_limits<double>::infinity());
  max_index.resize(count);
  for (std::size_t c = 0; c < cells; ++c) {
    if (members[c] == 0) continue;
    const std::size_t b = bucket_of[c], last = next[c] - 1;
    max_index[b] = index[last];
    if (next[c] < end[b]) {  // the padding slot
      const std::size_t pad = next[c];
      index[pad] = index[begin[b]];
      nearest[pad] = -std::numeric_limits<double>::infinity();
      for (std::size_t k = 0; k < d; ++k) cols[k * slots + pad] = cols[k * slots + begin[b]];
    }
  }
}

#if VORN_VECTOR_EXTENSIONS
// Squared distance sums of slots s and s + 1 to centre, in point_distance's order.
template <std::size_t D>
inline f64x2 squared_sums(const double* cols, std::size_t stride, std::size_t dim, std::size_t s,
                          const double* centre) {
  return blocked_square_sum<f64x2>(D ? D : dim, [=](std::size_t axis) {
    return load2(cols + axis * stride + s) - broadcast(centre[axis]);
  });
}

// Lowers the nearest entries of bucket b to their distance from centre and records the
// bucket's largest entry with the highest point index holding it.
template <std::size_t D>
void update_bucket(Buckets& buckets, std::size_t b, const double* centre) {
  const double* cols = buckets.cols.data();
  double* nearest = buckets.nearest.data();
  f64x2 best_value = broadcast(-std::numeric_limits<double>::infinity());
  i64x2 best_slot = {-1, -1};
  i64x2 slot = {std::int64_t(buckets.begin[b]), std::int64_t(buckets.begin[b]) + 1};
  const i64x2 step = {2, 2};
  for (std::size_t s = buckets.begin[b]; s < buckets.end[b]; s += 2) {
    const f64x2 distance = sqrt2(squared_sums<D>(cols, buckets.slots, buckets.d, s, centre));
    const f64x2 old = load2(nearest + s);
    const f64x2 lowered = distance < old ? distance : old;
    store2(nearest + s, lowered);
    // >=: slots hold ascending point indices, so a later equal maximum replaces an earlier one.
    const i64x2 take = lowered >= best_value;
    best_value = take ? lowered : best_value;
    best_slot = take ? slot : best_slot;
    slot += step;
  }
  const std::uint64_t i0 = buckets.index[best_slot[0]];
  const std::uint64_t i1 = buckets.index[best_slot[1]];
  if (best_value[0] > best_value[1] || (best_value[0] == best_value[1] && i0 > i1)) {
    buckets.max_value[b] = best_value[0];
    buckets.max_index[b] = i0;
  } else {
    buckets.max_value[b] = best_value[1];
    buckets.max_index[b] = i1;
  }
}
#else
// The same pass one slot at a time: the padding slot (-inf) never holds the maximum, and a later
// slot holds a higher point index, so >= again keeps the highest index of equal maxima.
template <std::size_t D>
void update_bucket(Buckets& buckets, std::size_t b, const double* centre) {
  const double* cols = buckets.cols.data();
  double* nearest = buckets.nearest.data();
  const std::size_t stride = buckets.slots;
  double best_value = -std::numeric_limits<double>::infinity();
  std::size_t best_slot = buckets.begin[b];
  for (std::size_t s = buckets.begin[b]; s < buckets.end[b]; ++s) {
    const double distance = std::sqrt(blocked_square_sum<double>(
        D ? D : buckets.d, [=](std::size_t axis) { return cols[axis * stride + s] - centre[axis]; }));
    const double lowered = distance < nearest[s] ? distance : nearest[s];
    nearest[s] = lowered;
    if (lowered >= best_value) best_value = lowered, best_slot = s;
  }
  buckets.max_value[b] = best_value;
  buckets.max_index[b] = buckets.index[best_slot];
}
#endif  // VORN_VECTOR_EXTENSIONS

// Lowers every nearest entry to its distance from centre and returns the last index holding
// the largest entry. A bucket is skipped when the distance from centre to the nearest point of
// its box is at least its largest entry: rounding is monotone, so that bound computed with
// point_distance never exceeds a member's computed distance, and no entry could go lower.
template <std::size_t D>
std::uint64_t update_and_pick(Buckets& buckets, const double* centre) {
  const std::size_t d = buckets.d;
  std::vector<double> closest(d);
  const std::size_t count = buckets.begin.size();
  for (std::size_t b = 0; b < count; ++b) {
    const double* box_lo = &buckets.lo[b * d];
    const double* box_hi = &buckets.hi[b * d];
    for (std::size_t k = 0; k < d; ++k) {
      closest[k] = centre[k] < box_lo[k] ? box_lo[k] : (centre[k] > box_hi[k] ? box_hi[k] : centre[k]);
    }
    if (point_distance(closest.data(), centre, d) >= buckets.max_value[b]) continue;
    update_bucket<D>(buckets, b, centre);
  }
  std::size_t best = 0;
  for (std::size_t b = 1; b < count; ++b) {
    const double v = buckets.max_value[b], w = buckets.max_value[best];
    if (v > w || (v == w && buckets.max_index[b] > buckets.max_index[best])) best = b;
  }
  return buckets.max_index[best];
}

using Pass = std::uint64_t (*)(Buckets&, const double*);

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

Indices sample_centroid_fps_bucketed(const PointSet& points, std::uint64_t count,
                                     std::size_t bucket_size) {
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::size_t target = static_cast<std::size_t>(std::min<std::uint64_t>(n, count));
  std::uint64_t chosen = nearest_to_centroid(points);
  Indices result;
  result.reserve(target);
  result.push_back(chosen);
  if (target == 1) return result;

  Buckets buckets(points, bucket_size);
  const Pass pass = pass_for(points.d);
  while (result.size() < target) {
    chosen = pass(buckets, points[chosen]);
    result.push_back(chosen);
  }
  return result;
}

Indices sample_centroid_fps(const PointSet& points, std::uint64_t count, std::uint64_t /*seed*/,
    const Executor& /*executor*/) {
  // Filing the points costs a few full passes; it pays off only over many choices.
  const std::size_t bucket_size = count >= kBucketingFromCount ? kBucketSize : points.n;
  return sample_centroid_fps_bucketed(points, count, bucket_size);
}

}  // namespace vorn
