// Whether the volume of a hull polyhedron can stand for the volume of the hull of the points.
// Cheap next to building the hull: passes over the polyhedron's points, edges and triangles only.
#pragma once

#include "hull/convex_polyhedron.h"

namespace vorn {

// polyhedron: from from_convex_mesh; volume: polyhedron_volume(polyhedron); visibility: the
// distance, in the points' units, within which the construction may have left points outside
// the mesh (HullMesh::visibility).
// True when the mesh is convex (no triangle's neighbour rises above its plane by more than
// kReflexHeight of the points' bounding-box diagonal), every summed tetrahedron against the
// points' centre is positive, the float volume is within kSumDrift of the double sum of the
// same tetrahedra, that sum is within kShortfall of the hull it may fall short of, and it is
// no larger than the points can span (their bounding box, and the ball about their centre
// through the farthest of them). The shortfall is what fanning the merged faces cuts away
// from the mesh's triangles (their difference in double) plus the band outside the mesh
// within the visibility distance: area * t + sum over edges of length * t^2 * tan(turn / 2),
// infinite where the mesh folds back. Never fails.
bool polyhedron_volume_is_sound(const ConvexPolyhedron& polyhedron, float volume,
                                double visibility);

}  // namespace vorn
