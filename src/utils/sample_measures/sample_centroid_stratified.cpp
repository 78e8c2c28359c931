// Stratified sampling: the point nearest the centroid, then proportional quotas of k-means strata.
// Lloyd steps give ties to the lower centre and sum members in index order, bit for bit.
#include "utils/sample_measures/sample_centroid_stratified.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "base/compiler_hints.h"
#include "base/panic.h"
#include "base/simd_clones.h"
#include "base/simd_lanes.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/group_by_label.h"
#include "utils/sample_measures/seeded_rng.h"
#include "utils/sample_measures/selection_set.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

// Points per range of the assignment step.
constexpr std::size_t kAssignGrain = 256;
// From this dimension on, per-centre bounds pick the centres whose distances are computed: they
// save more distance work than they cost. Below it a point's distances are cheap enough that
// one pair of bounds per point, and all k distances for the points they leave in doubt, do
// better.
constexpr std::size_t kBoundsFromDimension = 32;
// Centres side by side in one F64x4: lane l of group g is centre 4 g + l.
constexpr std::size_t kGroupLanes = 4;
// Groups whose sums run at once, for independent chains that share each broadcast axis.
constexpr std::size_t kGroupsAtOnce = 4;

VORN_LANE_HELPER void splat(double x, F64x4& v) {
  v = F64x4{x, x, x, x};
}

// The centres of one iteration as columns: axis c of centre j at at[c * width + j], width being
// k rounded up to whole groups. Lanes past k hold +inf: their sums are +inf, and a tie at +inf
// goes to the lower, real, centre.
struct CentreColumns {
  std::vector<double> at;
  std::size_t width = 0;

  void lay_out(const std::vector<double>& centres, std::size_t k, std::size_t d) {
    width = (k + kGroupLanes - 1) / kGroupLanes * kGroupLanes;
    at.assign(width * d, std::numeric_limits<double>::infinity());
    for (std::size_t j = 0; j < k; ++j) {
      for (std::size_t c = 0; c < d; ++c) at[c * width + j] = centres[j * d + c];
    }
  }
};

// Unaligned whole-vector moves of sums that are written and soon read back: copies merged
// into a loop of narrower moves would stall the wider loads that read them.
#if VORN_VECTOR_EXTENSIONS
typedef double F64x4Unaligned __attribute__((vector_size(32), aligned(8)));
VORN_LANE_HELPER void store_sums(double* p, const F64x4& v) {
  *reinterpret_cast<F64x4Unaligned*>(p) = v;
}
VORN_LANE_HELPER F64x4 load_sums(const double* p) {
  return *reinterpret_cast<const F64x4Unaligned*>(p);
}
#else
VORN_LANE_HELPER void store_sums(double* p, const F64x4& v) {
  store_lanes(p, v);
}
#endif

// x: one row of d axes; column: the first of G groups in a CentreColumns of this width. Sets
// r[g] to the lanes' squared sums of point_distance from x in its order: for d >= 8, partial
// sum k over axes k, k + 8, ... of the full blocks, combined as
// (((s0 + s4) + (s1 + s5)) + (s2 + s6)) + (s3 + s7), then the tail one axis at a time.
template <std::size_t G, class T>
VORN_ALWAYS_INLINE void group_square_sums(const T* x, std::size_t d, const double* column,
                                          std::size_t width, double* out) {
  // The squares of axis c, added to acc, or, for the first term of a sum, written there: 0 + x
  // is x for every square x (never -0), so no add is needed.
  const auto add_squares = [x, column, width](std::size_t c, F64x4* acc, bool first) {
    const double axis = static_cast<double>(x[c]);
    for (std::size_t g = 0; g < G; ++g) {
      F64x4 v;
      load_lanes(column + c * width + g * kGroupLanes, v);
#if VORN_VECTOR_EXTENSIONS
      // A scalar operand is broadcast as it is loaded, taking no arithmetic slot.
      v = axis - v;
#else
      F64x4 a;
      splat(axis, a);
      v = a - v;
#endif
      acc[g] = first ? v * v : acc[g] + v * v;
    }
  };
  const std::size_t full = d / 8 * 8;
  F64x4 a[G] = {}, b[G] = {}, r[G] = {};
  for (std::size_t k = 0; k < 4 && full != 0; ++k) {
    for (std::size_t c = k; c < full; c += 8) {
      add_squares(c, a, c == k);
      add_squares(c + 4, b, c == k);
    }
    for (std::size_t g = 0; g < G; ++g) r[g] = k == 0 ? a[g] + b[g] : r[g] + (a[g] + b[g]);
  }
  for (std::size_t c = full; c < d; ++c) add_squares(c, r, c == 0);
  for (std::size_t g = 0; g < G; ++g) store_sums(out + g * kGroupLanes, r[g]);
}

// Sets sums[0 .. width - 1] to the squared sums from row x to every column.
template <class T>
VORN_ALWAYS_INLINE void row_square_sums(const T* x, std::size_t d, const CentreColumns& columns,
                                        double* sums) {
  constexpr std::size_t kStep = kGroupsAtOnce * kGroupLanes;
  const std::size_t width = columns.width;
  std::size_t j = 0;
  for (; j + kStep <= width; j += kStep) {
    group_square_sums<kGroupsAtOnce>(x, d, columns.at.data() + j, width, sums + j);
  }
  for (; j < width; j += kGroupLanes)
    group_square_sums<1>(x, d, columns.at.data() + j, width, sums + j);
}

// A point's nearest centre, its squared sum, and the smallest squared sum of the other centres.
struct RowNearest {
  std::uint64_t best;
  double sum, second;
};

// The running minimum of the square roots of sums[0 .. k - 1] from centre 0, ties to the lower
// centre, as the assignment is defined.
inline RowNearest nearest_by_roots(const double* sums, std::size_t k) {
  RowNearest near{0, sums[0], std::numeric_limits<double>::infinity()};
  double root = std::sqrt(sums[0]);
  for (std::size_t j = 1; j < k; ++j) {
    const double r = std::sqrt(sums[j]);
    if (root > r) near.best = j, root = r;
  }
  near.sum = sums[near.best];
  for (std::size_t j = 0; j < k; ++j) {
    if (j != near.best) near.second = std::min(near.second, sums[j]);
  }
  return near;
}

#if VORN_VECTOR_EXTENSIONS
// out[l] holds lane l of in[0], in[1], in[2] and in[3], in that order.
VORN_LANE_HELPER void transpose_lanes(const F64x4* in, F64x4& out0, F64x4& out1, F64x4& out2,
                                      F64x4& out3) {
  const F64x4 even01 = __builtin_shufflevector(in[0], in[1], 0, 4, 2, 6);
  const F64x4 odd01 = __builtin_shufflevector(in[0], in[1], 1, 5, 3, 7);
  const F64x4 even23 = __builtin_shufflevector(in[2], in[3], 0, 4, 2, 6);
  const F64x4 odd23 = __builtin_shufflevector(in[2], in[3], 1, 5, 3, 7);
  out0 = __builtin_shufflevector(even01, even23, 0, 1, 4, 5);
  out1 = __builtin_shufflevector(odd01, odd23, 0, 1, 4, 5);
  out2 = __builtin_shufflevector(even01, even23, 2, 3, 6, 7);
  out3 = __builtin_shufflevector(odd01, odd23, 2, 3, 6, 7);
}

// Four points side by side: the smallest squared sum so far (the first of equals), its centre
// (a small whole number, held as a double) and the smallest sum of the other centres.
struct LaneNearest {
  F64x4 low, second, best;

  VORN_LANE_HELPER void keep(const F64x4& sum, double j) {
    const I64x4 nearer = sum < low;
    second = nearer ? low : (sum < second ? sum : second);
    low = nearer ? sum : low;
    best = nearer ? j + F64x4{} : best;
  }
};

// The nearest centres of four points from their sums (point p's at sums[p * width]), in lanes.
VORN_LANE_HELPER void lanes_nearest(const double* sums, std::size_t width, LaneNearest& near) {
  F64x4 in[4], s0, s1, s2, s3;
  splat(std::numeric_limits<double>::infinity(), near.second);
  for (std::size_t j = 0; j < width; j += kGroupLanes) {
    for (std::size_t p = 0; p < 4; ++p) in[p] = load_sums(sums + p * width + j);
    transpose_lanes(in, s0, s1, s2, s3);
    if (j == 0) {
      near.low = s0;
      splat(0.0, near.best);
    } else {
      near.keep(s0, static_cast<double>(j));
    }
    near.keep(s1, static_cast<double>(j + 1));
    near.keep(s2, static_cast<double>(j + 2));
    near.keep(s3, static_cast<double>(j + 3));
  }
}
#endif

// rows: all points, row by row; ids: m point numbers. Finds each one's nearest centre as
// nearest_by_roots does, four points at a time. sums: room for 4 columns.width entries. D is
// d when it is known at compile time (its loops then unroll), else 0.
template <std::size_t D, class T>
VORN_ALWAYS_INLINE void nearest_rows_of(const T* rows, std::size_t d, const CentreColumns& columns,
                                        std::size_t k, const std::size_t* ids, std::size_t m,
                                        double* sums, RowNearest* out) {
  d = D != 0 ? D : d;
  const std::size_t width = columns.width;
  for (std::size_t t = 0; t < m; t += 4) {
    // A short last batch repeats its last point.
    for (std::size_t p = 0; p < 4; ++p) {
      row_square_sums(rows + ids[std::min(t + p, m - 1)] * d, d, columns, sums + p * width);
    }
#if VORN_VECTOR_EXTENSIONS
    LaneNearest near;
    lanes_nearest(sums, width, near);
#endif
    for (std::size_t p = 0; p < 4 && t + p < m; ++p) {
#if VORN_VECTOR_EXTENSIONS
      // The first smallest sum wins unless another sum comes so close that their roots might
      // tie: sums a > b (1 + 2^-40) + 2^-1000 have roots that certainly differ (a square root
      // closes only far smaller relative gaps; the absolute term covers tiny sums).
      out[t + p] =
          RowNearest{static_cast<std::uint64_t>(near.best[p]), near.low[p], near.second[p]};
      if (near.second[p] > near.low[p] * (1.0 + 0x1p-40) + 0x1p-1000) continue;
#endif
      out[t + p] = nearest_by_roots(sums + p * width, k);
    }
  }
}

// nearest_rows_of, unrolled for the dimensions of point clouds and small feature sets.
template <class T>
VORN_ALWAYS_INLINE void nearest_rows_unrolled(const T* rows, std::size_t d,
                                              const CentreColumns& columns, std::size_t k,
                                              const std::size_t* ids, std::size_t m, double* sums,
                                              RowNearest* out) {
  if (d == 3) return nearest_rows_of<3>(rows, d, columns, k, ids, m, sums, out);
  if (d == 16) return nearest_rows_of<16>(rows, d, columns, k, ids, m, sums, out);
  nearest_rows_of<0>(rows, d, columns, k, ids, m, sums, out);
}

// nearest_rows_unrolled for rows of doubles and of floats: clang makes no clones of a
// template. Flattened: every helper is compiled into each clone.
VORN_SIMD_CLONES VORN_FLATTEN void nearest_rows(const double* rows, std::size_t d,
                                                const CentreColumns& columns, std::size_t k,
                                                const std::size_t* ids, std::size_t m, double* sums,
                                                RowNearest* out) {
  nearest_rows_unrolled(rows, d, columns, k, ids, m, sums, out);
}

VORN_SIMD_CLONES VORN_FLATTEN void nearest_rows(const float* rows, std::size_t d,
                                                const CentreColumns& columns, std::size_t k,
                                                const std::size_t* ids, std::size_t m, double* sums,
                                                RowNearest* out) {
  nearest_rows_unrolled(rows, d, columns, k, ids, m, sums, out);
}

// Distances whose squared sums fall below 2^-800 may lose their squares to underflow: the bounds
// below allow them an absolute error of kBoundTau on top of the relative one.
constexpr double kBoundTau = 0x1p-390;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The squared sums of point_distance from point to G centres c[0 .. G - 1], read as stored:
// lanes 0-3 of lo and of hi are partial sums 0-3 and 4-7, so eight coordinates take two vector
// steps per centre, and the G centres run side by side for independent chains. A point of
// floats is widened as it is loaded.
template <std::size_t G, class T>
VORN_ALWAYS_INLINE void centre_group_sums(const T* point, const double* const* c, std::size_t d,
                                          double* out) {
  const std::size_t full = d / 8 * 8;
  F64x4 lo[G], hi[G];
  for (std::size_t g = 0; g < G; ++g) lo[g] = hi[g] = F64x4{};
  for (std::size_t b = 0; b < full; b += 8) {
    F64x4 x0, x1, v, w;
    load_lanes(point + b, x0), load_lanes(point + b + 4, x1);
    for (std::size_t g = 0; g < G; ++g) {
      load_lanes(c[g] + b, v), load_lanes(c[g] + b + 4, w);
      v = x0 - v, w = x1 - w;
      lo[g] = lo[g] + v * v;
      hi[g] = hi[g] + w * w;
    }
  }
  for (std::size_t g = 0; g < G; ++g) {
    double s[8];
    store_lanes(s, lo[g]);
    store_lanes(s + 4, hi[g]);
    double r = 0.0;
    if (full != 0) combine_partial_sums(s, r);
    for (std::size_t t = full; t < d; ++t) {
      const double v = point[t] - c[g][t];
      r = r + v * v;
    }
    out[g] = r;
  }
}

// centres: k x d; ids: m centre numbers. Sets out[t] to the squared sum of point_distance
// between point and centre ids[t], rounded exactly as point_distance rounds it.
template <class T>
VORN_ALWAYS_INLINE void centre_square_sums(const T* point, const double* centres, std::size_t d,
                                           const std::uint32_t* ids, std::size_t m, double* out) {
  const double* c[4];
  std::size_t t = 0;
  for (; t + 4 <= m; t += 4) {
    for (std::size_t g = 0; g < 4; ++g) c[g] = centres + std::size_t(ids[t + g]) * d;
    centre_group_sums<4>(point, c, d, out + t);
  }
  for (std::size_t g = 0; t + g < m; ++g) c[g] = centres + std::size_t(ids[t + g]) * d;
  if (m - t == 3) centre_group_sums<3>(point, c, d, out + t);
  if (m - t == 2) centre_group_sums<2>(point, c, d, out + t);
  if (m - t == 1) centre_group_sums<1>(point, c, d, out + t);
}

// Per-centre bounds: for every point an upper bound U on its computed distance to its own
// centre a and a lower bound L_j on that to each centre j, carried across iterations by how far
// each centre moved; a centre with U < L_j can neither be nearer nor tie, and needs no distance.
// Write D for a real distance and D' for point_distance: D' = D (1 + e) + t with |e| <= delta =
// (d + 16) 2^-53 and |t| <= tau = 2^-390, tau covering squared sums below 2^-800, whose
// underflowed squares the relative bound misses (see kTriangleFloor). With mv >= (1 + delta) m
// + 4 tau for a real move m, a centre that moves leaves D'(i, j) >= L_j (1 - 2 delta) - mv
// and D'(i, a) <= U (1 + 3 delta) + mv; one more delta, and the factors 1 -+ 2^-50, absorb the
// rounding of the carried bounds. A fresh distance is its own bound. An infinite distance gives
// no lower bound (0) and an infinite move none at all, so such points are decided by distances.

struct CarriedBound {
  double delta;
  // The bound mv on the real move of a centre whose two positions are `computed` apart.
  double move(double computed) const {
    return (computed * (1.0 + 4.0 * delta) + 6.0 * kBoundTau) * (1.0 + 0x1p-50);
  }
  double upper(double u, double mv) const {
    return (u * (1.0 + 4.0 * delta) + mv) * (1.0 + 0x1p-50);
  }
  double lower(double l, double mv) const {
    return (l * (1.0 - 3.0 * delta) - mv) * (1.0 - 0x1p-50);
  }
};

constexpr std::size_t kCleared = std::numeric_limits<std::size_t>::max();

// A point's bounds during one assignment step: upper bound, k lower bounds, the carried moves.
struct PointBounds {
  double* upper;
  double* lower;
  const double* moved;
  std::size_t k;
  CarriedBound carried;
  bool carry;  // false in the first step, which computes every distance
};

// Carries the k lower bounds of a point over the last move; true when a centre other than its
// own, a, fails to clear `upper`. A count over all centres, the own one taken back out, so that
// the loop runs in vector lanes.
VORN_ALWAYS_INLINE bool carry_lower_bounds(double* lower, const double* moved, std::size_t k,
                                           std::uint64_t a, double upper, CarriedBound carried) {
  std::size_t fails = 0;
  for (std::size_t j = 0; j < k; ++j) {
    lower[j] = carried.lower(lower[j], moved[j]);
    fails += !(upper < lower[j]);
  }
  return fails > std::size_t(!(upper < lower[a]));
}

// The number of centres other than a whose lower bounds fail to clear `upper`.
VORN_ALWAYS_INLINE std::size_t count_doubtful(const double* lower, std::size_t k, std::uint64_t a,
                                              double upper) {
  std::size_t fails = 0;
  for (std::size_t j = 0; j < k; ++j) fails += !(upper < lower[j]);
  return fails - std::size_t(!(upper < lower[a]));
}

// The centres that computed distances must decide for a point whose centre is a: all of them
// in the first step; later the others whose lower bounds fail to clear the own distance, which
// it computes (`nearest`). Ascending centre order. Returns their number, or kCleared when the
// carried bounds clear every other centre.
template <class T>
VORN_ALWAYS_INLINE std::size_t doubtful_centres(const T* point, const double* centres,
                                                std::size_t d, std::uint64_t a,
                                                const PointBounds& b, double& nearest,
                                                std::uint32_t* ids) {
  std::size_t m = 0;
  if (!b.carry) {
    for (std::size_t j = 0; j < b.k; ++j) ids[m++] = static_cast<std::uint32_t>(j);
    return m;
  }
  *b.upper = b.carried.upper(*b.upper, b.moved[a]);
  if (!carry_lower_bounds(b.lower, b.moved, b.k, a, *b.upper, b.carried)) return kCleared;
  ids[0] = static_cast<std::uint32_t>(a);
  centre_square_sums(point, centres, d, ids, 1, &nearest);
  nearest = std::sqrt(nearest);
  b.lower[a] = nearest < kInfinity ? nearest : 0.0;
  if (count_doubtful(b.lower, b.k, a, nearest) == 0) return 0;
  for (std::size_t j = 0; j < b.k; ++j) {
    ids[m] = static_cast<std::uint32_t>(j);
    m += (j != a) & !(nearest < b.lower[j]);
  }
  return m;
}

// Assigns one point: its centre a stays unless the bounds leave a centre in doubt; then the
// distances to the doubtful ones (and to a) decide, ties to the lower centre, and become the
// bounds. sums: room for k entries.
template <class T>
VORN_ALWAYS_INLINE void assign_bounded(const T* point, const double* centres, std::size_t d,
                                       const PointBounds& b, std::uint64_t& a, std::uint32_t* ids,
                                       double* sums) {
  double nearest = kInfinity;
  const std::size_t m = doubtful_centres(point, centres, d, a, b, nearest, ids);
  if (m == kCleared) return;
  std::uint64_t best = b.carry ? a : b.k;
  centre_square_sums(point, centres, d, ids, m, sums);
  for (std::size_t t = 0; t < m; ++t) {
    const double distance = std::sqrt(sums[t]);
    b.lower[ids[t]] = distance < kInfinity ? distance : 0.0;
    if (distance < nearest || (distance == nearest && ids[t] < best)) {
      best = ids[t];
      nearest = distance;
    }
  }
  *b.upper = nearest;
  a = best;
}

// The points of one range for assign_bounded, with the bounds of all points and b.k entries of
// scratch in ids and sums.
struct BoundedRange {
  const double* centres;
  std::size_t begin, end;
  PointBounds b;
  double* upper;
  double* lower;
  std::uint64_t* assignment;
  std::uint32_t* ids;
  double* sums;
};

// assign_bounded for the points of r (rows: all points, row by row).
template <class T>
VORN_ALWAYS_INLINE void assign_bounded_rows_of(const T* rows, std::size_t d, BoundedRange r) {
  for (std::size_t i = r.begin; i < r.end; ++i) {
    r.b.upper = r.upper + i;
    r.b.lower = r.lower + i * r.b.k;
    assign_bounded(rows + i * d, r.centres, d, r.b, r.assignment[i], r.ids, r.sums);
  }
}

// assign_bounded_rows_of for rows of doubles and of floats: clang makes no clones of a template.
// Flattened: every helper is compiled into each clone.
VORN_SIMD_CLONES VORN_FLATTEN void assign_bounded_rows(const double* rows, std::size_t d,
                                                       const BoundedRange& r) {
  assign_bounded_rows_of(rows, d, r);
}

VORN_SIMD_CLONES VORN_FLATTEN void assign_bounded_rows(const float* rows, std::size_t d,
                                                       const BoundedRange& r) {
  assign_bounded_rows_of(rows, d, r);
}

// As assign_bounded_rows, with its scratch. The vectors live outside the clones: clang emits no
// library function that only a clone calls, so the module would be left needing it.
void assign_bounded_range(const PointSet& points, const double* centres, std::size_t begin,
                          std::size_t end, PointBounds b, double* upper, double* lower,
                          std::uint64_t* assignment) {
  std::vector<std::uint32_t> ids(b.k);
  std::vector<double> sums(b.k);
  const BoundedRange r{centres, begin, end, b, upper, lower, assignment, ids.data(), sums.data()};
  with_rows(points, [&](auto rows) { assign_bounded_rows(rows, points.d, r); });
}

class PerCentreBounds {
 public:
  PerCentreBounds(std::size_t n, std::size_t k, std::size_t d)
      : k_(k),
        d_(d),
        carried_{(static_cast<double>(d) + 16.0) * 0x1p-53},
        upper_(n),
        lower_(n * k),
        moved_(k) {}

  // They pay from kBoundsFromDimension on, where they fit in the memory the points take
  // (k <= d) and where the error bound holds.
  static bool suit(std::size_t k, std::size_t d) {
    return d >= kBoundsFromDimension && k <= d &&
           (static_cast<double>(d) + 16.0) * 0x1p-53 <= 0x1p-8;
  }

  void set_ready() { ready_ = true; }

  // After the centres moved from `previous` to `centres`: bounds on each real move.
  void centres_moved(const std::vector<double>& previous, const std::vector<double>& centres) {
    for (std::size_t j = 0; j < k_; ++j) {
      moved_[j] =
          carried_.move(point_distance(previous.data() + j * d_, centres.data() + j * d_, d_));
    }
  }

  void assign(const PointSet& points, const double* centres, std::size_t begin, std::size_t end,
              std::uint64_t* assignment) {
    const PointBounds b{nullptr, nullptr, moved_.data(), k_, carried_, ready_};
    assign_bounded_range(points, centres, begin, end, b, upper_.data(), lower_.data(), assignment);
  }

 private:
  std::size_t k_, d_;
  CarriedBound carried_;
  std::vector<double> upper_, lower_, moved_;
  bool ready_ = false;
};

// Nearest-and-second bounds: for every point an upper bound U on its real distance to its
// centre a and a lower bound L on that to every other centre, carried across iterations by
// how far the centres moved. Write D for a real distance and D' for point_distance: D' = D (1 +
// e) + t with |e| <= eta = (d + 8) 2^-52 and |t| <= kBoundTau. A fresh U is D' (1 + 2 eta) +
// 2 tau and a fresh L is D' (1 - 2 eta) - 2 tau (0 from an infinite D'); a move is bounded the
// same way from above (infinite when not finite), and carrying rounds up U and down L. Then
// U (1 + 4 eta) + 4 tau < L (1 - 4 eta) proves D'(i, a) < D'(i, j) for every j != a: the point
// keeps a, with no tie, and needs no distance but perhaps its own.
struct NearBounds {
  double* upper;
  double* lower;
  const double* moved;
  double farthest;  // the largest of moved
  double eta;
  bool carry;  // false in the first step, which computes every distance

  static double eta_of(std::size_t d) { return (static_cast<double>(d) + 8.0) * 0x1p-52; }

  VORN_ALWAYS_INLINE bool apart(std::size_t i) const {
    return upper[i] * (1.0 + 4.0 * eta) + 4.0 * kBoundTau < lower[i] * (1.0 - 4.0 * eta);
  }
  VORN_ALWAYS_INLINE double above(double computed) const {
    return computed * (1.0 + 2.0 * eta) + 2.0 * kBoundTau;
  }
  VORN_ALWAYS_INLINE double below(double computed) const {
    return computed < kInfinity ? computed * (1.0 - 2.0 * eta) - 2.0 * kBoundTau : 0.0;
  }
};

// Writes to doubtful the points of [begin, end) (rows: all points, row by row; at most
// kAssignGrain) whose centres the bounds leave in doubt, and returns their number: every point
// in the first step; later those whose carried bounds meet even after their own distance
// replaced U. Three passes, each filling a list without a branch on its data: the distances
// of many points then overlap instead of waiting on mispredicted branches.
template <class T>
VORN_ALWAYS_INLINE std::size_t doubtful_points_of(const T* rows, std::size_t d,
                                                  const double* centres, std::size_t begin,
                                                  std::size_t end, const std::uint64_t* assignment,
                                                  const NearBounds& b, std::size_t* doubtful) {
  constexpr double kUp = 1.0 + 0x1p-50, kDown = 1.0 - 0x1p-50;
  constexpr std::size_t kPerLine = 64 / sizeof(T), kShortRow = 8 * kPerLine;
  std::size_t m = 0;
  if (!b.carry) {
    for (std::size_t i = begin; i < end; ++i) doubtful[m++] = i;
    return m;
  }
  for (std::size_t i = begin; i < end; ++i) {
    const std::uint64_t a = assignment[i];
    b.upper[i] = (b.upper[i] + b.moved[a]) * kUp;
    b.lower[i] = (b.lower[i] - b.farthest) * kDown;
    doubtful[m] = i;
    m += !b.apart(i);
    // Short rows are asked for now, for their own distances just below: their loads would
    // stall on memory otherwise. Long rows are read long enough for the processor to keep up.
    for (std::size_t c = 0; c < d && d <= kShortRow; c += kPerLine) VORN_PREFETCH(rows + i * d + c);
  }
  double own[kAssignGrain];
  for (std::size_t t = 0; t < m; ++t) {
    const std::size_t i = doubtful[t];
    const double* own_centre[1] = {centres + assignment[i] * d};
    centre_group_sums<1>(rows + i * d, own_centre, d, own + t);
  }
  std::size_t left = 0;
  for (std::size_t t = 0; t < m; ++t) {
    const std::size_t i = doubtful[t];
    b.upper[i] = b.above(std::sqrt(own[t]));
    doubtful[left] = i;
    left += !b.apart(i);
  }
  return left;
}

// doubtful_points_of for rows of doubles and of floats (clang makes no clones of a template).
VORN_SIMD_CLONES VORN_FLATTEN std::size_t doubtful_points(
    const double* rows, std::size_t d, const double* centres, std::size_t begin, std::size_t end,
    const std::uint64_t* assignment, const NearBounds& b, std::size_t* doubtful) {
  return doubtful_points_of(rows, d, centres, begin, end, assignment, b, doubtful);
}

VORN_SIMD_CLONES VORN_FLATTEN std::size_t doubtful_points(
    const float* rows, std::size_t d, const double* centres, std::size_t begin, std::size_t end,
    const std::uint64_t* assignment, const NearBounds& b, std::size_t* doubtful) {
  return doubtful_points_of(rows, d, centres, begin, end, assignment, b, doubtful);
}

class CentreBounds {
 public:
  CentreBounds(std::size_t n, std::size_t d) : eta_(NearBounds::eta_of(d)), upper_(n), lower_(n) {}

  NearBounds view() {
    return NearBounds{upper_.data(), lower_.data(), moved_.data(), farthest_, eta_, ready_};
  }

  // After the centres moved from `previous` to `centres`.
  void centres_moved(const std::vector<double>& previous, const std::vector<double>& centres,
                     std::size_t k, std::size_t d) {
    const NearBounds b = view();
    moved_.resize(k);
    farthest_ = 0.0;
    for (std::size_t j = 0; j < k; ++j) {
      const double m = point_distance(previous.data() + j * d, centres.data() + j * d, d);
      moved_[j] = m < kInfinity ? b.above(m) : kInfinity;  // a NaN move bounds nothing
      farthest_ = std::max(farthest_, moved_[j]);
    }
  }

  // Point i's squared sums to its nearest centre and to the nearest of the others.
  void reset(std::size_t i, double best_sum, double second_sum) {
    const NearBounds b = view();
    upper_[i] = b.above(std::sqrt(best_sum));
    lower_[i] = b.below(std::sqrt(second_sum));
  }

  void set_ready() { ready_ = true; }

 private:
  double eta_;
  std::vector<double> upper_, lower_, moved_;
  double farthest_ = 0.0;
  bool ready_ = false;
};

// Assignment of the points of [begin, end) (at most kAssignGrain) that the bounds leave in
// doubt: each one's distances to every centre, its row read where it is stored; their bounds
// are reset from the distances found.
void assign_doubtful(const PointSet& points, const CentreColumns& columns, std::size_t k,
                     const double* centres, std::size_t begin, std::size_t end,
                     std::uint64_t* assignment, CentreBounds& bounds) {
  const std::size_t d = points.d;
  std::size_t doubtful[kAssignGrain];
  const NearBounds b = bounds.view();
  const std::size_t m = with_rows(points, [&](auto rows) {
    return doubtful_points(rows, d, centres, begin, end, assignment, b, doubtful);
  });
  if (m == 0) return;
  // Scratch for four rows' sums: on the stack for the usual few centres.
  alignas(32) double few[4 * 32];
  std::vector<double> many(columns.width > 32 ? 4 * columns.width : 0);
  RowNearest found[kAssignGrain];
  with_rows(points, [&](auto rows) {
    nearest_rows(rows, d, columns, k, doubtful, m, many.empty() ? few : many.data(), found);
  });
  for (std::size_t t = 0; t < m; ++t) {
    assignment[doubtful[t]] = found[t].best;
    bounds.reset(doubtful[t], found[t].sum, found[t].second);
  }
}

// Adds the points of [begin, end) (rows: all points, row by row) to the sums of their centres,
// in index order. Overloads for rows of doubles and of floats: clang makes no clones of a
// template.
template <std::size_t D, class T>
VORN_ALWAYS_INLINE void add_rows_to_sums(const T* rows, std::size_t d,
                                         const std::uint64_t* assignment, std::size_t begin,
                                         std::size_t end, double* sums, std::uint64_t* sizes) {
  d = D != 0 ? D : d;
  for (std::size_t i = begin; i < end; ++i) {
    double* sum = sums + assignment[i] * d;
    const T* p = rows + i * d;
    std::size_t c = 0;
    // Four axes a step, each its own addition: the vectors only say that sum and p do not
    // overlap, which the compiler cannot see.
    for (; c + 4 <= d; c += 4) {
      F64x4 s, x;
      load_lanes(sum + c, s);
      load_widened(p + c, x);
      s = s + x;
      store_lanes(sum + c, s);
    }
    for (; c < d; ++c) sum[c] = sum[c] + p[c];
    ++sizes[assignment[i]];
  }
}

VORN_SIMD_CLONES_512 void add_to_sums(const double* rows, std::size_t d,
                                      const std::uint64_t* assignment, std::size_t begin,
                                      std::size_t end, double* sums, std::uint64_t* sizes) {
  if (d == 16) return add_rows_to_sums<16>(rows, d, assignment, begin, end, sums, sizes);
  add_rows_to_sums<0>(rows, d, assignment, begin, end, sums, sizes);
}

VORN_SIMD_CLONES_512 void add_to_sums(const float* rows, std::size_t d,
                                      const std::uint64_t* assignment, std::size_t begin,
                                      std::size_t end, double* sums, std::uint64_t* sizes) {
  if (d == 16) return add_rows_to_sums<16>(rows, d, assignment, begin, end, sums, sizes);
  add_rows_to_sums<0>(rows, d, assignment, begin, end, sums, sizes);
}

// How an iteration finds the points' centres: from carried per-centre bounds where they fit,
// else from carried nearest-and-second bounds.
struct Assigner {
  std::optional<PerCentreBounds> per_centre;
  std::optional<CentreBounds> bounds;
  CentreColumns columns;  // for the nearest-and-second bounds: the centres of this iteration

  Assigner(const PointSet& points, std::size_t k) {
    if (PerCentreBounds::suit(k, points.d)) {
      per_centre.emplace(points.n, k, points.d);
    } else {
      bounds.emplace(points.n, points.d);
    }
  }

  void assign(const PointSet& points, const std::vector<double>& centres, std::size_t k,
              std::size_t begin, std::size_t end, std::uint64_t* assignment) {
    if (per_centre) {
      per_centre->assign(points, centres.data(), begin, end, assignment);
    } else {
      assign_doubtful(points, columns, k, centres.data(), begin, end, assignment, *bounds);
    }
  }

  // Before the assignment step.
  void prepare(const std::vector<double>& centres, std::size_t k, std::size_t d) {
    if (bounds) columns.lay_out(centres, k, d);
  }

  void assigned() {
    if (per_centre) per_centre->set_ready();
    if (bounds) bounds->set_ready();
  }

  void centres_moved(const std::vector<double>& previous, const std::vector<double>& centres,
                     std::size_t k, std::size_t d) {
    if (per_centre) per_centre->centres_moved(previous, centres);
    if (bounds) bounds->centres_moved(previous, centres, k, d);
  }
};

// One Lloyd iteration. Assignment as the assigner finds it. Update: each centre with members
// becomes their mean, summed in ascending index order and divided (not multiplied by a
// reciprocal) by the member count; an empty one stays put. Each sum is one sequential loop in
// point order: splitting it into blocks would change its rounding.
void lloyd_step(const PointSet& points, Assigner& assigner, std::size_t k,
                std::vector<double>& centres, std::vector<std::uint64_t>& assignment,
                const Executor& executor) {
  const std::size_t n = points.n, d = points.d;
  assigner.prepare(centres, k, d);
  const auto assign = [&](std::size_t begin, std::size_t end) {
    assigner.assign(points, centres, k, begin, end, assignment.data());
  };
  std::vector<double> sums(k * d, 0.0);
  std::vector<std::uint64_t> sizes(k, 0);
  const auto add = [&](std::size_t begin, std::size_t end) {
    with_rows(points, [&](auto rows) {
      add_to_sums(rows, d, assignment.data(), begin, end, sums.data(), sizes.data());
    });
  };
  if (executor.threads() <= 1) {
    // One thread: each range joins the sums right after its assignment, the same additions
    // in the same index order as a separate pass, while its points are still in cache.
    executor.for_each_block(n, kAssignGrain, [&](std::size_t begin, std::size_t end) {
      assign(begin, end);
      add(begin, end);
    });
  } else {
    executor.for_ranges(n, kAssignGrain, assign);
    executor.for_each_block(n, std::size_t(1) << 16, add);
  }
  assigner.assigned();
  for (std::size_t j = 0; j < k; ++j) {
    if (sizes[j] == 0) continue;
    const double size = static_cast<double>(sizes[j]);
    for (std::size_t c = 0; c < d; ++c) centres[j * d + c] = sums[j * d + c] / size;
  }
}

// Centre j is a copy of the point at position j of the shuffled list 0 .. n - 1 (n >= 2, so
// the shuffle always draws).
std::vector<double> initial_centres(const PointSet& points, std::size_t k, SeededRng& rng) {
  const std::size_t n = points.n, d = points.d;
  Indices order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  rng.shuffle(order.data(), n);
  std::vector<double> centres(k * d);
  for (std::size_t j = 0; j < k; ++j) {
    with_rows(points, [&](auto rows) {
      for (std::size_t c = 0; c < d; ++c) centres[j * d + c] = rows[order[j] * d + c];
    });
  }
  return centres;
}

}  // namespace

namespace {

// Every stratum in order shuffles a copy of its members, even one with nothing left to give
// (later strata draw after it), and inserts up to its quota of them while fewer than t are
// chosen.
void choose_by_quota(const std::vector<std::uint64_t>& labels, std::size_t k, std::uint64_t places,
                     std::uint64_t t, SeededRng& rng, SelectionSet& selection) {
  std::vector<std::uint64_t> start;
  Indices members;
  group_by_label(labels, k, start, members);
  std::vector<std::uint64_t> sizes(k);
  for (std::size_t j = 0; j < k; ++j) sizes[j] = start[j + 1] - start[j];
  const std::vector<std::uint64_t> quota = stratum_quotas(sizes, labels.size(), places);
  for (std::size_t j = 0; j < k; ++j) {
    std::uint64_t* list = members.data() + start[j];
    rng.shuffle(list, sizes[j]);
    std::uint64_t left = quota[j];
    for (std::size_t m = 0; m < sizes[j] && left > 0 && selection.size() < t; ++m) {
      selection.insert(list[m]);  // a repeat of the first choice still uses up quota
      --left;
    }
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

std::vector<std::uint64_t> lloyd_strata(const PointSet& points, std::vector<double>& centres,
                                        std::size_t k, std::uint64_t max_iterations,
                                        const Executor& executor) {
  const std::size_t n = points.n, d = points.d;
  std::vector<std::uint64_t> assignment(n, 0);
  std::vector<double> previous;
  std::optional<Assigner> assigner;
  // Once an iteration leaves every centre bit-identical, each later one repeats it exactly,
  // so stopping there gives the same strata and a huge iteration count cannot hang.
  for (std::uint64_t iteration = 0; iteration < max_iterations; ++iteration) {
    if (k == 0) throw Panic("called `Option::unwrap()` on a `None` value");
    if (k == 1) break;  // every point stays in stratum 0 and its centre is never read again
    if (!assigner) assigner.emplace(points, k);
    previous = centres;
    lloyd_step(points, *assigner, k, centres, assignment, executor);
    if (std::memcmp(previous.data(), centres.data(), centres.size() * sizeof(double)) == 0) break;
    assigner->centres_moved(previous, centres, k, d);
  }
  return assignment;
}

Indices sample_centroid_stratified(const PointSet& points, std::uint64_t count, std::uint64_t seed,
                                   std::uint64_t num_strata, std::uint64_t max_iterations,
                                   const Executor& executor) {
  return sample_centroid_stratified_into(points, count, seed, num_strata, max_iterations, executor,
                                         nullptr);
}

Indices sample_centroid_stratified_into(const PointSet& points, std::uint64_t count,
                                        std::uint64_t seed, std::uint64_t num_strata,
                                        std::uint64_t max_iterations, const Executor& executor,
                                        std::vector<std::uint64_t>* strata) {
  if (strata != nullptr) strata->assign(points.n, 0);
  SeededRng rng = SeededRng::seed_from_u64(seed);
  const std::size_t n = points.n;
  if (n == 0 || count == 0) return {};
  const std::uint64_t t = count < n ? count : n;
  SelectionSet selection(n);
  selection.insert(nearest_to_centroid(points));
  const std::uint64_t places = t - 1;
  if (places == 0) return selection.take();
  const std::size_t k = num_strata < n ? num_strata : n;
  std::vector<double> centres = initial_centres(points, k, rng);
  std::vector<std::uint64_t> labels = lloyd_strata(points, centres, k, max_iterations, executor);
  if (k == 0) throw Panic("index out of bounds: the len is 0 but the index is 0");
  choose_by_quota(labels, k, places, t, rng, selection);
  if (strata != nullptr) *strata = std::move(labels);
  return selection.take();
}

}  // namespace vorn
