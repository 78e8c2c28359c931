// Every tolerance of the hull code, each with the formula it comes from. The construction's
// thresholds are float bit patterns (multiples of eps = 2^-23), so no decimal literal can round
// them differently; the checks' fractions are powers of two.
#pragma once

#include "hull/float_types.h"

namespace vorn {

// --- The constructions: every comparison below fixes which points become vertices. ---

// Distance a point must lie outside a hull edge or facet to count as outside it: 100 eps,
// 1.1920929e-05 (bits 0x37480000). In the caller's units in 2-d, normalised units in 3-d.
inline float visibility_distance() {
  return float_from_bits(0x37480000u);
}
// Squared cross-product length at or below which a 3-d facet is degenerate: (100 eps)^2,
// 1.4210855e-10 (bits 0x2F1C4000).
inline float degenerate_facet_bound() {
  return float_from_bits(0x2F1C4000u);
}
// Squared length at or below which an edge or a normal is not normalised: eps^2 = 2^-46,
// 1.4210855e-14 (bits 0x28800000).
inline float min_squared_length() {
  return float_from_bits(0x28800000u);
}
// Dot product of unit normals above which two edges (2-d) or triangles (3-d) are merged as
// collinear or coplanar: 1 - sqrt(eps), 0.9996547 (bits 0x3F7FE95F), about 1.5 degrees.
inline float coplanar_dot() {
  return float_from_bits(0x3F7FE95Fu);
}
// Covariance eigenvalue at or below which a normalised 3-d cloud has no extent along its
// axis: 1e-7 absolute, the float nearest to it (bits 0x33D6BF95).
inline float zero_eigenvalue_bound() {
  return float_from_bits(0x33D6BF95u);
}

// --- The checks: whether a size from the face-merged hulls is kept or measured again on the
// exact hull. ---

// A float sum of the hull's triangles (or triangle areas) may differ from the double sum of
// the same terms by this fraction of it, 2^-17 (about 7.6e-6): beyond it the rounding of the
// float sum, not the hull, decides the result.
constexpr double kSumDrift = 0x1.0p-17;

// Most a merged hull may fall short of the hull of the points, as a fraction of its size,
// 2^-10 (about 9.8e-4). In 2-d: the vertices dropped as collinear plus the band within the
// visibility distance outside the loop. In 3-d: the volume that fanning the merged faces cuts
// away from the hull's triangles plus the band within the visibility distance outside them.
constexpr double kShortfall = 0x1.0p-10;

// The 3-d visibility distance in the caller's units, as a multiple of eps times the
// bounding-box diagonal: 100 times the normalised cloud's scale, plus this allowance for the
// rounding of the normalised coordinates and of the facet distances (each a few eps of the
// diagonal).
constexpr double kDistanceRounding = 8.0;

// Highest a hull triangle's neighbour may rise above the triangle's plane, as a fraction of
// the diagonal of the points' bounding box, 2^-16 (about 1.5e-5). The quickhull's own
// visibility distance leaves dents well below it; a fold of the mesh rises far above it.
constexpr double kReflexHeight = 0x1.0p-16;

// A 2-d hull no wider than rounding: area at most 2^-20 R L, with R the largest coordinate
// magnitude and L the bounding-box diagonal. Rounding to float moves a point of a line by up
// to 2^-24 R in each coordinate, which leaves collinear points a sliver of area below
// 2^-22 R L; such a cloud counts as collinear.
constexpr double kCollinearArea = 0x1.0p-20;

// A 3-d hull no thicker than rounding: volume at most 2^-22 R A, with R the largest
// coordinate magnitude and A the hull's surface area. Rounding to float moves a point of a
// plane by up to sqrt(3) 2^-24 R, which leaves coplanar points a sliver of volume below
// 2^-23.2 R A; such a cloud counts as coplanar. A solid passes once its mean thickness, 2V / A,
// exceeds 2^-21 R, about eight float steps.
constexpr double kCoplanarVolume = 0x1.0p-22;

}  // namespace vorn
