// Farthest-point sampling for points of many coordinates: each point is filed under its
// nearest chosen point, and a new choice skips every point that it provably cannot bring closer.
// The skips are exact: every choice equals that of the plain procedure, bit for bit.
#include "utils/sample_measures/sample_centroid_fps_pruned.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/compiler_hints.h"
#include "base/simd_clones.h"
#include "base/simd_lanes.h"
#include "utils/sample_measures/centroid.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

// Adds the squares of coordinates b .. b + 7 of row p less the centre's (c0, c1) to the partial
// sums: lane k of low takes coordinate b + k, lane k of high coordinate b + 4 + k.
template <class T>
VORN_LANE_HELPER void add_eight_squares(const T* p, const F64x4& c0, const F64x4& c1, F64x4& low,
                                        F64x4& high) {
  F64x4 v0, v1;
  load_lanes(p, v0), load_lanes(p + 4, v1);
  v0 = v0 - c0, v1 = v1 - c1;
  low = low + v0 * v0;
  high = high + v1 * v1;
}

// Row p's squared sum: its partial sums low (0 to 3) and high (4 to 7) combined, then the
// squares of the last d % 8 coordinates one by one.
template <class T>
VORN_LANE_HELPER double finish_sum(const F64x4& low, const F64x4& high, const T* p, std::size_t d,
                                   const double* centre) {
  double partial[8], sum = 0.0, v = 0.0;
  store_lanes(partial, low), store_lanes(partial + 4, high);
  if (d >= 8) combine_partial_sums(partial, sum);
  for (std::size_t t = d / 8 * 8; t < d; ++t) v = p[t] - centre[t], sum = sum + v * v;
  return sum;
}

// The squared sums of point_distance from centre to four rows, each read as stored. The eight
// partial sums of each row are named, not indexed, so that they stay in registers: twelve
// vectors of four doubles, and the loop runs at the rate of its subtractions and additions.
template <class T>
VORN_ALWAYS_INLINE void four_row_sums(const T* const* p, std::size_t d, const double* centre,
                                      double* out) {
  const T *p0 = p[0], *p1 = p[1], *p2 = p[2], *p3 = p[3];
  F64x4 l0{}, l1{}, l2{}, l3{}, h0{}, h1{}, h2{}, h3{};
  for (std::size_t b = 0; b + 8 <= d; b += 8) {
    F64x4 c0, c1;
    load_lanes(centre + b, c0), load_lanes(centre + b + 4, c1);
    add_eight_squares(p0 + b, c0, c1, l0, h0);
    add_eight_squares(p1 + b, c0, c1, l1, h1);
    add_eight_squares(p2 + b, c0, c1, l2, h2);
    add_eight_squares(p3 + b, c0, c1, l3, h3);
  }
  out[0] = finish_sum(l0, h0, p0, d, centre);
  out[1] = finish_sum(l1, h1, p1, d, centre);
  out[2] = finish_sum(l2, h2, p2, d, centre);
  out[3] = finish_sum(l3, h3, p3, d, centre);
}

// The squared sums of point_distance from centre to the rows ids[0 .. m - 1]; rows of floats
// are widened as they are loaded. The rows of the next four are fetched while four are summed.
template <class T>
VORN_ALWAYS_INLINE void gathered_sums(const T* rows, std::size_t d, const std::uint32_t* ids,
                                      std::size_t m, const double* centre, double* out) {
  constexpr std::size_t kPerLine = 64 / sizeof(T);
  for (std::size_t j = 0; j < m; j += 4) {
    const T* p[4];
    for (std::size_t r = 0; r < 4; ++r) p[r] = rows + std::size_t(ids[std::min(j + r, m - 1)]) * d;
    for (std::size_t l = j + 4; l < std::min(m, j + 8); ++l) {
      for (std::size_t b = 0; b < d; b += kPerLine)
        VORN_PREFETCH(rows + std::size_t(ids[l]) * d + b);
    }
    double sums[4];
    four_row_sums(p, d, centre, sums);
    for (std::size_t r = 0; r < 4 && j + r < m; ++r) out[j + r] = sums[r];
  }
}

VORN_SIMD_CLONES void gathered_row_sums(const double* rows, std::size_t d, const std::uint32_t* ids,
                                        std::size_t m, const double* centre, double* out) {
  gathered_sums(rows, d, ids, m, centre, out);
}

VORN_SIMD_CLONES void gathered_row_sums(const float* rows, std::size_t d, const std::uint32_t* ids,
                                        std::size_t m, const double* centre, double* out) {
  gathered_sums(rows, d, ids, m, centre, out);
}

void gathered_row_sums(const PointSet& points, const std::uint32_t* ids, std::size_t m,
                       const double* centre, double* out) {
  with_rows(points, [&](auto rows) { gathered_row_sums(rows, points.d, ids, m, centre, out); });
}

// The id a member leaves behind when it moves to a later group: n < 2^32, so no index is this.
constexpr std::uint32_t kMoved = 0xffffffff;
// Members per piece of work: the unit handed to the pool, and the size of its scratch.
constexpr std::size_t kPiece = 1024;
// A choice whose groups to visit hold fewer members than this runs on the calling thread.
constexpr std::size_t kParallelMembers = std::size_t(1) << 14;
// Groups this small are visited without their centre's distance, which would save too little.
constexpr std::size_t kBoundFromMembers = 3;

// The largest entry and the highest index holding it: equal maxima go to the higher index.
struct Farthest {
  double value = -1.0;  // below every distance
  std::uint32_t index = 0;
  void take(double v, std::uint32_t i) {
    if (v > value || (v == value && i > index)) {
      value = v;
      index = i;
    }
  }
};

// The points whose nearest chosen point is `centre`, with their nearest distances (point_distance
// to centre), largest distance first and equal distances highest index first: the group's
// farthest member leads, and the members a bound rules out form its tail. A member's distance
// stays until it moves on, leaving kMoved as its id until the group is packed.
struct Group {
  std::uint64_t centre = 0;
  std::vector<std::uint32_t> ids;
  std::vector<double> nearest;
  std::size_t moved = 0;
  std::size_t head = 0;  // every entry before head has moved

  bool empty() const { return head == ids.size(); }
  std::size_t members() const { return ids.size() - moved; }
  // The largest distance, -1 when no member is left.
  double top() const { return empty() ? -1.0 : nearest[head]; }
};

// Entries [begin, end) of one group, all above the skip bound, and the members brought closer.
struct Piece {
  std::size_t group = 0, begin = 0, end = 0;
  std::vector<std::pair<double, std::uint32_t>> moved;  // new distance, point index
};

// Orders the members of group by distance, largest first, equal ones highest index first.
void order_members(std::vector<std::pair<double, std::uint32_t>>& members, Group& group) {
  std::sort(
      members.begin(), members.end(),
      [](const std::pair<double, std::uint32_t>& a, const std::pair<double, std::uint32_t>& b) {
        return a.first > b.first || (a.first == b.first && a.second > b.second);
      });
  group.ids.resize(members.size());
  group.nearest.resize(members.size());
  for (std::size_t j = 0; j < members.size(); ++j) {
    group.nearest[j] = members[j].first;
    group.ids[j] = members[j].second;
  }
}

class PrunedChooser {
 public:
  PrunedChooser(const PointSet& points, const Executor& executor)
      : points_(points), executor_(executor), factor_(triangle_skip_factor(points.d)) {}

  // Files every point under the first choice.
  void start(std::uint64_t first);
  // The next choice: the highest index of the largest nearest distance.
  std::uint64_t farthest() const;
  // Lowers every nearest distance to its distance to the chosen point `centre`.
  void add(std::uint64_t centre);

 private:
  // centre: the new choice's coordinates.
  void plan_pieces(const double* centre);
  void run_pieces(const double* centre);
  void update(Piece& piece, const double* centre);
  void settle(Group& fresh);
  // The chosen point `centre` as doubles.
  const double* position(std::uint64_t centre) {
    return row_as_doubles(points_, centre, position_.data());
  }

  const PointSet& points_;
  const Executor& executor_;
  const double factor_;
  std::vector<Group> groups_;
  std::vector<Piece> pieces_;
  std::size_t used_ = 0;  // pieces_[0, used_) belong to the current choice
  std::vector<std::uint32_t> centres_;
  std::vector<double> centre_sums_;
  std::vector<std::pair<double, std::uint32_t>> members_;
  std::vector<double> position_ = std::vector<double>(points_.d);
};

void PrunedChooser::start(std::uint64_t first) {
  std::vector<double> nearest(points_.n);
  const double* at = position(first);
  executor_.for_ranges(points_.n, kParallelMembers, [&](std::size_t begin, std::size_t end) {
    row_squared_sums(points_, begin, end - begin, at, &nearest[begin]);
  });
  members_.resize(points_.n);
  for (std::size_t i = 0; i < points_.n; ++i)
    members_[i] = {std::sqrt(nearest[i]), static_cast<std::uint32_t>(i)};
  nearest = std::vector<double>();
  groups_.emplace_back();
  groups_.back().centre = first;
  order_members(members_, groups_.back());
  members_ = {};
}

std::uint64_t PrunedChooser::farthest() const {
  Farthest best;
  for (const Group& group : groups_) {
    if (!group.empty()) best.take(group.nearest[group.head], group.ids[group.head]);
  }
  return best.index;
}

void PrunedChooser::add(std::uint64_t centre) {
  executor_.poll();
  const double* at = position(centre);
  plan_pieces(at);
  run_pieces(at);
  groups_.emplace_back();
  groups_.back().centre = centre;
  settle(groups_.back());
}

// Splits the entries of every group the new centre might reach into pieces: those above the
// bound that its centre's distance gives, a run from the group's head.
void PrunedChooser::plan_pieces(const double* centre) {
  centres_.clear();
  for (const Group& group : groups_) {
    if (group.top() > 0.0 && group.members() >= kBoundFromMembers)
      centres_.push_back(static_cast<std::uint32_t>(group.centre));
  }
  centre_sums_.resize(centres_.size());
  const std::size_t grain = kParallelMembers * 8 / points_.d + 1;  // ranges of 2^17 coordinates
  executor_.for_ranges(centres_.size(), grain, [&](std::size_t begin, std::size_t end) {
    gathered_row_sums(points_, &centres_[begin], end - begin, centre, &centre_sums_[begin]);
  });
  used_ = 0;
  std::size_t with_bound = 0;
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    const Group& group = groups_[g];
    if (!(group.top() > 0.0)) continue;  // all members at distance 0, or none
    double bound = 0.0;
    if (group.members() >= kBoundFromMembers)
      bound = triangle_skip_bound(std::sqrt(centre_sums_[with_bound++]), factor_);
    const std::size_t end =
        std::partition_point(group.nearest.begin() + group.head, group.nearest.end(),
                             [bound](double v) { return v > bound; }) -
        group.nearest.begin();
    for (std::size_t begin = group.head; begin < end; begin += kPiece) {
      if (used_ == pieces_.size()) pieces_.emplace_back();
      Piece& piece = pieces_[used_++];
      piece.group = g;
      piece.begin = begin;
      piece.end = std::min(end, begin + kPiece);
    }
  }
}

void PrunedChooser::run_pieces(const double* centre) {
  if (used_ * kPiece >= kParallelMembers && executor_.threads() > 1) {
    executor_.for_ranges(used_, 1, [&](std::size_t begin, std::size_t end) {
      for (std::size_t p = begin; p < end; ++p) update(pieces_[p], centre);
    });
  } else {
    for (std::size_t p = 0; p < used_; ++p) update(pieces_[p], centre);
  }
}

// Computes the distances of the piece's members; those brought closer are marked moved.
// Pieces of one group own disjoint ranges of its entries, so pieces may run side by side.
void PrunedChooser::update(Piece& piece, const double* centre) {
  std::uint32_t ids[kPiece], at[kPiece];
  double sums[kPiece];
  Group& group = groups_[piece.group];
  std::size_t m = 0;
  for (std::size_t j = piece.begin; j < piece.end; ++j) {
    ids[m] = group.ids[j];
    at[m] = static_cast<std::uint32_t>(j);
    m += group.ids[j] != kMoved;
  }
  gathered_row_sums(points_, ids, m, centre, sums);
  piece.moved.clear();
  for (std::size_t c = 0; c < m; ++c) {
    const double distance = std::sqrt(sums[c]);
    if (distance < group.nearest[at[c]]) {
      piece.moved.emplace_back(distance, ids[c]);
      group.ids[at[c]] = kMoved;
    }
  }
}

// Moves the members the pieces marked into the fresh group, advances each visited group's head
// past moved entries and packs a group once half of its entries have moved.
void PrunedChooser::settle(Group& fresh) {
  members_.clear();
  for (std::size_t p = 0; p < used_; ++p) {
    const Piece& piece = pieces_[p];
    members_.insert(members_.end(), piece.moved.begin(), piece.moved.end());
    Group& group = groups_[piece.group];
    group.moved += piece.moved.size();
    if (p + 1 < used_ && pieces_[p + 1].group == piece.group) continue;
    while (!group.empty() && group.ids[group.head] == kMoved) ++group.head;
    if (2 * group.moved <= group.ids.size()) continue;
    std::size_t kept = 0;
    for (std::size_t j = group.head; j < group.ids.size(); ++j) {
      group.ids[kept] = group.ids[j];
      group.nearest[kept] = group.nearest[j];
      kept += group.ids[j] != kMoved;
    }
    group.ids.resize(kept);
    group.nearest.resize(kept);
    group.moved = group.head = 0;
  }
  order_members(members_, fresh);
}

}  // namespace

void extend_fps_pruned(const PointSet& points, std::size_t target, const Executor& executor,
                       Indices& result) {
  if (result.size() >= target) return;
  PrunedChooser chooser(points, executor);
  chooser.start(result.back());
  for (;;) {
    result.push_back(chooser.farthest());
    if (result.size() == target) return;
    chooser.add(result.back());
  }
}

Indices sample_centroid_fps_pruned(const PointSet& points, std::uint64_t count,
                                   const Executor& executor) {
  Indices result = start_at_centroid(points, count, executor);
  extend_fps_pruned(points, std::min<std::uint64_t>(points.n, count), executor, result);
  return result;
}

}  // namespace vorn
