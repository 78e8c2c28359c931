#include "hull/symmetric_eigen.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using vorn::Mat3f;
using vorn::symmetric_eigen;

Mat3f symmetric(float a00, float a11, float a22, float a10, float a20, float a21) {
  Mat3f a;
  a(0, 0) = a00, a(1, 1) = a11, a(2, 2) = a22;
  a(1, 0) = a(0, 1) = a10;
  a(2, 0) = a(0, 2) = a20;
  a(2, 1) = a(1, 2) = a21;
  return a;
}

Mat3f diagonal(float a, float b, float c) {
  return symmetric(a, b, c, 0, 0, 0);
}

// Both reflections meet a zero axis and no off-diagonal is left: the diagonal comes back in
// place (divided by the largest magnitude and multiplied back) with identity eigenvectors.
TEST(SymmetricEigen, DiagonalMatrixStaysInPlace) {
  const auto r = symmetric_eigen(diagonal(3, -1, 2));
  EXPECT_EQ(r.eigenvalues[0], 3.0f);
  EXPECT_EQ(r.eigenvalues[1], (-1.0f / 3.0f) * 3.0f);
  EXPECT_EQ(r.eigenvalues[2], (2.0f / 3.0f) * 3.0f);
  EXPECT_EQ(r.eigenvectors.m, Mat3f::identity().m);

  const auto zero = symmetric_eigen(Mat3f{});
  EXPECT_EQ(zero.eigenvalues, (std::array<float, 3>{0, 0, 0}));
  EXPECT_EQ(zero.eigenvectors.m, Mat3f::identity().m);
}

// The sign of an off-diagonal too small to square still flips the reflected rows: -0.0 counts
// as negative in the sign-bit rule, and the eigenvectors' signs follow it.
TEST(SymmetricEigen, SignBitOfAVanishingOffDiagonalFlipsVectors) {
  EXPECT_EQ(symmetric_eigen(symmetric(1, 2, 3, 1e-30f, 0, 0)).eigenvectors.m, Mat3f::identity().m);
  EXPECT_EQ(symmetric_eigen(symmetric(1, 2, 3, -1e-30f, 0, 0)).eigenvectors.m,
            diagonal(1, -1, -1).m);
}

// A generic matrix, solved through QR sweeps, gives accurate pairs (its bits, and those of
// hundreds more, are recorded with the other kernels).
TEST(SymmetricEigen, GenericMatrixGivesAccurateVectors) {
  const Mat3f a = symmetric(0.7f, -0.3f, 0.25f, 0.45f, -0.6f, 0.1f);
  const auto r = symmetric_eigen(a);
  for (int k = 0; k < 3; ++k)
    for (int row = 0; row < 3; ++row) {
      double av = 0;
      for (int c = 0; c < 3; ++c) av += double(a(row, c)) * r.eigenvectors(c, k);
      EXPECT_NEAR(av, double(r.eigenvalues[k]) * r.eigenvectors(row, k), 1e-6);
    }
}

}  // namespace
