// Signed volume of a convex polyhedron as a sum of tetrahedra against the mean of its points.
// Faces are fanned from their first vertex and every sum runs in face and fan order (or triangle
// order): results are compared bit for bit.
#pragma once

#include "hull/convex_polyhedron.h"

namespace vorn {

// polyhedron: m >= 1 points, its faces and the triangles it was built from.
// When faces_sound, each face (w0, ..., w(q-1)) gives the triangles (w0, wj, wj+1),
// j = 1 .. q-2, in face order; otherwise the polyhedron's own triangles are used, in their
// order. Each triangle (a, b, e) adds the signed volume det(A, B, E) / 6 with A = P[a] - c
// (likewise B, E) and c = points_center of all m points, also those on no face.
// Positive for outward-wound faces. Never fails.
float polyhedron_volume(const ConvexPolyhedron& polyhedron);

}  // namespace vorn
