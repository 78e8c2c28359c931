// Covariance-determinant volume: sqrt |det(sample covariance + 1e-8 I)| of a point set.
// Mean, scatter, division by n - 1, ridge and determinant each round in the order written: results
// are compared bit for bit.
#pragma once

#include "base/executor.h"
#include "base/point_set.h"

namespace vorn {

// points: n x d. Returns the square root of |det R|, R = S / (n - 1) + 1e-8 I, where S is
// the scatter matrix about the mean (the mean divides the point-order sums by n); 0.0 when
// n < 2. Non-finite coordinates give NaN or infinity. Memory O(d^2) plus one block of
// points per thread. Throws std::bad_alloc, or Panic::interrupted() when the executor is
// stopped.
double size_covdet(const PointSet& points, const Executor& executor = Executor());

// points: n x d. Returns ln size_covdet(points), from the same covariance and the same
// factorisation, but with the determinant's scale kept apart from its significand: finite
// where size_covdet underflows to 0.0 (the determinant is a product of d pivots, so a cloud
// whose variances are all about v underflows once v^d < 2^-1074, e.g. unit vectors in 768
// dimensions) or overflows to infinity. The logarithm is natural_log, the same bits on every
// platform. -infinity when n < 2. Throws std::bad_alloc, or Panic::interrupted() when the
// executor is stopped.
double size_covdet_log(const PointSet& points, const Executor& executor = Executor());

}  // namespace vorn
