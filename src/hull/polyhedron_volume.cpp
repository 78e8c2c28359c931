// Signed volume of a convex polyhedron as a sum of tetrahedra against the mean of its points.
// Faces are fanned from their first vertex and every sum runs in face and fan order (or triangle
// order): results are compared bit for bit.
#include "hull/polyhedron_volume.h"

#include "hull/center_cov.h"

namespace vorn {

namespace {

// Signed volume of the tetrahedron (c, a, b, e), given A = a - c, B = b - c, E = e - c.
float tetrahedron_volume(Vec3f A, Vec3f B, Vec3f E) {
  // Expanded along A's coordinates in exactly this grouping, then divided (not multiplied
  // by a reciprocal).
  return ((A.x * (B.y * E.z - B.z * E.y) - B.x * (A.y * E.z - A.z * E.y)) +
          E.x * (A.y * B.z - A.z * B.y)) /
         6.0f;
}

float triangle_volume(const ConvexPolyhedron& polyhedron) {
  const std::vector<Vec3f>& P = polyhedron.points;
  const Vec3f c = points_center(P);
  float volume = 0.0f;
  for (const Triangle& t : polyhedron.triangles) {
    volume = volume + tetrahedron_volume(P[t[0]] - c, P[t[1]] - c, P[t[2]] - c);
  }
  return volume;
}

float face_fan_volume(const ConvexPolyhedron& polyhedron) {
  const std::vector<Vec3f>& P = polyhedron.points;
  const Vec3f c = points_center(P);
  float volume = 0.0f;
  for (const ConvexPolyhedron::Face& face : polyhedron.faces) {
    const std::size_t* w = polyhedron.face_vertices.data() + face.first;
    const Vec3f A = P[w[0]] - c;
    for (std::size_t j = 1; j + 1 < face.count; ++j) {
      volume = volume + tetrahedron_volume(A, P[w[j]] - c, P[w[j + 1]] - c);
    }
  }
  return volume;
}

}  // namespace

float polyhedron_volume(const ConvexPolyhedron& polyhedron) {
  return polyhedron.faces_sound ? face_fan_volume(polyhedron) : triangle_volume(polyhedron);
}

}  // namespace vorn
