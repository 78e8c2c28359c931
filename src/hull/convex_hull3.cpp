// Convex hull of a single-precision three-dimensional cloud as a closed triangle mesh, by
// incremental quickhull. Every decision is taken on a normalised copy in a fixed visiting order
// with earliest-wins ties; the mesh's order, and so every volume bit, follows from them.
#include "hull/convex_hull3.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "base/panic.h"
#include "hull/center_cov.h"
#include "hull/compute_silhouette.h"
#include "hull/convex_hull2.h"
#include "hull/first_argmax.h"
#include "hull/remove_unused_points.h"
#include "hull/support_point_id.h"
#include "hull/symmetric_eigen.h"
#include "hull/tolerances.h"
#include "hull/triangle_area.h"
#include "hull/triangle_facet.h"

namespace vorn {

namespace {

struct Normalised {
  std::vector<Vec3f> points;
  float diag;  // the divisor: the bounding-box diagonal
};

// Centres the cloud's bounding box on the origin and divides by the box diagonal.
// Coincident points give diag = 0 and NaN coordinates, which later stops the build.
Normalised normalize(const std::vector<Vec3f>& input) {
  std::vector<Vec3f> out(input);
  Vec3f mins = out[0];
  Vec3f maxs = out[0];
  for (const Vec3f& p : out) {
    if (p.x < mins.x) mins.x = p.x;
    if (p.y < mins.y) mins.y = p.y;
    if (p.z < mins.z) mins.z = p.z;
    if (p.x > maxs.x) maxs.x = p.x;
    if (p.y > maxs.y) maxs.y = p.y;
    if (p.z > maxs.z) maxs.z = p.z;
  }
  const Vec3f d = maxs - mins;
  // z first, as in the facet normals.
  const float diag = std::sqrt(d.z * d.z + (d.x * d.x + d.y * d.y));
  const Vec3f centre{(maxs.x + mins.x) * 0.5f, (maxs.y + mins.y) * 0.5f, (maxs.z + mins.z) * 0.5f};
  for (Vec3f& p : out) {
    p = {(p.x - centre.x) / diag, (p.y - centre.y) / diag, (p.z - centre.z) / diag};
  }
  return {std::move(out), diag};
}

struct Axes {
  float values[3];
  Vec3f vectors[3];
};

// Eigenpairs by decreasing eigenvalue. An insertion sort that moves an entry only past a
// strictly smaller one: stable, and a NaN (compared false) stays where it is.
Axes sorted_axes(const Mat3f& covariance) {
  const SymmetricEigen eig = symmetric_eigen(covariance);
  Axes a;
  for (int k = 0; k < 3; ++k) {
    a.values[k] = eig.eigenvalues[k];
    a.vectors[k] = eig.eigenvectors.column(k);
  }
  for (int i = 1; i < 3; ++i) {
    for (int j = i; j > 0 && a.values[j] > a.values[j - 1]; --j) {
      std::swap(a.values[j], a.values[j - 1]);
      std::swap(a.vectors[j], a.vectors[j - 1]);
    }
  }
  return a;
}

bool counts_as_zero(float lambda) {
  return lambda == 0.0f || (std::isfinite(lambda) && std::fabs(lambda) <= zero_eigenvalue_bound());
}

// The number of leading eigenvalues that are not zero; NaN counts as non-zero.
int cloud_dimension(const Axes& axes) {
  int dim = 0;
  while (dim < 3 && !counts_as_zero(axes.values[dim])) ++dim;
  return dim;
}

// The index of the largest dot(direction, points[i]); index 0 is the first candidate and a
// later index wins only when strictly greater.
std::size_t extreme_point(Vec3f direction, const std::vector<Vec3f>& points) {
  const std::optional<std::size_t> later =
      first_argmax(points.size() - 1, dot(direction, points[0]),
                   [&](std::size_t i) { return dot(direction, points[i + 1]); });
  return later ? *later + 1 : 0;
}

float length(Vec3f v) {
  return std::sqrt(dot(v, v));
}

// The polygon of a flat cloud, seen from both sides: one fan from vertex 0 and one,
// wound the other way, from vertex m - 1.
HullMesh flat_mesh(const std::vector<Vec3f>& input, const std::vector<Vec3f>& normalised, Vec3f e0,
                   Vec3f e1, const Executor& executor) {
  std::vector<Vec2f> projected(normalised.size());
  for (std::size_t i = 0; i < normalised.size(); ++i) {
    projected[i] = {dot(normalised[i], e0), dot(normalised[i], e1)};
  }
  const std::vector<std::size_t> idx = convex_hull2_idx(projected, executor);
  HullMesh mesh;
  const std::size_t m = idx.size();
  mesh.points.reserve(m);
  for (std::size_t k : idx) mesh.points.push_back(input[k]);
  for (std::size_t k = 1; k + 1 < m; ++k) mesh.triangles.push_back({0, k, k + 1});
  for (std::size_t k = 0; k + 2 < m; ++k) mesh.triangles.push_back({m - 1, k + 1, k});
  mesh.dimension = 2;
  return mesh;
}

// The hull under construction, on the twice-normalised cloud.
class HullBuilder {
 public:
  HullBuilder(std::vector<Vec3f> points, const Executor& executor)
      : executor_(executor), points_(std::move(points)), end_count_(points_.size(), 0) {}

  // The first two facets and the first assignment of points. False when no start
  // triangle exists.
  bool start(Vec3f e0) {
    const std::optional<std::size_t> s1 = support_point_id(e0, points_);
    const std::optional<std::size_t> s2 = support_point_id(-e0, points_);
    if (!s1 || !s2) return false;
    const std::size_t p1 = *s1;
    const std::size_t p2 = *s2;

    // The third point spans the largest triangle with the first two; the first of equal
    // areas wins.
    const Vec3f a = points_[p1];
    const Vec3f b = points_[p2];
    const float ab = length(b - a);
    const std::optional<std::size_t> s3 = first_argmax(points_.size(), 0.0f, [&](std::size_t i) {
      return triangle_area(ab, length(points_[i] - b), length(a - points_[i]));
    });
    if (!s3) return false;  // no triangle found: the cloud is a line within rounding
    const std::size_t p3 = *s3;

    facets_.push_back(make_facet(points_, p1, p2, p3));
    facets_.push_back(make_facet(points_, p2, p1, p3));
    facets_[0].neighbours = {1, 1, 1};
    facets_[0].neighbour_edge = {0, 2, 1};
    facets_[1].neighbours = {0, 0, 0};
    facets_[1].neighbour_edge = {0, 2, 1};

    const Vec3f c = points_[p3];
    for (std::size_t k = 0; k < points_.size(); ++k) {
      const Vec3f p = points_[k];
      if (p == a || p == b || p == c) continue;
      const std::optional<std::size_t> f = facet_outside(0, 2, k);
      if (f) {
        facets_[*f].visible.push_back(k);
      } else {
        undecidable_.push_back(k);
      }
    }
    return true;
  }

  // Grows the hull until no facet has points outside. False on an inconsistent horizon.
  bool grow() {
    for (std::size_t i = 0; i < facets_.size(); ++i) {
      executor_.poll();
      {
        const TriangleFacet& f = facets_[i];
        if (!f.valid || f.degenerate || f.visible.empty()) continue;
      }
      const std::optional<std::size_t> sp =
          support_point_id(facets_[i].normal, points_, facets_[i].visible);
      if (!sp) continue;
      const std::size_t p = *sp;

      compute_silhouette(facets_, i, points_, p, silhouette_, removed_);
      if (!repair_silhouette()) return false;

      if (silhouette_.empty()) {
        for (std::size_t j = i + 1; j < facets_.size(); ++j) {
          if (facets_[j].valid && !facets_[j].degenerate) return false;  // unfinished work
        }
        facets_[i].valid = true;
        return true;
      }

      const std::size_t first_new = facets_.size();
      add_facets(p);
      const std::size_t last_new = facets_.size();
      redistribute(p, first_new, last_new);
      assign_undecidable(first_new, last_new);
    }
    return true;
  }

  // The triangles of the live facets, in facet order.
  std::vector<Triangle> triangles() const {
    std::vector<Triangle> out;
    for (const TriangleFacet& f : facets_) {
      if (f.valid) out.push_back(f.vertices);
    }
    return out;
  }

 private:
  // Among facets [first, last) that are not degenerate, the first farthest above which
  // point k lies, if it lies there by at least the visibility distance.
  std::optional<std::size_t> facet_outside(std::size_t first, std::size_t last,
                                           std::size_t k) const {
    float best = 0.0f;
    std::optional<std::size_t> chosen;
    for (std::size_t f = first; f < last; ++f) {
      if (facets_[f].degenerate) continue;
      const float d = facet_distance(facets_[f], points_, k);
      if (d > best) {
        best = d;
        chosen = f;
      }
    }
    if (chosen && best >= visibility_distance()) return chosen;
    return std::nullopt;
  }

  std::size_t end_vertex(const SilhouetteEdge& s) const {
    return facets_[s.first].vertices[(s.second + 1) % 3];
  }
  std::size_t start_vertex(const SilhouetteEdge& s) const {
    return facets_[s.first].vertices[s.second];
  }

  void remove_facet(std::size_t f) {
    if (facets_[f].valid) {
      facets_[f].valid = false;
      removed_.push_back(f);
    }
  }

  // A horizon that passes a vertex twice is cut down to one simple loop: from a start
  // entry whose end vertex occurs once, every detour that leaves through a repeated
  // vertex is dropped until the walk comes back to it, and its kept facets are removed
  // too. False when no start can be searched.
  bool repair_silhouette() {
    bool repeated = false;
    for (const SilhouetteEdge& s : silhouette_) {
      if (++end_count_[end_vertex(s)] > 1) repeated = true;
    }
    const bool ok = !repeated || cut_silhouette();
    for (const SilhouetteEdge& s : silhouette_) end_count_[end_vertex(s)] = 0;
    for (const SilhouetteEdge& s : cut_) end_count_[end_vertex(s)] = 0;
    cut_.clear();
    return ok;
  }

  bool cut_silhouette() {
    const std::size_t m = silhouette_.size();
    std::size_t start = 0;
    for (std::size_t a = 0; a < m; ++a) {
      const Vec3f dir = points_[start_vertex(silhouette_[a])] - points_[end_vertex(silhouette_[a])];
      const std::optional<std::size_t> b = first_argmax(m, lowest_float(), [&](std::size_t j) {
        return dot(dir, points_[end_vertex(silhouette_[j])]);
      });
      if (!b) return false;
      if (end_count_[end_vertex(silhouette_[*b])] == 1) {
        start = *b;
        break;
      }
    }

    // The counts are cleared from the old entries afterwards, so keep them.
    cut_.swap(silhouette_);
    silhouette_.clear();
    bool dropping = false;
    std::size_t remembered = 0;
    for (std::size_t t = 0; t < m; ++t) {
      const SilhouetteEdge s = cut_[(start + t) % m];
      const std::size_t end = end_vertex(s);
      bool keep;
      if (!dropping) {
        keep = end_count_[end] <= 1;
        if (!keep) {
          remembered = end;
          dropping = true;
        }
      } else {
        keep = end == remembered;
        if (keep) dropping = false;
      }
      if (keep) {
        silhouette_.push_back(s);
      } else {
        remove_facet(s.first);
      }
    }
    return true;
  }

  // One new facet (p, end, start) per horizon edge, in horizon order, each joined to its
  // kept facet and to the new facets before and after it.
  void add_facets(std::size_t p) {
    const std::size_t first = facets_.size();
    const std::size_t m = silhouette_.size();
    for (std::size_t k = 0; k < m; ++k) {
      const auto [f, e] = silhouette_[k];
      TriangleFacet nf =
          make_facet(points_, p, end_vertex(silhouette_[k]), start_vertex(silhouette_[k]));
      nf.neighbours = {first + (k + m - 1) % m, f, first + (k + 1) % m};
      nf.neighbour_edge = {2, static_cast<std::uint8_t>(e), 0};
      if (facets_[facets_[f].neighbours[e]].valid) {
        throw Panic("assertion failed: !triangles[triangles[middle_facet].adj[middle_id]].valid");
      }
      facets_[f].neighbours[e] = first + k;
      facets_[f].neighbour_edge[e] = 1;
      facets_.push_back(std::move(nf));
    }
  }

  // The outside points of the removed facets move to the new facet they lie farthest
  // above; points no new facet sees by the visibility distance are inside and dropped.
  void redistribute(std::size_t p, std::size_t first, std::size_t last) {
    const Vec3f pp = points_[p];
    for (std::size_t r : removed_) {
      std::vector<std::size_t> visible;
      visible.swap(facets_[r].visible);  // the removed facet's list is freed here
      for (std::size_t v : visible) {
        if (points_[v] == pp) continue;
        const std::optional<std::size_t> f = facet_outside(first, last, v);
        if (f) facets_[*f].visible.push_back(v);
      }
    }
  }

  // Undecidable points that a new facet now sees leave the list by swap-with-last.
  void assign_undecidable(std::size_t first, std::size_t last) {
    std::size_t j = 0;
    while (j < undecidable_.size()) {
      const std::size_t u = undecidable_[j];
      const std::optional<std::size_t> f = facet_outside(first, last, u);
      if (f) {
        facets_[*f].visible.push_back(u);
        undecidable_[j] = undecidable_.back();
        undecidable_.pop_back();
      } else {
        ++j;
      }
    }
  }

  const Executor& executor_;
  std::vector<Vec3f> points_;
  std::vector<TriangleFacet> facets_;
  std::vector<std::size_t> undecidable_;
  std::vector<SilhouetteEdge> silhouette_;
  std::vector<SilhouetteEdge> cut_;
  std::vector<std::size_t> removed_;
  std::vector<std::uint32_t> end_count_;  // per point, zero between horizons
};

}  // namespace

std::optional<HullMesh> try_convex_hull(const std::vector<Vec3f>& input, const Executor& executor) {
  if (input.size() < 3) return std::nullopt;

  Normalised normal = normalize(input);
  std::vector<Vec3f>& normalised = normal.points;
  const CenterCov cc = center_cov(normalised);
  const Axes axes = sorted_axes(cc.covariance);

  switch (cloud_dimension(axes)) {
    case 0: {
      HullMesh mesh;
      mesh.points = {input[0]};
      mesh.triangles = {{0, 0, 0}, {0, 0, 0}};
      mesh.dimension = 0;
      return mesh;
    }
    case 1: {
      // Along the caller's coordinates, not the normalised ones.
      const std::size_t p1 = extreme_point(axes.vectors[0], input);
      const std::size_t p2 = extreme_point(-axes.vectors[0], input);
      HullMesh mesh;
      mesh.points = {input[p1], input[p2]};
      mesh.triangles = {{0, 1, 0}, {1, 0, 0}};
      mesh.dimension = 1;
      return mesh;
    }
    case 2: return flat_mesh(input, normalised, axes.vectors[0], axes.vectors[1], executor);
    default: break;
  }

  // Rescale so that the spread along the main axis is about one.
  const float scale = std::fmax(std::fmax(std::fabs(axes.values[0]), std::fabs(axes.values[1])),
                                std::fabs(axes.values[2]));
  const Vec3f c = cc.center;
  for (Vec3f& p : normalised) {
    p = {(p.x - c.x) / scale, (p.y - c.y) / scale, (p.z - c.z) / scale};
  }

  HullBuilder builder(std::move(normalised), executor);
  if (!builder.start(axes.vectors[0]) || !builder.grow()) return std::nullopt;

  HullMesh mesh;
  mesh.points = input;
  mesh.triangles = builder.triangles();
  mesh.visibility = (100.0 * scale + kDistanceRounding) * double(float_epsilon()) * normal.diag;
  remove_unused_points(mesh.points, mesh.triangles);
  return mesh;
}

}  // namespace vorn
