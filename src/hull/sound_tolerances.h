// The tolerances that decide whether a hull size from the face-merged hulls is kept or measured
// again on the exact hull. Powers of two, so that no decimal literal can round them differently;
// each states what it bounds.
#pragma once

namespace vorn {

// A float sum of the hull's triangles (or triangle areas) may differ from the double sum of
// the same terms by this fraction of it, 2^-17 (about 7.6e-6): beyond it the rounding of the
// float sum, not the hull, decides the result.
constexpr double kSumDrift = 0x1.0p-17;

// Most a merged polygon may fall short of the hull of the points (vertices dropped as
// collinear, points within the visibility distance left out), as a fraction of its area,
// 2^-8 (about 3.9e-3).
constexpr double kPolygonShortfall = 0x1.0p-8;

// Highest a hull triangle's neighbour may rise above the triangle's plane, as a fraction of
// the diagonal of the points' bounding box, 2^-16 (about 1.5e-5). The quickhull's own
// visibility distance leaves dents well below it; a fold of the mesh rises far above it.
constexpr double kReflexHeight = 0x1.0p-16;

// A 2-d hull no wider than rounding: area at most 2^-20 R L, with R the largest coordinate
// magnitude and L the bounding-box diagonal. Rounding to float moves a point of a line by up
// to 2^-24 R in each coordinate, which leaves collinear points a sliver of area below
// 2^-22 R L; such a cloud counts as collinear.
constexpr double kCollinearArea = 0x1.0p-20;

}  // namespace vorn
