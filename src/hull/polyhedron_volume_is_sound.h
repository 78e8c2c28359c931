// Whether the volume of a hull polyhedron can stand for the volume of the hull of the points.
// Cheap next to building the hull: passes over the polyhedron's points, edges and summed triangles
// only.
#pragma once

#include "hull/convex_polyhedron.h"

namespace vorn {

// polyhedron: from from_convex_mesh; volume: polyhedron_volume(polyhedron).
// True when the mesh is convex (no triangle's neighbour rises above its plane by more than
// kReflexHeight of the points' bounding-box diagonal), every summed tetrahedron against the
// points' centre is positive, the float volume is within kSumDrift of the double sum of the
// same tetrahedra, and it is no larger than the points can span (their bounding box, and
// the ball about their centre through the farthest of them). Never fails.
bool polyhedron_volume_is_sound(const ConvexPolyhedron& polyhedron, float volume);

}  // namespace vorn
