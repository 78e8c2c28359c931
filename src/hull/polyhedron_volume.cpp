// Signed volume of a convex polyhedron as a sum of tetrahedra against the mean of its points.
// Faces are fanned from their first vertex and every sum runs in face and fan order: results are compared bit for bit.
#include "hull/polyhedron_volume.h"

#include "hull/center_cov.h"

namespace vorn {

float polyhedron_volume(const ConvexPolyhedron& polyhedron) {
  const std::vector<Vec3f>& P = polyhedron.points;
  const Vec3f c = points_center(P);
  float volume = 0.0f;
  for (const ConvexPolyhedron::Face& face : polyhedron.faces) {
    const std::size_t* w = polyhedron.face_vertices.data() + face.first;
    const Vec3f A = P[w[0]] - c;
    for (std::size_t j = 1; j + 1 < face.count; ++j) {
      const Vec3f B = P[w[j]] - c;
      const Vec3f E = P[w[j + 1]] - c;
      // Expanded along A's coordinates in exactly this grouping, then divided (not
      // multiplied by a reciprocal).
      const float t = ((A.x * (B.y * E.z - B.z * E.y) - B.x * (A.y * E.z - A.z * E.y)) +
                       E.x * (A.y * B.z - A.z * B.y)) /
                      6.0f;
      volume = volume + t;
    }
  }
  return volume;
}

}  // namespace vorn
