// Mean Euclidean distance over all unordered pairs of points.
// The total is summed pair by pair in (i, j > i) order: results are compared bit for bit.
#include "utils/size_measures/size_dispersion.h"

// The 32-byte vectors of the distance kernel never cross a call (everything inlines into the
// one function built for each instruction set), so the note that passing them would change
// the ABI does not apply; it comes from the shared header, hence before the includes.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/simd_clones.h"
#include "base/simd_lanes.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

// Pairs summed between two polls on one thread; pairs whose distances one parallel step
// computes while the previous step's are added to the total.
constexpr std::size_t kBlockPairs = std::size_t(1) << 17;
// Ranges the distances of one step are split into, so that the thread adding the previous
// step's distances takes its share of the rest once it is done.
constexpr std::size_t kDistanceRanges = 8;
// Distances computed ahead of their additions on one thread: they stay in L1.
constexpr std::size_t kRowChunk = 256;

// For d < 8 the coordinates are held column by column, so that the distances of consecutive
// j run side by side in vector lanes; each lane rounds exactly as point_distance does.

// Continues total over the pairs (i, j > i) of rows i0 .. i1 - 1, one pair at a time, in order.
template <std::size_t D>
inline double columns_total(const double* columns, std::size_t n, std::size_t i0, std::size_t i1,
                            double total) {
  double a[D];
  for (std::size_t i = i0; i < i1; ++i) {
    for (std::size_t k = 0; k < D; ++k) a[k] = columns[k * n + i];
    for (std::size_t j = i + 1; j < n; ++j) {
      double r = 0.0;
      for (std::size_t k = 0; k < D; ++k) {
        const double v = a[k] - columns[k * n + j];
        r = r + v * v;
      }
      total = total + std::sqrt(r);
    }
  }
  return total;
}

// out[0 .. count): the distances of pairs (i, j) .. (i, j + count - 1), j + count <= n.
template <std::size_t D>
inline void columns_distances(const double* columns, std::size_t n, std::size_t i, std::size_t j,
                              std::size_t count, double* out) {
  double a[D];
  for (std::size_t k = 0; k < D; ++k) a[k] = columns[k * n + i];
  for (std::size_t c = 0; c < count; ++c) {
    double r = 0.0;
    for (std::size_t k = 0; k < D; ++k) {
      const double v = a[k] - columns[k * n + j + c];
      r = r + v * v;
    }
    out[c] = std::sqrt(r);
  }
}

VORN_SIMD_CLONES
double columns_total_dispatch(const double* columns, std::size_t n, std::size_t d, std::size_t i0,
                              std::size_t i1, double total) {
  switch (d) {
    case 1: return columns_total<1>(columns, n, i0, i1, total);
    case 2: return columns_total<2>(columns, n, i0, i1, total);
    case 3: return columns_total<3>(columns, n, i0, i1, total);
    case 4: return columns_total<4>(columns, n, i0, i1, total);
    case 5: return columns_total<5>(columns, n, i0, i1, total);
    case 6: return columns_total<6>(columns, n, i0, i1, total);
    default: return columns_total<7>(columns, n, i0, i1, total);
  }
}

VORN_SIMD_CLONES
void columns_distances_dispatch(const double* columns, std::size_t n, std::size_t d, std::size_t i,
                                std::size_t j, std::size_t count, double* out) {
  switch (d) {
    case 1: return columns_distances<1>(columns, n, i, j, count, out);
    case 2: return columns_distances<2>(columns, n, i, j, count, out);
    case 3: return columns_distances<3>(columns, n, i, j, count, out);
    case 4: return columns_distances<4>(columns, n, i, j, count, out);
    case 5: return columns_distances<5>(columns, n, i, j, count, out);
    case 6: return columns_distances<6>(columns, n, i, j, count, out);
    default: return columns_distances<7>(columns, n, i, j, count, out);
  }
}

// From eight dimensions on: the points in groups of four, coordinate by coordinate, so that
// the distances from one point to four others run in vector lanes; each lane rounds exactly
// as point_distance does. quads: group after group, coordinate k of the group's point l at
// 4 k + l.
using Vec = F64x4;

// a: d coordinates; out[4 g + l]: the distance from a to point l of group g < groups.
// Vectors are read by copy: their alignment differs between the baseline and the AVX2 build.
VORN_SIMD_CLONES
void quad_distances(const double* a, const double* quads, std::size_t d, std::size_t groups,
                    double* out) {
  for (std::size_t g = 0; g < groups; ++g, quads += 4 * d, out += 4) {
    const Vec r = blocked_square_sum<Vec>(d, [a, quads](std::size_t k) {
      Vec b;
      std::memcpy(&b, quads + 4 * k, sizeof b);
      return Vec{a[k], a[k], a[k], a[k]} - b;
    });
    for (std::size_t l = 0; l < 4; ++l) out[l] = std::sqrt(r[l]);
  }
}

// The points as the distance kernels read them: column by column below eight dimensions,
// in groups of four from eight on.
class PairDistances {
 public:
  explicit PairDistances(const PointSet& points) : points_(points) {
    const std::size_t n = points.n, d = points.d;
    if (d < 8) {
      columns_.resize(n * d);
      for (std::size_t i = 0; i < n; ++i)
        for (std::size_t k = 0; k < d; ++k) columns_[k * n + i] = points[i][k];
    } else {
      quads_.resize(n / 4 * 4 * d);
      for (std::size_t i = 0; i < n / 4 * 4; ++i)
        for (std::size_t k = 0; k < d; ++k) quads_[(i / 4 * d + k) * 4 + i % 4] = points[i][k];
    }
  }

  double total(std::size_t i0, std::size_t i1, double total) const {
    const std::size_t n = points_.n, d = points_.d;
    if (d < 8) return columns_total_dispatch(columns_.data(), n, d, i0, i1, total);
    double chunk[kRowChunk];
    for (std::size_t i = i0; i < i1; ++i) {
      for (std::size_t j = i + 1; j < n; j += kRowChunk) {
        const std::size_t count = std::min(kRowChunk, n - j);
        distances(i, j, count, chunk);
        for (std::size_t c = 0; c < count; ++c) total = total + chunk[c];
      }
    }
    return total;
  }

  // out[0 .. count): the distances of count consecutive pairs from (i, j), in pair order.
  void distances(std::size_t i, std::size_t j, std::size_t count, double* out) const {
    const std::size_t n = points_.n, d = points_.d;
    while (count > 0) {
      const std::size_t run = std::min(count, n - j);
      if (d < 8) {
        columns_distances_dispatch(columns_.data(), n, d, i, j, run, out);
      } else {
        // Points before the first whole group and after the last are taken one at a time.
        std::size_t c = j;
        const std::size_t end = j + run;
        double* o = out;
        for (; c < end && c % 4 != 0; ++c) *o++ = point_distance(points_[i], points_[c], d);
        const std::size_t groups = (end - c) / 4;
        quad_distances(points_[i], quads_.data() + c * d, d, groups, o);
        o += 4 * groups, c += 4 * groups;
        for (; c < end; ++c) *o++ = point_distance(points_[i], points_[c], d);
      }
      out += run, count -= run;
      ++i, j = i + 1;
    }
  }

 private:
  const PointSet& points_;
  std::vector<double> columns_, quads_;
};

// (i, j): the pair `skip` places after pair (i, j) in pair order.
void advance(std::size_t n, std::size_t skip, std::size_t& i, std::size_t& j) {
  while (skip > 0 && skip >= n - j) {
    skip -= n - j;
    ++i, j = i + 1;
  }
  j += skip;
}

// One thread: the distances are added as they are computed, a block of rows between polls.
double sequential_total(const PairDistances& pairs, std::size_t n, const Executor& executor) {
  double total = 0.0;
  for (std::size_t i0 = 0; i0 + 1 < n;) {
    executor.poll();
    std::size_t i1 = i0, count = 0;
    while (i1 + 1 < n && count < kBlockPairs) count += n - 1 - i1++;
    total = pairs.total(i0, i1, total);
    i0 = i1;
  }
  return total;
}

// More threads: step s computes the distances of block s in parallel while range 0 adds those
// of block s - 1 to the total, in pair order. The total is the same chain of additions as on
// one thread; only the distances, each computed alone, move between threads.
double pipelined_total(const PairDistances& pairs, std::size_t n, const Executor& executor) {
  const std::uint64_t all = std::uint64_t(n) * (n - 1) / 2;
  const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(all, kBlockPairs));
  std::vector<double> buffers[2] = {std::vector<double>(length), std::vector<double>(length)};
  double total = 0.0;
  std::size_t i = 0, j = 1;  // the first pair of the block being computed
  std::size_t summed = 0;    // distances waiting in the other buffer
  for (std::uint64_t done = 0, step = 0; done < all || summed > 0; ++step) {
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(all - done, kBlockPairs));
    double* fill = buffers[step % 2].data();
    const double* ready = buffers[(step + 1) % 2].data();
    const std::size_t waiting = summed;
    const std::size_t share = (count + kDistanceRanges - 1) / kDistanceRanges;
    executor.for_ranges(1 + kDistanceRanges, 1, [&](std::size_t begin, std::size_t end) {
      for (std::size_t r = begin; r < end; ++r) {
        if (r == 0) {
          for (std::size_t p = 0; p < waiting; ++p) total = total + ready[p];
          continue;
        }
        const std::size_t from = std::min(count, (r - 1) * share);
        const std::size_t to = std::min(count, r * share);
        if (from == to) continue;
        std::size_t ri = i, rj = j;
        advance(n, from, ri, rj);
        pairs.distances(ri, rj, to - from, fill + from);
      }
    });
    advance(n, count, i, j);
    done += count;
    summed = count;
  }
  return total;
}

}  // namespace

double size_dispersion(const PointSet& points, const Executor& executor) {
  const std::size_t n = points.n;
  if (n < 2) return 0.0;
  const PairDistances pairs(points);
  // Below eight dimensions a distance costs less than the addition it feeds, so that one
  // thread already runs at the pace of the chain of additions: more threads could only wait.
  const double total = executor.threads() > 1 && points.d >= 8
                           ? pipelined_total(pairs, n, executor)
                           : sequential_total(pairs, n, executor);
  // n(n - 1)/2 exactly, halving the even factor first so that it cannot overflow.
  const std::uint64_t count =
      (n % 2 == 0) ? std::uint64_t(n / 2) * (n - 1) : std::uint64_t(n) * ((n - 1) / 2);
  return total / static_cast<double>(count);
}

}  // namespace vorn
