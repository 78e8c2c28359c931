// Farthest-point sampling: start at the point nearest the centroid, then always take the point
// farthest from everything chosen. Equal maxima go to the highest index, chosen points included.
#include "utils/sample_measures/sample_centroid_fps.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "base/compiler_hints.h"
#include "base/panic.h"
#include "base/simd_clones.h"
#include "utils/sample_measures/centroid.h"
#include "utils/sample_measures/sample_centroid_fps_pruned.h"
#include "utils/size_measures/point_distance.h"

namespace vorn {

namespace {

constexpr std::size_t kBucketSize = 512;
constexpr std::uint64_t kBucketingFromCount = 32;
// From this many coordinates on, boxes around buckets rule out fewer points than the distances
// to the chosen points do (clustered clouds of 1e5 points: the tree wins at 8, the groups at 12).
constexpr std::size_t kPrunedFromDimension = 10;
// Points per range when the tree's columns are filled.
constexpr std::size_t kFillPointsPerRange = std::size_t(1) << 14;
constexpr double kInf = std::numeric_limits<double>::infinity();

// A node of the tree: its slot range, its children and where its largest distance lies.
// Nearest entries are squared sums: the square root is monotone, so the root of the smallest
// sum is the smallest distance bit for bit, and roots are taken only to compare maxima.
struct Node {
  std::size_t begin = 0, end = 0;
  std::size_t child = 0;     // first of the two children; 0 for a bucket
  double max_value = kInf;   // the largest distance in the range, a square root
  std::size_t max_slot = 0;  // the slot of the highest point index at that distance
};

// Points filed into a tree of boxes; the buckets (leaves) are runs of slots in column layout:
// coordinate k of slot s at cols[k * n + s]. What a choice reads of every node it visits
// sits together in `bounds`: the largest nearest sum below the node, then its box.
struct Tree {
  std::size_t n = 0, d = 0;
  Coordinates cols;
  Coordinates nearest;  // squared sums, +inf before the first choice
  // The point in each slot, 32 bits wide; left empty for a single bucket, whose slots are the
  // points themselves (the only filing used beyond 2^32 - 1 points).
  std::vector<std::uint32_t, CoordinateAllocator<std::uint32_t>> index;
  std::vector<Node> nodes;
  std::vector<double> bounds;
  std::size_t buckets = 0;

  std::uint64_t point(std::size_t slot) const { return index.empty() ? slot : index[slot]; }
  std::size_t stride() const { return 1 + 2 * d; }
  double& max_sum(std::size_t b) { return bounds[stride() * b]; }
  double* lo(std::size_t b) { return &bounds[stride() * b + 1]; }
  double* hi(std::size_t b) { return &bounds[stride() * b + 1 + d]; }
};

// How a node divides: at slot `at` (0: it stays a bucket); when `clip`, the left part lies
// at or below `value` on `axis` and the right part at or above it: the slots whose key is below
// `value` (at most `value` when `at_most`) go left.
struct Split {
  std::size_t at = 0, axis = 0;
  double value = 0.0;
  bool clip = false, at_most = false;

  // Without a branch on the key: which way a key goes is as good as random.
  bool left(double key) const { return (key < value) | (at_most & (key == value)); }
};

// Moves the slots of [begin, end) whose key passes `left` before the others; returns the split.
template <std::size_t D, class Left>
std::size_t partition(Tree& tree, std::size_t begin, std::size_t end, std::size_t axis, Left left) {
  const std::size_t n = tree.n, d = D ? D : tree.d;
  double* cols = tree.cols.data();
  std::uint32_t* index = tree.index.data();
  std::size_t l = begin;
  for (std::size_t s = begin; s < end; ++s) {
    const bool goes_left = left(cols[axis * n + s]);
    // Every slot in [l, s) stays right, so the swap is harmless when s stays right too.
    for (std::size_t k = 0; k < d; ++k) std::swap(cols[k * n + l], cols[k * n + s]);
    std::swap(index[l], index[s]);
    l += goes_left;
  }
  return l;
}

// How a node of `size` slots and box [lo, hi] divides. At the middle of the widest axis, or at
// a sampled median when that leaves one side under an eighth (clusters, outliers), or by
// position when neither separates: both parts keep at least an eighth, so the depth is
// logarithmic whatever the shape of the cloud. key(axis, s) is the key of the node's slot s;
// count(split) counts the slots split.left sends left, and its last call is for the split
// returned, whose `at` counts from the node's first slot.
template <std::size_t D, class Key, class Count>
Split choose_split(std::size_t d, const double* lo, const double* hi, std::size_t size,
                   std::size_t bucket_size, const Key& key, const Count& count) {
  Split split;
  if (size <= bucket_size) return split;
  if (D) d = D;
  double widest = 0.0;
  for (std::size_t k = 0; k < d; ++k) {
    const double extent = hi[k] * 0.5 - lo[k] * 0.5;  // halved, so that no extent overflows
    if (extent > widest) {
      widest = extent;
      split.axis = k;
    }
  }
  if (widest == 0.0) return split;  // all points coincide: no division can separate them
  const std::size_t least = std::max<std::size_t>(1, size / 8);
  const auto balanced = [&](std::size_t left) { return std::min(left, size - left) >= least; };
  split.clip = true;
  split.value = lo[split.axis] * 0.5 + hi[split.axis] * 0.5;
  if (balanced(split.at = count(split))) return split;
  double sample[63];
  const std::size_t taken = std::min<std::size_t>(63, size);
  for (std::size_t j = 0; j < taken; ++j) sample[j] = key(split.axis, j * size / taken);
  std::nth_element(sample, sample + taken / 2, sample + taken);
  split.value = sample[taken / 2];
  if (balanced(split.at = count(split))) return split;
  split.at_most = true;
  if (balanced(split.at = count(split))) return split;
  split.at = size / 2;
  split.clip = false;
  return split;
}

// Where node b divides; reorders the node's slots so that the left part comes first.
template <std::size_t D>
Split split_node(Tree& tree, std::size_t b, std::size_t bucket_size) {
  const Node node = tree.nodes[b];
  const double* cols = tree.cols.data() + node.begin;
  const std::size_t n = tree.n;
  Split split = choose_split<D>(
      tree.d, tree.lo(b), tree.hi(b), node.end - node.begin, bucket_size,
      [&](std::size_t axis, std::size_t s) { return cols[axis * n + s]; },
      [&](const Split& by) {
        std::size_t left = 0;
        for (std::size_t s = 0; s < node.end - node.begin; ++s)
          left += by.left(cols[by.axis * n + s]);
        return left;
      });
  if (split.at == 0) return split;
  if (split.clip)
    partition<D>(tree, node.begin, node.end, split.axis, [&](double x) { return split.left(x); });
  split.at += node.begin;
  return split;
}

// The tight box of bucket b's points.
template <std::size_t D>
void fit_box(Tree& tree, std::size_t b) {
  const std::size_t n = tree.n, d = D ? D : tree.d;
  const Node& node = tree.nodes[b];
  double* lo = tree.lo(b);
  double* hi = tree.hi(b);
  for (std::size_t k = 0; k < d; ++k) {
    const double* col = &tree.cols[k * n];
    double l = col[node.begin], h = l;
    for (std::size_t s = node.begin + 1; s < node.end; ++s) {
      l = col[s] < l ? col[s] : l;
      h = col[s] > h ? col[s] : h;
    }
    lo[k] = l;
    hi[k] = h;
  }
}

// The bucket's largest distance, from its largest sum, and the highest index at it. Sums whose
// roots are equal are tied, so every slot whose root equals the largest root takes part.
void find_bucket_maximum(Tree& tree, Node& bucket) {
  const double* nearest = tree.nearest.data();
  bucket.max_value = std::sqrt(tree.max_sum(std::size_t(&bucket - tree.nodes.data())));
  // Every sum whose root rounds to max_value exceeds the square of its predecessor.
  const double below = bucket.max_value > 0.0 ? std::nextafter(bucket.max_value, 0.0) : 0.0;
  const double floor = below * below;
  bool found = false;
  for (std::size_t s = bucket.begin; s < bucket.end; ++s) {
    // Indices are read only on a tie: they are seldom in cache.
    if (VORN_UNLIKELY(nearest[s] >= floor) && std::sqrt(nearest[s]) == bucket.max_value &&
        (!found || tree.point(s) > tree.point(bucket.max_slot))) {
      found = true;
      bucket.max_slot = s;
    }
  }
}

// Node b's maximum and box from its children's; equal distances go to the higher index.
void combine(Tree& tree, std::size_t b) {
  Node& node = tree.nodes[b];
  const std::size_t c = node.child;
  const Node& l = tree.nodes[c];
  const Node& r = tree.nodes[c + 1];
  const bool right = r.max_value > l.max_value || (r.max_value == l.max_value &&
                                                   tree.point(r.max_slot) > tree.point(l.max_slot));
  tree.max_sum(b) = std::max(tree.max_sum(c), tree.max_sum(c + 1));
  node.max_value = right ? r.max_value : l.max_value;
  node.max_slot = right ? r.max_slot : l.max_slot;
}

// The root's box: the boxes of fixed ranges of points, combined in range order.
template <std::size_t D>
void fit_root_box(Tree& tree, const PointSet& points, const Executor& executor) {
  const std::size_t n = points.n, d = D ? D : points.d;
  std::vector<double> boxes(((n - 1) / kFillPointsPerRange + 1) * 2 * d);
  executor.for_ranges(n, kFillPointsPerRange, [&](std::size_t begin, std::size_t end) {
    double* lo = &boxes[begin / kFillPointsPerRange * 2 * d];
    double* hi = lo + d;
    with_rows(points, [&](auto rows) {
      for (std::size_t k = 0; k < d; ++k) {
        double l = rows[begin * d + k], h = l;
        for (std::size_t i = begin + 1; i < end; ++i) {
          const double x = rows[i * d + k];
          l = x < l ? x : l;
          h = x > h ? x : h;
        }
        lo[k] = l;
        hi[k] = h;
      }
    });
  });
  double* lo = tree.lo(0);
  double* hi = tree.hi(0);
  std::copy(boxes.begin(), boxes.begin() + 2 * d, lo);
  for (std::size_t r = 2 * d; r < boxes.size(); r += 2 * d) {
    for (std::size_t k = 0; k < d; ++k) {
      lo[k] = boxes[r + k] < lo[k] ? boxes[r + k] : lo[k];
      hi[k] = boxes[r + d + k] > hi[k] ? boxes[r + d + k] : hi[k];
    }
  }
}

// Files the points [begin, end) of rows (n x d) into the slots of cols (d x n) and index:
// those that `split` sends left from slot l on, the others from slot r on, in point order.
template <std::size_t D, class T>
void file_points(const T* rows, std::size_t n, std::size_t d, std::size_t begin, std::size_t end,
                 const Split& split, std::size_t l, std::size_t r, double* cols,
                 std::uint32_t* index) {
  if (D) d = D;
  // Held apart from the slots written, so that no store can be taken to change them.
  const Split by = split;
  for (std::size_t i = begin; i < end; ++i) {
    const bool goes_left = by.clip & by.left(rows[i * d + by.axis]);
    const std::size_t s = goes_left ? l : r;
    l += goes_left;
    r += !goes_left;
    for (std::size_t k = 0; k < d; ++k) cols[k * n + s] = rows[i * d + k];
    if (index != nullptr) index[s] = static_cast<std::uint32_t>(i);
  }
}

// Files every point into its slot, each entry +inf: those that `split` sends left first, the
// others after them, each part in point order. left[r]: how many of the points of range r
// (kFillPointsPerRange points) go left.
template <std::size_t D>
void fill_slots(Tree& tree, const PointSet& points, const Split& split,
                const std::vector<std::size_t>& left, const Executor& executor) {
  const std::size_t n = points.n;
  std::vector<std::size_t> first_left(left.size()), first_right(left.size());
  std::size_t right = 0;
  for (const std::size_t held : left) right += held;
  for (std::size_t r = 0, l = 0; r < left.size(); ++r) {
    first_left[r] = l;
    first_right[r] = right;
    l += left[r];
    right += std::min(kFillPointsPerRange, n - r * kFillPointsPerRange) - left[r];
  }
  std::uint32_t* index = tree.index.empty() ? nullptr : tree.index.data();
  executor.for_ranges(n, kFillPointsPerRange, [&](std::size_t begin, std::size_t end) {
    const std::size_t r = begin / kFillPointsPerRange;
    std::fill(tree.nearest.begin() + begin, tree.nearest.begin() + end, kInf);
    with_rows(points, [&](auto rows) {
      file_points<D>(rows, n, points.d, begin, end, split, first_left[r], first_right[r],
                     tree.cols.data(), index);
    });
  });
}

// The tree's root, with its box, and how it divides: the points are filed into their slots
// already divided, so that the largest division runs on every thread. Returns the split.
template <std::size_t D>
Split fill_root(Tree& tree, const PointSet& points, std::size_t bucket_size,
                const Executor& executor) {
  const std::size_t n = points.n, d = points.d;
  tree.n = n;
  tree.d = d;
  tree.cols.resize(n * d);
  if (bucket_size < n) tree.index.resize(n);
  tree.nearest.resize(n);
  tree.nodes.emplace_back();
  tree.nodes[0].end = n;
  tree.bounds.resize(tree.stride());
  fit_root_box<D>(tree, points, executor);
  std::vector<std::size_t> left((n - 1) / kFillPointsPerRange + 1);
  const auto count = [&](const Split& by) {
    executor.for_ranges(n, kFillPointsPerRange, [&](std::size_t begin, std::size_t end) {
      std::size_t held = 0;
      with_rows(points, [&](auto rows) {
        for (std::size_t i = begin; i < end; ++i) held += by.left(rows[i * d + by.axis]);
      });
      left[begin / kFillPointsPerRange] = held;
    });
    std::size_t sum = 0;
    for (const std::size_t held : left) sum += held;
    return sum;
  };
  const auto key = [&](std::size_t axis, std::size_t i) {
    return with_rows(points, [&](auto rows) { return double(rows[i * d + axis]); });
  };
  Split split = choose_split<D>(d, tree.lo(0), tree.hi(0), n, bucket_size, key, count);
  if (!split.clip) std::fill(left.begin(), left.end(), 0);
  fill_slots<D>(tree, points, split, left, executor);
  return split;
}

// Gives node b the two children that `split` describes; each starts from b's box, cut at the
// division when the split clips. Returns the first child.
std::size_t add_children(Tree& tree, std::size_t b, const Split& split) {
  const std::size_t c = tree.nodes.size(), d = tree.d;
  tree.nodes[b].child = c;
  tree.nodes.resize(c + 2);
  tree.nodes[c].begin = tree.nodes[b].begin;
  tree.nodes[c].end = tree.nodes[c + 1].begin = split.at;
  tree.nodes[c + 1].end = tree.nodes[b].end;
  tree.bounds.resize(tree.stride() * (c + 2));
  for (std::size_t child = c; child < c + 2; ++child) {
    std::copy(tree.lo(b), tree.lo(b) + 2 * d, tree.lo(child));
  }
  if (split.clip) {
    tree.hi(c)[split.axis] = split.value;
    tree.lo(c + 1)[split.axis] = split.value;
  }
  return c;
}

// Divides the tree level by level from the root, which divides by `root`: the nodes of one
// level hold disjoint slot ranges and divide independently. Returns the buckets, the nodes that
// no longer divide.
template <std::size_t D>
std::vector<std::size_t> divide(Tree& tree, const Split& root, std::size_t bucket_size,
                                const Executor& executor) {
  std::vector<std::size_t> level = {0}, next, buckets;
  std::vector<Split> splits = {root};
  for (;;) {
    next.clear();
    for (std::size_t j = 0; j < level.size(); ++j) {
      if (splits[j].at == 0) {
        buckets.push_back(level[j]);
        continue;
      }
      const std::size_t c = add_children(tree, level[j], splits[j]);
      next.push_back(c);
      next.push_back(c + 1);
    }
    if (next.empty()) return buckets;
    level.swap(next);
    splits.assign(level.size(), Split());
    executor.for_ranges(level.size(), 1, [&](std::size_t begin, std::size_t end) {
      for (std::size_t j = begin; j < end; ++j)
        splits[j] = split_node<D>(tree, level[j], bucket_size);
    });
  }
}

// Fits each bucket's box; every entry is +inf, so the bucket's highest index holds its maximum:
// a bucket the first choice skips (all its distances +inf) still reports the right point.
template <std::size_t D>
void settle_buckets(Tree& tree, const std::vector<std::size_t>& buckets, const Executor& executor) {
  executor.for_ranges(buckets.size(), 64, [&](std::size_t begin, std::size_t end) {
    for (std::size_t j = begin; j < end; ++j) {
      Node& bucket = tree.nodes[buckets[j]];
      fit_box<D>(tree, buckets[j]);
      bucket.max_slot = bucket.end - 1;
      for (std::size_t s = bucket.begin; s < bucket.end; ++s) {
        if (tree.point(s) > tree.point(bucket.max_slot)) bucket.max_slot = s;
      }
      tree.max_sum(buckets[j]) = kInf;
    }
  });
}

// Children come after their parents: going backwards settles every inner box and maximum.
void settle_inner_nodes(Tree& tree) {
  for (std::size_t b = tree.nodes.size(); b-- > 0;) {
    const std::size_t c = tree.nodes[b].child;
    if (c == 0) continue;
    for (std::size_t k = 0; k < tree.d; ++k) {
      tree.lo(b)[k] = std::min(tree.lo(c)[k], tree.lo(c + 1)[k]);
      tree.hi(b)[k] = std::max(tree.hi(c)[k], tree.hi(c + 1)[k]);
    }
    combine(tree, b);
  }
}

template <std::size_t D>
Tree build_tree(const PointSet& points, std::size_t bucket_size, const Executor& executor) {
  Tree tree;
  const Split root = fill_root<D>(tree, points, bucket_size, executor);
  const std::vector<std::size_t> buckets = divide<D>(tree, root, bucket_size, executor);
  tree.buckets = buckets.size();
  settle_buckets<D>(tree, buckets, executor);
  settle_inner_nodes(tree);
  return tree;
}

// The squared sum of point_distance from centre to the point of a box nearest to it. Every
// coordinate difference of a member is at least as large, and rounding is monotone, so no
// member's sum is smaller: a node whose largest sum is at most this cannot move closer.
template <std::size_t D>
inline double box_sum(std::size_t d, const double* lo, const double* hi, const double* centre) {
  return blocked_square_sum<double>(D ? D : d, [=](std::size_t k) {
    const double nearest = centre[k] < lo[k] ? lo[k] : (centre[k] > hi[k] ? hi[k] : centre[k]);
    return centre[k] - nearest;
  });
}

// Lowers the nearest entries of bucket b to their sums to centre, each lane one slot in
// point_distance's own order, and refreshes the bucket's maximum.
template <std::size_t D>
VORN_ALWAYS_INLINE void update_bucket(Tree& tree, std::size_t b, const double* centre) {
  const std::size_t n = tree.n;
  const double* cols = tree.cols.data();
  double* nearest = tree.nearest.data();
  Node& bucket = tree.nodes[b];
  const double before = nearest[bucket.max_slot];
  double top = 0.0;  // sums are never negative nor NaN
  for (std::size_t s = bucket.begin; s < bucket.end; ++s) {
    const double sum = blocked_square_sum<double>(
        D ? D : tree.d, [=](std::size_t k) { return cols[k * n + s] - centre[k]; });
    const double lowered = sum < nearest[s] ? sum : nearest[s];
    nearest[s] = lowered;
    top = lowered > top ? lowered : top;
  }
  tree.max_sum(b) = top;
  // Entries only fall: if the maximum's own entry stayed, so did the maximum and its index.
  if (nearest[bucket.max_slot] != before) find_bucket_maximum(tree, bucket);
}

template <std::size_t D>
VORN_ALWAYS_INLINE void update_buckets_of(Tree& tree, const std::size_t* buckets, std::size_t count,
                                          const double* centre) {
  for (std::size_t j = 0; j < count; ++j) update_bucket<D>(tree, buckets[j], centre);
}

VORN_SIMD_CLONES
void update_buckets(Tree& tree, const std::size_t* buckets, std::size_t count,
                    const double* centre) {
  switch (tree.d) {
    case 1: return update_buckets_of<1>(tree, buckets, count, centre);
    case 2: return update_buckets_of<2>(tree, buckets, count, centre);
    case 3: return update_buckets_of<3>(tree, buckets, count, centre);
    case 4: return update_buckets_of<4>(tree, buckets, count, centre);
    default: return update_buckets_of<0>(tree, buckets, count, centre);
  }
}

// The choices: each lowers every nearest entry to its sum to the new centre, visiting only the
// nodes whose box could hold a lower sum, and takes the last index of the largest distance.
// The thread that makes a choice visits the top of the tree for it, down to subtrees of at most
// kSubtreeSlots slots, and cuts those it may reach into pieces. On several threads, the
// threads that take part claim the pieces one by one, each visiting, updating and combining its
// subtrees whole; whichever finishes the last piece combines the top and makes the next choice
// (and those after it that reach a single piece). Which thread updates a subtree changes no
// entry.
template <std::size_t D>
class Chooser {
 public:
  Chooser(Tree& tree, const PointSet& points, const Executor& executor)
      : tree_(tree), points_(points), executor_(executor), scratch_(points.d) {}

  // result: the first choice. Appends choices until result holds target indices.
  void run(std::size_t target, Indices& result) {
    result_ = &result;
    target_ = target;
    plan(result.back());
    const bool shared = executor_.threads() > 1;
    if (!shared || pieces_.size() <= 2) {
      executor_.poll();
      update_subtrees(top_.buckets.data(), top_.buckets.size(), alone_);
      if (!advance(shared)) return;
    }
    executor_.for_ranges(executor_.threads(), 1, [&](std::size_t, std::size_t) { take_part(); });
  }

 private:
  // The step of the tickets once every choice is made.
  static constexpr std::uint64_t kEnd = 0xffffffff;
  // The top of the tree ends at subtrees of at most this many slots.
  static constexpr std::size_t kSubtreeSlots = std::size_t(1) << 12;
  // A piece holds at least this many slots, and a choice is cut into about kPieces pieces; a
  // choice of one piece is made by one thread. The other threads wait awake between choices
  // and a claim is one atomic exchange, so two pieces' worth already pays for sharing.
  static constexpr std::size_t kPieceSlots = std::size_t(1) << 10;
  static constexpr std::size_t kPieces = 16;

  // What a visit found: the nodes it ends at (buckets, or subtrees of the top) with their
  // slots, and the inner nodes above them, parents first.
  struct Visit {
    std::vector<std::size_t> stack, inner, buckets;
    std::size_t slots = 0;
  };

  // Visits the subtree of node `from` for the current centre, down to the buckets or to nodes
  // of at most `stop` slots, whichever comes first. Appends to visit.
  void visit(std::size_t from, std::size_t stop, Visit& visit) const {
    const std::size_t d = tree_.d, stride = tree_.stride();
    const double* bounds = tree_.bounds.data();
    visit.stack.assign(1, from);
    while (!visit.stack.empty()) {
      const std::size_t b = visit.stack.back();
      visit.stack.pop_back();
      const double* bound = bounds + stride * b;
      if (box_sum<D>(d, bound + 1, bound + 1 + d, centre_) >= bound[0]) continue;
      const Node& node = tree_.nodes[b];
      if (node.child == 0 || node.end - node.begin <= stop) {
        visit.buckets.push_back(b);
        visit.slots += node.end - node.begin;
      } else {
        visit.inner.push_back(b);
        visit.stack.push_back(node.child);
        visit.stack.push_back(node.child + 1);
      }
    }
  }

  // Visits, updates and combines the subtrees of the nodes subtrees[0 .. count - 1] whole.
  void update_subtrees(const std::size_t* subtrees, std::size_t count, Visit& below) {
    below.inner.clear();
    below.buckets.clear();
    for (std::size_t j = 0; j < count; ++j) visit(subtrees[j], 0, below);
    update_buckets(tree_, below.buckets.data(), below.buckets.size(), centre_);
    // Children were visited after their parents.
    for (std::size_t j = below.inner.size(); j-- > 0;) combine(tree_, below.inner[j]);
  }

  // Visits the top of the tree for the choice `chosen` and cuts the subtrees it may reach into
  // pieces of about equal slots: pieces_[p] .. pieces_[p + 1] - 1 index top_.buckets.
  void plan(std::uint64_t chosen) {
    centre_ = row_as_doubles(points_, chosen, scratch_.data());
    top_.inner.clear();
    top_.buckets.clear();
    top_.slots = 0;
    visit(0, kSubtreeSlots, top_);
    const std::size_t least = std::max(kPieceSlots, top_.slots / kPieces);
    pieces_.assign(1, 0);
    for (std::size_t j = 0, held = 0; j < top_.buckets.size(); ++j) {
      const Node& node = tree_.nodes[top_.buckets[j]];
      held += node.end - node.begin;
      if (held >= least || j + 1 == top_.buckets.size()) pieces_.push_back(j + 1), held = 0;
    }
    count_.store(pieces_.size() - 1, std::memory_order_release);
  }

  // Once every piece of the choice is done: combines the top, appends the last index of the
  // largest distance and plans the next choice; makes the choices that follow on this thread
  // alone while they hold at most one piece (all of them when `while_small` is false). False
  // once result is full.
  bool advance(bool while_small) {
    for (;;) {
      for (std::size_t j = top_.inner.size(); j-- > 0;) combine(tree_, top_.inner[j]);
      result_->push_back(tree_.point(tree_.nodes[0].max_slot));
      if (result_->size() >= target_) return false;
      plan(result_->back());
      if (while_small && pieces_.size() > 2) return true;
      executor_.poll();
      update_subtrees(top_.buckets.data(), top_.buckets.size(), alone_);
    }
  }

  // One thread's part: claims the pieces of the current choice (tickets: the choice's step in
  // the high half, the next unclaimed piece in the low half) until every choice is made.
  void take_part() {
    try {
      claim_pieces();
    } catch (...) {
      failed_.store(true);  // the others stop at their next claim
      throw;
    }
  }

  void claim_pieces() {
    std::size_t idle = 0;
    Visit below;
    for (;;) {
      std::uint64_t word = tickets_.load(std::memory_order_acquire);
      if (failed_.load(std::memory_order_relaxed) || word >> 32 == kEnd) return;
      // Read without a lock: a count of a later step goes with a ticket the exchange refuses,
      // since its step was closed before that count was stored.
      if ((word & 0xffffffff) >= count_.load(std::memory_order_acquire)) {
        wait_a_moment(idle);
        continue;
      }
      if (!tickets_.compare_exchange_weak(word, word + 1, std::memory_order_acq_rel)) continue;
      idle = 0;
      executor_.poll();
      const std::size_t p = word & 0xffffffff, pieces = pieces_.size() - 1;
      update_subtrees(top_.buckets.data() + pieces_[p], pieces_[p + 1] - pieces_[p], below);
      // The last piece's thread replans: nothing of this choice is read after this addition.
      if (done_.fetch_add(1, std::memory_order_acq_rel) + 1 < pieces) continue;
      done_.store(0, std::memory_order_relaxed);
      // No ticket of this step is left. Closing it before the next choice is planned makes the
      // exchange fail for a thread that read this step's ticket and then the next choice's
      // count, which would otherwise claim a piece of that choice under this step.
      tickets_.store(word | 0xffffffff, std::memory_order_relaxed);
      const std::uint64_t step = advance(true) ? (word >> 32) + 1 : kEnd;
      tickets_.store(step << 32, std::memory_order_release);
    }
  }

  // Between choices a thread waits for another to finish its piece: it spins, then yields, and
  // once the wait grows long (choices of one piece) it sleeps between looks. A waiting thread
  // holds no piece, so the others make the choices without it meanwhile, and a machine with
  // more threads than cores loses no core to waiting.
  void wait_a_moment(std::size_t& idle) const {
    if (++idle % 64 != 0) return;
    executor_.poll();
    if (idle < 64 * 64) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  }

  Tree& tree_;
  const PointSet& points_;
  const Executor& executor_;
  std::vector<double> scratch_;
  Indices* result_ = nullptr;
  std::size_t target_ = 0;
  const double* centre_ = nullptr;
  // The current choice: the top of the tree it visits, and its pieces.
  Visit top_, alone_;
  std::vector<std::size_t> pieces_;
  std::atomic<std::size_t> count_{0};  // pieces_.size() - 1, for threads waiting for a step
  std::atomic<std::uint64_t> tickets_{0};
  std::atomic<std::size_t> done_{0};
  std::atomic<bool> failed_{false};
};

template <std::size_t D>
void choose(const PointSet& points, std::size_t target, std::size_t bucket_size,
            const Executor& executor, Indices& result) {
  Tree tree = build_tree<D>(points, bucket_size, executor);
  Chooser<D>(tree, points, executor).run(target, result);
}

// Appends to result, which holds the first choice, until it holds target indices.
void extend_bucketed(const PointSet& points, std::size_t target, std::size_t bucket_size,
                     const Executor& executor, Indices& result) {
  if (result.size() >= target) return;
  bucket_size = std::max<std::size_t>(bucket_size, 1);
  if (points.n > std::numeric_limits<std::uint32_t>::max()) bucket_size = points.n;
  switch (points.d) {
    case 1: choose<1>(points, target, bucket_size, executor, result); break;
    case 2: choose<2>(points, target, bucket_size, executor, result); break;
    case 3: choose<3>(points, target, bucket_size, executor, result); break;
    default: choose<0>(points, target, bucket_size, executor, result); break;
  }
}

// Appends to result, which holds the first choice, by the method that suits the points.
void extend(const PointSet& points, std::uint64_t count, const Executor& executor,
            Indices& result) {
  const std::size_t target = static_cast<std::size_t>(std::min<std::uint64_t>(points.n, count));
  if (points.d >= kPrunedFromDimension && points.n <= std::numeric_limits<std::uint32_t>::max())
    return extend_fps_pruned(points, target, executor, result);
  // Filing the points costs a few full passes; it pays off only over many choices.
  const std::size_t bucket_size = count >= kBucketingFromCount ? kBucketSize : points.n;
  extend_bucketed(points, target, bucket_size, executor, result);
}

}  // namespace

Indices sample_centroid_fps_bucketed(const PointSet& points, std::uint64_t count,
                                     std::size_t bucket_size, const Executor& executor) {
  Indices result = start_at_centroid(points, count, executor);
  extend_bucketed(points, std::min<std::uint64_t>(points.n, count), bucket_size, executor, result);
  return result;
}

std::size_t sample_centroid_fps_buckets(const PointSet& points, std::size_t bucket_size) {
  if (points.n == 0) return 0;
  bucket_size = std::max<std::size_t>(bucket_size, 1);
  if (points.n > std::numeric_limits<std::uint32_t>::max()) bucket_size = points.n;
  return build_tree<0>(points, bucket_size, Executor()).buckets;
}

Indices sample_centroid_fps(const PointSet& points, std::uint64_t count, std::uint64_t /*seed*/,
                            const Executor& executor) {
  Indices result = start_at_centroid(points, count, executor);
  extend(points, count, executor, result);
  return result;
}

Indices sample_centroid_fps_from(const PointSet& points, std::uint64_t count, std::uint64_t start,
                                 const Executor& executor) {
  if (points.n == 0 || count == 0) return {};
  if (start >= points.n) throw Panic("start index out of range");
  // The same failure as the start at the centroid, where a non-finite coordinate ends the call.
  with_rows(points, [&](auto rows) {
    for (std::size_t k = 0; k < points.n * points.d; ++k) {
      if (points.n >= 2 && !std::isfinite(rows[k]))
        throw Panic("called `Option::unwrap()` on a `None` value");
    }
  });
  Indices result = {start};
  result.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(points.n, count)));
  extend(points, count, executor, result);
  return result;
}

}  // namespace vorn
