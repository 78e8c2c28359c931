// Volume of the exact convex hull of a single-precision 3-d cloud: quickhull with exact orientation
// signs. Every visibility test is exact, so the hull is the true hull of the float points; only the
// final volume is rounded.
#include "hull/robust_hull3_volume.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "base/panic.h"
#include "hull/exact_orient.h"
#include "hull/first_argmax.h"
#include "hull/tolerances.h"
#include "hull/vec3d.h"

namespace vorn {

namespace {

constexpr std::size_t kNil = static_cast<std::size_t>(-1);

struct Face {
  std::array<std::size_t, 3>
      v{};  // counter-clockwise seen from outside; edge k is v[k] -> v[k + 1]
  std::array<std::size_t, 3> nb{};  // the face across edge k
  Orient3dPlane plane{};            // of v0, v1, v2: exact sides, and heights that rank points
  std::size_t outside = kNil;       // first point of its outside list (linked through next_)
  std::size_t farthest = kNil;
  double far_distance = 0.0;
  std::uint64_t mark = 0;  // 2 * stamp: seen from the eye; 2 * stamp + 1: not seen
  bool alive = false;
};

struct Measure {
  double volume = 0.0;
  double area = 0.0;  // of the hull's surface
};

class Quickhull {
 public:
  explicit Quickhull(const std::vector<Vec3f>& input)
      : p_(input.size()), next_(input.size(), kNil), horizon_at_(input.size(), kNil) {
    for (std::size_t i = 0; i < input.size(); ++i) p_[i] = {input[i].x, input[i].y, input[i].z};
  }

  // The hull's volume (six times it is summed in double, then divided once) and surface
  // area. Both 0 for a cloud that does not span three dimensions.
  Measure measure(const Executor& executor) {
    std::array<std::size_t, 4> s{};
    if (!initial_simplex(s)) return {};
    build_simplex(s);
    while (!work_.empty()) {
      executor.poll();
      const std::size_t f = work_.back();
      work_.pop_back();
      if (faces_[f].alive && faces_[f].outside != kNil) add_point(f);
    }
    Vec3d c{};
    for (std::size_t k : s) c = {c[0] + p_[k][0] / 4, c[1] + p_[k][1] / 4, c[2] + p_[k][2] / 4};
    double six = 0.0, twice_area = 0.0;
    for (const Face& f : faces_) {
      if (!f.alive) continue;
      six += dot(sub(p_[f.v[0]], c), cross(sub(p_[f.v[1]], c), sub(p_[f.v[2]], c)));
      const Vec3d n = cross(sub(p_[f.v[1]], p_[f.v[0]]), sub(p_[f.v[2]], p_[f.v[0]]));
      twice_area += std::sqrt(dot(n, n));
    }
    return {six / 6.0, twice_area / 2.0};
  }

 private:
  // The exact side of face f that point q lies on, and its rounded height above it.
  int orient(const Face& f, std::size_t q, double& height) const {
    return orient3d(f.plane, p_[f.v[0]].data(), p_[f.v[1]].data(), p_[f.v[2]].data(), p_[q].data(),
                    height);
  }

  // Four points spanning a tetrahedron: extremes of the widest axis, then the point
  // farthest from their line, then the point farthest from their plane. Rounded distances
  // only choose; exact signs decide whether the cloud is degenerate.
  bool initial_simplex(std::array<std::size_t, 4>& s) const {
    const std::size_t n = p_.size();
    if (n < 4) return false;
    std::size_t lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    for (std::size_t i = 1; i < n; ++i) {
      for (int k = 0; k < 3; ++k) {
        if (p_[i][k] < p_[lo[k]][k]) lo[k] = i;
        if (p_[i][k] > p_[hi[k]][k]) hi[k] = i;
      }
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k) {
      if (p_[hi[k]][k] - p_[lo[k]][k] > p_[hi[axis]][axis] - p_[lo[axis]][axis]) axis = k;
    }
    s[0] = lo[axis];
    s[1] = hi[axis];
    if (p_[s[0]] == p_[s[1]]) return false;  // every point at one position

    const Vec3d d = sub(p_[s[1]], p_[s[0]]);
    s[2] = first_argmax(n, -1.0, [&](std::size_t i) {
             const Vec3d c = cross(d, sub(p_[i], p_[s[0]]));
             return dot(c, c);
           }).value_or(0);
    if (collinear(s[0], s[1], s[2])) {
      std::size_t i = 0;
      while (i < n && collinear(s[0], s[1], i)) ++i;
      if (i == n) return false;
      s[2] = i;
    }

    const Vec3d normal = cross(d, sub(p_[s[2]], p_[s[0]]));
    s[3] = first_argmax(n, -1.0, [&](std::size_t i) {
             return std::fabs(dot(normal, sub(p_[i], p_[s[0]])));
           }).value_or(0);
    auto flat = [&](std::size_t i) {
      return orient3d(p_[s[0]].data(), p_[s[1]].data(), p_[s[2]].data(), p_[i].data()) == 0;
    };
    if (flat(s[3])) {
      std::size_t i = 0;
      while (i < n && flat(i)) ++i;
      if (i == n) return false;
      s[3] = i;
    }
    return true;
  }

  bool collinear(std::size_t a, std::size_t b, std::size_t c) const {
    for (int k = 0; k < 3; ++k) {
      const int x = k, y = (k + 1) % 3;
      const double pa[2] = {p_[a][x], p_[a][y]}, pb[2] = {p_[b][x], p_[b][y]},
                   pc[2] = {p_[c][x], p_[c][y]};
      if (orient2d(pa, pb, pc) != 0) return false;
    }
    return true;
  }

  std::size_t new_face(std::size_t a, std::size_t b, std::size_t c) {
    std::size_t id;
    if (!free_.empty()) {
      id = free_.back();
      free_.pop_back();
    } else {
      id = faces_.size();
      faces_.emplace_back();
    }
    Face& f = faces_[id];
    f = Face{};
    f.v = {a, b, c};
    f.plane = orient3d_plane(p_[a].data(), p_[b].data(), p_[c].data());
    f.alive = true;
    return id;
  }

  // Puts point q, at height h, on face f's outside list, keeping the farthest one.
  void give(std::size_t f, std::size_t q, double h) {
    Face& face = faces_[f];
    if (face.outside == kNil) work_.push_back(f);
    next_[q] = face.outside;
    face.outside = q;
    if (face.farthest == kNil || h > face.far_distance) face.farthest = q, face.far_distance = h;
  }

  // Offers q to the candidate faces in turn; it goes to the first that it lies strictly
  // outside of, or is inside the hull and dropped.
  void assign(const std::vector<std::size_t>& candidates, std::size_t q) {
    for (std::size_t f : candidates) {
      double h;
      if (orient(faces_[f], q, h) > 0) {
        give(f, q, h);
        return;
      }
    }
  }

  void link_all(const std::vector<std::size_t>& ids) {
    for (std::size_t f : ids) {
      for (int k = 0; k < 3; ++k) {
        const std::size_t a = faces_[f].v[k], b = faces_[f].v[(k + 1) % 3];
        for (std::size_t g : ids) {
          for (int j = 0; j < 3; ++j) {
            if (faces_[g].v[j] == b && faces_[g].v[(j + 1) % 3] == a) faces_[f].nb[k] = g;
          }
        }
      }
    }
  }

  void build_simplex(std::array<std::size_t, 4> s) {
    // Wind the base so that the fourth point lies inside, below it.
    if (orient3d(p_[s[0]].data(), p_[s[1]].data(), p_[s[2]].data(), p_[s[3]].data()) > 0) {
      std::swap(s[1], s[2]);
    }
    const std::size_t a = s[0], b = s[1], c = s[2], d = s[3];
    const std::vector<std::size_t> ids = {new_face(a, b, c), new_face(a, d, b), new_face(b, d, c),
                                          new_face(a, c, d)};
    link_all(ids);
    for (std::size_t q = 0; q < p_.size(); ++q) {
      if (q != a && q != b && q != c && q != d) assign(ids, q);
    }
  }

  // Replaces the faces that the farthest outside point of face f sees by a cone of new
  // faces from that point to their horizon, and hands their outside points on.
  void add_point(std::size_t f) {
    const std::size_t eye = faces_[f].farthest;
    find_horizon(f, eye);
    order_horizon();
    build_cone(eye);
    // Free the seen faces first: a new face may reuse a slot only after its list is read.
    for (std::size_t v : visible_) {
      faces_[v].alive = false;
      for (std::size_t q = faces_[v].outside; q != kNil;) {
        const std::size_t next = next_[q];
        if (q != eye) assign(cone_, q);
        q = next;
      }
    }
    for (std::size_t v : visible_) free_.push_back(v);
  }

  // The faces that eye sees, spreading from face f across neighbours (visible_), and the
  // edges between them and the faces it does not see (horizon_).
  void find_horizon(std::size_t f, std::size_t eye) {
    ++stamp_;
    const std::uint64_t seen = 2 * stamp_, unseen = 2 * stamp_ + 1;
    visible_.assign(1, f);
    faces_[f].mark = seen;
    horizon_.clear();
    for (std::size_t i = 0; i < visible_.size(); ++i) {
      const std::size_t v = visible_[i];
      for (int k = 0; k < 3; ++k) {
        const std::size_t g = faces_[v].nb[k];
        if (faces_[g].mark == seen) continue;
        if (faces_[g].mark != unseen) {
          double h;
          if (orient(faces_[g], eye, h) > 0) {
            faces_[g].mark = seen;
            visible_.push_back(g);
            continue;
          }
          faces_[g].mark = unseen;
        }
        horizon_.push_back({v, static_cast<std::size_t>(k)});
      }
    }
  }

  // Chains the horizon edges into one loop by their start vertices (loop_).
  void order_horizon() {
    for (std::size_t h = 0; h < horizon_.size(); ++h) {
      const std::size_t a = faces_[horizon_[h][0]].v[horizon_[h][1]];
      if (horizon_at_[a] != kNil) throw Panic("robust hull: the horizon is not one loop");
      horizon_at_[a] = h;
    }
    loop_.clear();
    std::size_t h = 0;
    do {
      loop_.push_back(h);
      const Face& v = faces_[horizon_[h][0]];
      const std::size_t end = v.v[(horizon_[h][1] + 1) % 3];
      h = horizon_at_[end];
      if (h == kNil || loop_.size() > horizon_.size()) {
        throw Panic("robust hull: the horizon is not one loop");
      }
    } while (h != 0);
    if (loop_.size() != horizon_.size()) throw Panic("robust hull: the horizon is not one loop");
    for (const auto& e : horizon_) horizon_at_[faces_[e[0]].v[e[1]]] = kNil;
  }

  // The cone: new face i = (a_i, b_i, eye) across edge 0 from the kept face, edge 1 to the
  // next new face, edge 2 to the previous one.
  void build_cone(std::size_t eye) {
    const std::size_t m = loop_.size();
    cone_.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
      const auto [v, k] = horizon_[loop_[i]];
      const std::size_t a = faces_[v].v[k], b = faces_[v].v[(k + 1) % 3];
      const std::size_t kept = faces_[v].nb[k];
      cone_[i] = new_face(a, b, eye);
      faces_[cone_[i]].nb[0] = kept;
      Face& g = faces_[kept];
      for (int j = 0; j < 3; ++j) {
        if (g.v[j] == b && g.v[(j + 1) % 3] == a) g.nb[j] = cone_[i];
      }
    }
    for (std::size_t i = 0; i < m; ++i) {
      faces_[cone_[i]].nb[1] = cone_[(i + 1) % m];
      faces_[cone_[i]].nb[2] = cone_[(i + m - 1) % m];
    }
  }

  std::vector<Vec3d> p_;
  std::vector<std::size_t> next_;        // outside lists, linked per point
  std::vector<std::size_t> horizon_at_;  // per point: the horizon edge starting there, or kNil
  std::vector<Face> faces_;
  std::vector<std::size_t> free_;  // slots of removed faces
  std::vector<std::size_t> work_;  // faces that were given outside points
  std::vector<std::size_t> visible_;
  std::vector<std::array<std::size_t, 2>> horizon_;  // (seen face, edge number)
  std::vector<std::size_t> loop_;
  std::vector<std::size_t> cone_;
  std::uint64_t stamp_ = 0;
};

}  // namespace

float robust_hull3_volume(const std::vector<Vec3f>& points, const Executor& executor) {
  const Measure hull = Quickhull(points).measure(executor);
  // Coplanar points rounded to float leave a sliver no thicker than rounding: not a solid.
  double magnitude = 0.0;
  for (const Vec3f& p : points) {
    magnitude = std::max(
        {magnitude, double(std::fabs(p.x)), double(std::fabs(p.y)), double(std::fabs(p.z))});
  }
  if (hull.volume <= kCoplanarVolume * magnitude * hull.area) return 0.0f;
  return round_to_float(hull.volume);
}

}  // namespace vorn
