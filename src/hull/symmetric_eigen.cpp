// Eigenvalues and unit eigenvectors of a symmetric 3 x 3 single-precision matrix by the symmetric QR algorithm.
// Householder reduction, then implicit QR sweeps with a Wilkinson shift; every sign convention fixes the eigenvectors' signs, so keep each as written.
#include "hull/symmetric_eigen.h"

#include "utils/panic.h"

namespace vorn {

SymmetricEigen symmetric_eigen(const Mat3f&) { throw Panic("not implemented"); }

}  // namespace vorn
