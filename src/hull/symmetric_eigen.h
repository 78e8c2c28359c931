// Eigenvalues and unit eigenvectors of a symmetric 3 x 3 single-precision matrix by the symmetric
// QR algorithm. Householder reduction, then implicit QR sweeps with a Wilkinson shift; every sign
// convention fixes the eigenvectors' signs, so keep each as written.
#pragma once

#include <array>

#include "hull/float_types.h"

namespace vorn {

struct SymmetricEigen {
  std::array<float, 3> eigenvalues{};  // in the order of the final diagonal, not sorted
  Mat3f eigenvectors;                  // column k is the unit eigenvector of eigenvalues[k]
};

// a: a symmetric 3 x 3 matrix (all nine entries enter the scaling; the reduction reads only
// the lower triangle). Returns the eigenvalues and eigenvectors. A zero matrix gives zero
// eigenvalues and the identity. Throws Panic when a NaN entry reaches the 2 x 2 solution.
SymmetricEigen symmetric_eigen(const Mat3f& a);

}  // namespace vorn
