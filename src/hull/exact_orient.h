// Exact signs of the 2-d and 3-d orientation determinants of double coordinates.
// A floating-point filter answers when its error bound allows; otherwise the determinant is summed
// exactly in floating-point expansions, so no answer is ever a guess.
#pragma once

namespace vorn {

// a, b, c: points (x, y). Returns the sign of det[b - a, c - a]: +1 when a, b, c turn
// counter-clockwise, -1 when they turn clockwise, 0 when they are collinear.
// Exact for every finite single-precision coordinate (products of differences neither
// overflow nor underflow a double). Never fails.
int orient2d(const double* a, const double* b, const double* c);

// a, b, c, d: points (x, y, z). Returns the sign of (d - a) . ((b - a) x (c - a)): +1 when d
// lies on the side of the plane of a, b, c from which they are seen counter-clockwise, -1
// on the other side, 0 in the plane. Exact as orient2d. Never fails.
int orient3d(const double* a, const double* b, const double* c, const double* d);

// The plane of a, b, c prepared for many orient3d queries: (b - a) x (c - a) rounded as
// orient3d rounds it, and the magnitudes of its products that the error bound needs.
struct Orient3dPlane {
  double normal[3];
  double magnitude[3];
};
Orient3dPlane orient3d_plane(const double* a, const double* b, const double* c);

// orient3d(a, b, c, d) with the plane of a, b, c prepared: the same sign, the same filter.
// height receives the rounded (d - a) . normal, a distance scaled by the normal's length.
int orient3d(const Orient3dPlane& plane, const double* a, const double* b, const double* c,
             const double* d, double& height);

}  // namespace vorn
