// Whether the volume of a hull polyhedron can stand for the volume of the hull of the points.
// Cheap next to building the hull: passes over the polyhedron's points, edges and summed triangles
// only.
#include "hull/polyhedron_volume_is_sound.h"

#include <algorithm>
#include <cmath>

#include "hull/center_cov.h"
#include "hull/sound_tolerances.h"

namespace vorn {

namespace {

struct D3 {
  double x, y, z;
};

// a - b in double.
D3 diff(Vec3f a, Vec3f b) {
  return {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z};
}
D3 cross(D3 a, D3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(D3 a, D3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// No triangle's neighbour rises above the triangle's plane by more than limit.
bool convex(const ConvexPolyhedron& poly, double limit) {
  const std::vector<Vec3f>& P = poly.points;
  for (const ConvexPolyhedron::Edge& e : poly.edges) {
    const Triangle& t = poly.triangles[e.triangles[0]];
    const Triangle& u = poly.triangles[e.triangles[1]];
    const std::size_t far = u[0] + u[1] + u[2] - e.vertices[0] - e.vertices[1];
    const D3 n = cross(diff(P[t[1]], P[t[0]]), diff(P[t[2]], P[t[0]]));
    const double len = std::sqrt(dot(n, n));
    if (len > 0.0 && dot(n, diff(P[far], P[t[0]])) > limit * len) return false;
  }
  return true;
}

}  // namespace

bool polyhedron_volume_is_sound(const ConvexPolyhedron& poly, float volume) {
  const std::vector<Vec3f>& P = poly.points;
  const Vec3f c = points_center(P);
  Vec3f lo = P[0], hi = P[0];
  double radius2 = 0.0;
  for (const Vec3f& p : P) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    radius2 = std::max(radius2, dot(diff(p, c), diff(p, c)));
  }
  const D3 box = diff(hi, lo);
  if (!convex(poly, kReflexHeight * std::sqrt(dot(box, box)))) return false;

  // The tetrahedra that polyhedron_volume summed, now in double.
  // Tetrahedra turned inside out (a fold, or a face seen from the wrong side) count apart.
  double sum = 0.0, inverted = 0.0;
  auto add = [&](std::size_t a, std::size_t b, std::size_t e) {
    const double t = dot(diff(P[a], c), cross(diff(P[b], c), diff(P[e], c))) / 6.0;
    if (t < 0.0) inverted -= t;
    sum += t;
  };
  if (poly.faces_sound) {
    for (const ConvexPolyhedron::Face& f : poly.faces) {
      const std::size_t* w = poly.face_vertices.data() + f.first;
      for (std::size_t j = 1; j + 1 < f.count; ++j) add(w[0], w[j], w[j + 1]);
    }
  } else {
    for (const Triangle& t : poly.triangles) add(t[0], t[1], t[2]);
  }
  if (!(inverted <= kSumDrift * sum) || !(std::fabs(volume - sum) <= kSumDrift * sum)) return false;

  const double ball = 4.0 / 3.0 * 3.141592653589793 * radius2 * std::sqrt(radius2);
  return volume <= box.x * box.y * box.z && volume <= ball;
}

}  // namespace vorn
