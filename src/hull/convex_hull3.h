// Convex hull of a single-precision three-dimensional cloud as a closed triangle mesh, by
// incremental quickhull. Every decision is taken on a normalised copy in a fixed visiting order
// with earliest-wins ties; the mesh's order, and so every volume bit, follows from them.
#pragma once

#include <optional>
#include <vector>

#include "base/executor.h"
#include "hull/float_types.h"
#include "hull/triangle.h"

namespace vorn {

struct HullMesh {
  std::vector<Vec3f> points;        // the caller's coordinates of the points the triangles use
  std::vector<Triangle> triangles;  // counter-clockwise seen from outside
  int dimension = 3;                // of the cloud by its covariance: below 3, a degenerate mesh
  // For a full hull: the visibility distance in the caller's units, with the rounding of the
  // normalised coordinates allowed for. Points closer than this outside the mesh may have
  // been left out of it.
  double visibility = 0.0;
};

// points: n points (x, y, z).
// Returns the hull mesh, or nothing on failure: n < 3, coordinates whose normalisation is
// not a number (all points at one position, or non-finite input), a cloud whose points all
// lie on one line within rounding, or an inconsistent horizon.
// Clouds of lower dimension return at once with a degenerate mesh: one point with the
// triangles (0, 0, 0) twice; a segment with (0, 1, 0) and (1, 0, 0); a flat polygon of m
// vertices fanned once from vertex 0 and once, reversed, from vertex m - 1 (2m - 4 triangles).
// A full hull uses only its vertices, reordered by remove_unused_points.
// Points inside the hull or within 1.1920929e-05 (normalised) of its surface are not vertices.
// Throws Panic("Failed to build the 2d convex hull of this point cloud.") for a flat cloud
// whose projections coincide, and
// Panic("assertion failed: !triangles[triangles[middle_facet].adj[middle_id]].valid")
// when a horizon edge still borders a live facet, and Panic::interrupted() when the executor
// is stopped (it is polled once per added vertex).
std::optional<HullMesh> try_convex_hull(const std::vector<Vec3f>& points,
                                        const Executor& executor = Executor());

}  // namespace vorn
