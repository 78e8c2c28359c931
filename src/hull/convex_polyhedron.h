// A convex polyhedron with polygonal faces, built from a closed triangle mesh by merging nearly
// coplanar neighbours. Faces are found in triangle order and each lists its boundary from the first
// kept edge of its first triangle: the volume sums follow that order.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "base/executor.h"
#include "hull/float_types.h"
#include "hull/triangle.h"

namespace vorn {

struct ConvexPolyhedron {
  struct Face {
    std::size_t first = 0;  // position of its first vertex in face_vertices
    std::size_t count = 0;  // number of vertices, >= 3
    Vec3f normal;           // the unit normal of the triangle the face started from
  };
  struct Edge {
    std::array<std::size_t, 2> vertices{};   // in the order of the triangle that created it
    Vec3f direction;                         // unit, or (1, 0, 0) for a too-short edge
    std::array<std::size_t, 2> triangles{};  // the triangle that created it, then the other
  };

  std::vector<Vec3f> points;               // the mesh's points, also those on no face
  std::vector<Triangle> triangles;         // the mesh it was built from, in its order
  std::vector<Face> faces;                 // in creation order
  std::vector<std::size_t> face_vertices;  // each face counter-clockwise seen from outside
  std::vector<std::size_t> face_edges;     // parallel: the edge leaving each face vertex
  std::vector<Edge> edges;
  // True when the faces describe the surface faithfully: each region of triangles joined
  // through merged edges became exactly one face, walked once around its whole boundary,
  // and every triangle of the region lies within the merging angle of the face's normal.
  // Chained merging breaks this on dense smooth surfaces, where a region drifts around the
  // curve or touches itself; the faces are then not planar polygons and only the triangles
  // give the volume.
  bool faces_sound = false;

  // points: n points (x, y, z). The polyhedron of their hull (try_convex_hull), or nothing
  // when the hull fails or is not a proper solid (flat clouds give a two-faced one).
  // Propagates the Panics of try_convex_hull and from_convex_mesh.
  static std::optional<ConvexPolyhedron> from_convex_hull(const std::vector<Vec3f>& points);

  // points: the mesh's points; triangles: index triples into them, counter-clockwise seen
  // from outside. Merges every pair of adjacent triangles whose unit normals have a dot
  // product above 0.9996547 (about 1.5 degrees); merging chains across neighbours.
  // Gives nothing when points and triangles together number fewer than 3, when a triangle
  // repeats an index, or when an edge does not border exactly two triangles.
  // Keeps the triangles and sets faces_sound; the face structure does not depend on it.
  // Throws Panic("internal error: entered unreachable code") or
  // Panic("assertion failed: triangles[curr_triangle].vertices[curr_edge_id] == curr_vertex")
  // when the merged regions cannot be walked around, and Panic::interrupted() when the
  // executor is stopped.
  static std::optional<ConvexPolyhedron> from_convex_mesh(std::vector<Vec3f> points,
                                                          std::vector<Triangle> triangles,
                                                          const Executor& executor = Executor());
};

}  // namespace vorn
