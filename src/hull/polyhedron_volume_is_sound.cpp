// Whether the volume of a hull polyhedron can stand for the volume of the hull of the points.
// Cheap next to building the hull: passes over the polyhedron's points, edges and triangles only.
#include "hull/polyhedron_volume_is_sound.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "hull/center_cov.h"
#include "hull/tolerances.h"
#include "hull/vec3d.h"

namespace vorn {

namespace {

// Each triangle's normal (b - a) x (c - a), of twice its area, in double.
struct Normal {
  Vec3d n;
  double length;
};

struct Surface {
  bool convex = true;
  double area = 0.0;
  double edge_turn = 0.0;  // sum over edges of length * tan(turn / 2)
  double triangles = 0.0;  // the mesh's tetrahedra against c
  double inverted = 0.0;   // minus those of them turned inside out
};

// One pass over the triangles (normals, area, tetrahedra) and one over the edges: convexity
// (no triangle's neighbour rises above its plane by more than limit) and the edges' turns.
Surface surface_of(const ConvexPolyhedron& poly, Vec3f c, double limit) {
  const std::vector<Vec3f>& P = poly.points;
  Surface s;
  std::vector<Normal> normals(poly.triangles.size());
  for (std::size_t i = 0; i < normals.size(); ++i) {
    const Triangle& t = poly.triangles[i];
    const Vec3d n = cross(sub(P[t[1]], P[t[0]]), sub(P[t[2]], P[t[0]]));
    normals[i] = {n, std::sqrt(dot(n, n))};
    s.area += normals[i].length / 2.0;
    const double v = dot(sub(P[t[0]], c), n) / 6.0;
    if (v < 0.0) s.inverted -= v;
    s.triangles += v;
  }
  for (const ConvexPolyhedron::Edge& e : poly.edges) {
    const Triangle& t = poly.triangles[e.triangles[0]];
    const Triangle& u = poly.triangles[e.triangles[1]];
    const Normal& n = normals[e.triangles[0]];
    const Normal& m = normals[e.triangles[1]];
    const std::size_t far = u[0] + u[1] + u[2] - e.vertices[0] - e.vertices[1];
    if (n.length > 0.0 && dot(n.n, sub(P[far], P[t[0]])) > limit * n.length) return {false};
    if (!(n.length > 0.0 && m.length > 0.0)) continue;
    const double cosine = dot(n.n, m.n) / (n.length * m.length);
    if (!(1.0 + cosine > 0.0)) return {true, INFINITY, INFINITY};  // folded back on itself
    const Vec3d along = sub(P[e.vertices[1]], P[e.vertices[0]]);
    const double tan_half = std::sqrt(std::fmax(0.0, 1.0 - cosine) / (1.0 + cosine));
    s.edge_turn += std::sqrt(dot(along, along)) * tan_half;
  }
  return s;
}

// The tetrahedra of the face fans, in double, and minus those of them turned inside out (a
// fold, or a face seen from the wrong side).
std::pair<double, double> fan_tetrahedra(const ConvexPolyhedron& poly, Vec3f c) {
  const std::vector<Vec3f>& P = poly.points;
  double sum = 0.0, inverted = 0.0;
  auto add = [&](std::size_t a, std::size_t b, std::size_t e) {
    const double v = dot(sub(P[a], c), cross(sub(P[b], c), sub(P[e], c))) / 6.0;
    if (v < 0.0) inverted -= v;
    sum += v;
  };
  for (const ConvexPolyhedron::Face& f : poly.faces) {
    const std::size_t* w = poly.face_vertices.data() + f.first;
    for (std::size_t j = 1; j + 1 < f.count; ++j) add(w[0], w[j], w[j + 1]);
  }
  return {sum, inverted};
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
  const Surface surface = surface_of(poly, c, kReflexHeight * std::sqrt(dot(box, box)));
  if (!surface.convex) return false;

  // The tetrahedra polyhedron_volume summed.
  const auto [sum, inverted] =
      poly.faces_sound ? fan_tetrahedra(poly, c) : std::pair{surface.triangles, surface.inverted};
  if (!(inverted <= kSumDrift * sum) || !(std::fabs(volume - sum) <= kSumDrift * sum)) return false;
  const double t = visibility;
  const double shortfall =
      std::fabs(surface.triangles - sum) + surface.area * t + surface.edge_turn * t * t;
  if (!(shortfall <= kShortfall * sum)) return false;

  const double ball = 4.0 / 3.0 * 3.141592653589793 * radius2 * std::sqrt(radius2);
  return volume <= box[0] * box[1] * box[2] && volume <= ball;
}

}  // namespace vorn
