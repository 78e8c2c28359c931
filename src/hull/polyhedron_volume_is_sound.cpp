// Whether the volume of a hull polyhedron can stand for the volume of the hull of the points.
// Cheap next to building the hull: passes over the polyhedron's points, edges and triangles only.
#include "hull/polyhedron_volume_is_sound.h"

#include <algorithm>
#include <cmath>

#include "hull/center_cov.h"
#include "hull/tolerances.h"
#include "hull/vec3d.h"

namespace vorn {

namespace {

struct Surface {
  bool convex = true;
  double area = 0.0;
  double edge_turn = 0.0;  // sum over edges of length * tan(turn / 2)
};

// One pass over the edges: convexity (no triangle's neighbour rises above its plane by more
// than limit), the area (each triangle borders three edges) and the edges' turns.
Surface surface_of(const ConvexPolyhedron& poly, double limit) {
  const std::vector<Vec3f>& P = poly.points;
  Surface s;
  for (const ConvexPolyhedron::Edge& e : poly.edges) {
    const Triangle& t = poly.triangles[e.triangles[0]];
    const Triangle& u = poly.triangles[e.triangles[1]];
    const std::size_t far = u[0] + u[1] + u[2] - e.vertices[0] - e.vertices[1];
    const Vec3d n = cross(sub(P[t[1]], P[t[0]]), sub(P[t[2]], P[t[0]]));
    const Vec3d m = cross(sub(P[u[1]], P[u[0]]), sub(P[u[2]], P[u[0]]));
    const double nlen = std::sqrt(dot(n, n)), mlen = std::sqrt(dot(m, m));
    if (nlen > 0.0 && dot(n, sub(P[far], P[t[0]])) > limit * nlen) return {false};
    s.area += (nlen + mlen) / 12.0;
    if (!(nlen > 0.0 && mlen > 0.0)) continue;
    const Vec3d along = sub(P[e.vertices[1]], P[e.vertices[0]]);
    const Vec3d nm = cross(n, m);
    const double cosine = dot(n, m) / (nlen * mlen), sine = std::sqrt(dot(nm, nm)) / (nlen * mlen);
    if (!(1.0 + cosine > 0.0)) return {true, INFINITY, INFINITY};  // folded back on itself
    s.edge_turn += std::sqrt(dot(along, along)) * sine / (1.0 + cosine);
  }
  return s;
}

struct Sums {
  double summed = 0.0;     // the tetrahedra polyhedron_volume summed, in double
  double inverted = 0.0;   // minus those of them turned inside out
  double triangles = 0.0;  // the tetrahedra of the mesh's triangles
};

Sums tetrahedron_sums(const ConvexPolyhedron& poly, Vec3f c) {
  const std::vector<Vec3f>& P = poly.points;
  auto volume = [&](std::size_t a, std::size_t b, std::size_t e) {
    return dot(sub(P[a], c), cross(sub(P[b], c), sub(P[e], c))) / 6.0;
  };
  Sums s;
  for (const Triangle& t : poly.triangles) {
    const double v = volume(t[0], t[1], t[2]);
    s.triangles += v;
    if (!poly.faces_sound && v < 0.0) s.inverted -= v;
  }
  if (!poly.faces_sound) {
    s.summed = s.triangles;
    return s;
  }
  for (const ConvexPolyhedron::Face& f : poly.faces) {
    const std::size_t* w = poly.face_vertices.data() + f.first;
    for (std::size_t j = 1; j + 1 < f.count; ++j) {
      const double v = volume(w[0], w[j], w[j + 1]);
      if (v < 0.0) s.inverted -= v;
      s.summed += v;
    }
  }
  return s;
}

}  // namespace

bool polyhedron_volume_is_sound(const ConvexPolyhedron& poly, float volume, double visibility) {
  const std::vector<Vec3f>& P = poly.points;
  const Vec3f c = points_center(P);
  Vec3f lo = P[0], hi = P[0];
  double radius2 = 0.0;
  for (const Vec3f& p : P) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    radius2 = std::max(radius2, dot(sub(p, c), sub(p, c)));
  }
  const Vec3d box = sub(hi, lo);
  const Surface surface = surface_of(poly, kReflexHeight * std::sqrt(dot(box, box)));
  if (!surface.convex) return false;

  const Sums sums = tetrahedron_sums(poly, c);
  const double sum = sums.summed;
  if (!(sums.inverted <= kSumDrift * sum) || !(std::fabs(volume - sum) <= kSumDrift * sum)) {
    return false;
  }
  const double t = visibility;
  const double shortfall =
      std::fabs(sums.triangles - sum) + surface.area * t + surface.edge_turn * t * t;
  if (!(shortfall <= kShortfall * sum)) return false;

  const double ball = 4.0 / 3.0 * 3.141592653589793 * radius2 * std::sqrt(radius2);
  return volume <= box[0] * box[1] * box[2] && volume <= ball;
}

}  // namespace vorn
