// A convex polyhedron with polygonal faces, built from a closed triangle mesh by merging nearly
// coplanar neighbours. Faces are found in triangle order and each lists its boundary from the first
// kept edge of its first triangle: the volume sums follow that order.
#include "hull/convex_polyhedron.h"

#include <cmath>
#include <cstdint>
#include <numeric>

#include "base/key_numbering.h"
#include "base/panic.h"
#include "hull/convex_hull3.h"
#include "hull/tolerances.h"

namespace vorn {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

struct MeshTriangle {
  Triangle vertices{};
  std::array<std::size_t, 3> edges{};
  Vec3f normal;
  std::size_t face = kNone;
};

struct MeshEdge {
  std::size_t first = 0;       // the triangle that created it
  std::size_t second = kNone;  // the triangle on its other side
  bool deleted = false;
};

// An edge by its two endpoints, the lower first, so that both directions find it.
struct EdgeEnds {
  std::uint64_t lo = 0, hi = 0;
  bool operator==(const EdgeEnds& o) const { return lo == o.lo && hi == o.hi; }
};

struct EdgeEndsHash {
  std::uint64_t operator()(const EdgeEnds& e) const {
    const std::uint64_t h = (e.lo * 0x9E3779B97F4A7C15ull) ^ (e.hi * 0xC2B2AE3D27D4EB4Full);
    return h ^ (h >> 29);
  }
};

// Edge ids by their endpoints; ids follow creation order alone.
using EdgeMap = KeyNumbering<EdgeEnds, EdgeEndsHash>;

// One walk of the face loop, kept as a face or not.
struct FaceWalk {
  std::size_t start;  // the triangle it started from
  std::size_t count;  // kept edges collected
};

// Representative of t's region; halves the path on the way.
std::size_t region_of(std::vector<std::size_t>& parent, std::size_t t) {
  while (parent[t] != t) {
    parent[t] = parent[parent[t]];
    t = parent[t];
  }
  return t;
}

// Whether every region of triangles joined through deleted edges gave exactly one kept
// face that walked its whole boundary once, and every triangle of the region is within
// the merging angle of the triangle that started the face. O(triangles).
bool sound_faces(const std::vector<MeshTriangle>& tris, const std::vector<MeshEdge>& edges,
                 const std::vector<FaceWalk>& walks) {
  std::vector<std::size_t> parent(tris.size());
  std::iota(parent.begin(), parent.end(), std::size_t{0});
  for (const MeshEdge& e : edges) {
    if (!e.deleted) continue;
    const std::size_t a = region_of(parent, e.first);
    const std::size_t b = region_of(parent, e.second);
    if (a != b) parent[a < b ? b : a] = a < b ? a : b;
  }

  std::vector<std::size_t> walk_of(tris.size(), kNone);
  for (std::size_t w = 0; w < walks.size(); ++w) {
    const std::size_t r = region_of(parent, walks[w].start);
    if (walk_of[r] != kNone || walks[w].count < 3) return false;
    walk_of[r] = w;
  }

  // Kept edges of each region, counted once from each of its triangles that borders one.
  std::vector<std::size_t> boundary(tris.size(), 0);
  for (std::size_t t = 0; t < tris.size(); ++t) {
    const std::size_t r = region_of(parent, t);
    const std::size_t w = walk_of[r];
    if (w == kNone) return false;  // a region with no face, e.g. the whole surface
    const std::size_t s = walks[w].start;
    if (t != s && !(dot(tris[t].normal, tris[s].normal) > coplanar_dot())) return false;
    for (const std::size_t e : tris[t].edges) {
      if (edges[e].deleted) continue;
      const std::size_t other = edges[e].first == t ? edges[e].second : edges[e].first;
      if (region_of(parent, other) == r) return false;  // a kept edge inside the region
      ++boundary[r];
    }
  }
  for (const FaceWalk& w : walks) {
    if (boundary[region_of(parent, w.start)] != w.count) return false;
  }
  return true;
}

constexpr std::size_t kPollEvery = 4096;  // triangles

// The unit direction of b - a, or (1, 0, 0) for an edge too short to normalise.
Vec3f edge_direction(Vec3f a, Vec3f b) {
  const Vec3f d = b - a;
  const float q = (d.x * d.x + d.y * d.y) + d.z * d.z;
  if (!(q > min_squared_length())) return {1.0f, 0.0f, 0.0f};
  const float len = std::sqrt(q);
  return {d.x / len, d.y / len, d.z / len};
}

// The unit normal of a triangle, or zero for a degenerate one, whose zero normal never
// passes the coplanarity test.
Vec3f triangle_normal(Vec3f a, Vec3f b, Vec3f c) {
  const Vec3f n = cross(b - a, c - a);
  const float q = n.z * n.z + (n.x * n.x + n.y * n.y);
  if (!(q > min_squared_length())) return {};
  const float len = std::sqrt(q);
  return {n.x / len, n.y / len, n.z / len};
}

// The mesh under merging: its triangles and edges, and the polyhedron being filled in.
struct Merger {
  const std::vector<Vec3f>& P;
  ConvexPolyhedron& poly;
  std::vector<MeshTriangle> tris;
  std::vector<MeshEdge> edges;
  std::vector<FaceWalk> walks;

  // Edges in creation order, each joined to the triangles on its two sides. False for a
  // triangle with a repeated index, an edge of three triangles, or an edge of one.
  bool link(const std::vector<Triangle>& triangles, const Executor& executor) {
    tris.resize(triangles.size());
    EdgeMap edge_map(3 * triangles.size() / 2 + 1);  // a closed mesh's edges
    for (std::size_t t = 0; t < triangles.size(); ++t) {
      if (t % kPollEvery == 0) executor.poll();
      const Triangle& v = triangles[t];
      if (v[0] == v[1] || v[1] == v[2] || v[0] == v[2]) return false;
      tris[t].vertices = v;
      for (int k = 0; k < 3; ++k) {
        const std::size_t a = v[k], b = v[(k + 1) % 3];
        const std::uint64_t found =
            edge_map.find_or_add({a < b ? a : b, a < b ? b : a}, edges.size());
        if (found == EdgeMap::kNew) {
          tris[t].edges[k] = edges.size();
          edges.push_back({t, kNone, false});
          poly.edges.push_back({{a, b}, edge_direction(P[a], P[b])});
        } else if (edges[found].second == kNone) {
          edges[found].second = t;
          tris[t].edges[k] = found;
        } else {
          return false;  // a third triangle on one edge
        }
      }
      tris[t].normal = triangle_normal(P[v[0]], P[v[1]], P[v[2]]);
    }
    for (std::size_t k = 0; k < edges.size(); ++k) {
      if (edges[k].second == kNone) return false;  // an open mesh
      poly.edges[k].triangles = {edges[k].first, edges[k].second};
    }
    return true;
  }

  void delete_coplanar_edges() {
    for (MeshEdge& e : edges) {
      e.deleted = dot(tris[e.first].normal, tris[e.second].normal) > coplanar_dot();
    }
  }

  // The face that triangle i starts at its first kept edge k: the boundary of its region of
  // coplanar triangles, crossing deleted edges and collecting the kept ones with the
  // vertices they leave from. Returns its vertex count.
  std::size_t walk_face(std::size_t i, int k, std::size_t id) {
    poly.face_edges.push_back(tris[i].edges[k]);
    poly.face_vertices.push_back(tris[i].vertices[k]);
    const std::size_t start = tris[i].vertices[k];
    std::size_t count = 1, cur = i;
    int j = (k + 1) % 3;
    while (tris[cur].vertices[j] != start) {
      const std::size_t e = tris[cur].edges[j];
      const std::size_t v = tris[cur].vertices[j];
      tris[cur].face = id;
      if (!edges[e].deleted) {
        poly.face_edges.push_back(e);
        poly.face_vertices.push_back(v);
        ++count;
        j = (j + 1) % 3;
        continue;
      }
      cur = edges[e].first == cur ? edges[e].second : edges[e].first;
      int pos = 0;
      while (pos < 3 && tris[cur].edges[pos] != e) ++pos;
      if (pos == 3) throw Panic("internal error: entered unreachable code");
      j = (pos + 1) % 3;
      if (tris[cur].vertices[j] != v) {
        throw Panic(
            "assertion failed: triangles[curr_triangle].vertices[curr_edge_id] == curr_vertex");
      }
    }
    return count;
  }

  // One face per triangle that no earlier face absorbed and that has a kept edge.
  void build_faces(const Executor& executor) {
    for (std::size_t i = 0; i < tris.size(); ++i) {
      if (i % kPollEvery == 0) executor.poll();
      if (tris[i].face != kNone) continue;
      int k = 0;
      while (k < 3 && edges[tris[i].edges[k]].deleted) ++k;
      if (k == 3) continue;  // inside a merged region
      ConvexPolyhedron::Face face;
      face.first = poly.face_vertices.size();
      face.normal = tris[i].normal;
      face.count = walk_face(i, k, poly.faces.size());
      // A face of fewer than three vertices is not kept; its list entries stay unreferenced
      // and the next face reuses its id.
      if (face.count >= 3) poly.faces.push_back(face);
      walks.push_back({i, face.count});
    }
  }
};

}  // namespace

std::optional<ConvexPolyhedron> ConvexPolyhedron::from_convex_hull(
    const std::vector<Vec3f>& points) {
  std::optional<HullMesh> mesh = try_convex_hull(points);
  if (!mesh) return std::nullopt;
  return from_convex_mesh(std::move(mesh->points), std::move(mesh->triangles));
}

std::optional<ConvexPolyhedron> ConvexPolyhedron::from_convex_mesh(std::vector<Vec3f> points,
                                                                   std::vector<Triangle> triangles,
                                                                   const Executor& executor) {
  if (points.size() + triangles.size() < 3) return std::nullopt;
  ConvexPolyhedron poly;
  Merger merger{points, poly, {}, {}, {}};
  if (!merger.link(triangles, executor)) return std::nullopt;
  merger.delete_coplanar_edges();
  merger.build_faces(executor);
  poly.faces_sound = sound_faces(merger.tris, merger.edges, merger.walks);
  poly.points = std::move(points);
  poly.triangles = std::move(triangles);
  return poly;
}

}  // namespace vorn
