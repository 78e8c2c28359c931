#include "hull/symmetric_eigen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

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

// Only A(1,0) off the diagonal: the reduction leaves e[1] = 0 and one direct 2 x 2 solution
// finishes, larger eigenvalue first, with the rotation's own sign convention.
TEST(SymmetricEigen, SingleOffDiagonalPairIsSolvedDirectly) {
  const auto r = symmetric_eigen(symmetric(2, 2, 5, 1, 0, 0));
  EXPECT_NEAR(r.eigenvalues[0], 3.0f, 4e-7f);
  EXPECT_NEAR(r.eigenvalues[1], 1.0f, 4e-7f);
  EXPECT_EQ(r.eigenvalues[2], 5.0f);
  const float h = std::sqrt(0.5f);
  const std::array<float, 9> want{h, h, 0, -h, h, 0, 0, 0, -1};  // column by column
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(r.eigenvectors.m[k], want[k], 1e-7f) << k;
  EXPECT_EQ(r.eigenvectors(2, 2), -1.0f);
}

// Covariance-like test matrices with known eigenvalues w: random, rank-deficient (flat
// clouds), with a repeated eigenvalue, and of rank one. A = V^T diag(w) V in double, then
// rounded to single precision.
struct Known {
  Mat3f a;
  std::array<double, 3> w;
};

Known random_matrix(std::mt19937& gen, int kind) {
  std::normal_distribution<double> n(0.0, 1.0);
  std::array<double, 3> w{n(gen), n(gen), n(gen)};
  if (kind == 1) w[2] = 0.0;
  if (kind == 2) w[1] = w[0];
  if (kind == 3) w[1] = w[2] = 0.0;
  double q[3][3];  // Gram-Schmidt on random rows
  for (int i = 0; i < 3; ++i) {
    for (double& x : q[i]) x = n(gen);
    for (int j = 0; j < i; ++j) {
      const double d = q[i][0] * q[j][0] + q[i][1] * q[j][1] + q[i][2] * q[j][2];
      for (int k = 0; k < 3; ++k) q[i][k] -= d * q[j][k];
    }
    const double len = std::sqrt(q[i][0] * q[i][0] + q[i][1] * q[i][1] + q[i][2] * q[i][2]);
    for (double& x : q[i]) x /= len;
  }
  Known k;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c <= r; ++c)
      k.a(r, c) = k.a(c, r) =
          float(q[0][r] * w[0] * q[0][c] + q[1][r] * w[1] * q[1][c] + q[2][r] * w[2] * q[2][c]);
  k.w = w;
  std::sort(k.w.begin(), k.w.end());
  return k;
}

// Eigenvalues agree with the known ones within a few units of single precision, and the
// eigenvectors are unit and orthogonal. Their directions are not compared: the direct 2 x 2
// solution turns by an angle computed from lambda_a - b, which cancels when the block is
// nearly diagonal with its smaller entry first, so a vector can be off by tens of degrees
// within that block while staying orthonormal.
TEST(SymmetricEigen, RandomMatricesGiveKnownEigenvaluesAndOrthonormalVectors) {
  std::mt19937 gen(31);
  const double eps = 1.1920929e-07;
  for (int trial = 0; trial < 4000; ++trial) {
    const Known known = random_matrix(gen, trial % 4);
    const Mat3f& a = known.a;
    const auto r = symmetric_eigen(a);
    float amax = 0;
    for (float x : a.m) amax = std::max(amax, std::fabs(x));

    std::array<double, 3> got{r.eigenvalues[0], r.eigenvalues[1], r.eigenvalues[2]};
    std::sort(got.begin(), got.end());
    for (int k = 0; k < 3; ++k) ASSERT_NEAR(got[k], known.w[k], 32 * eps * amax) << trial;

    const Mat3f& q = r.eigenvectors;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        double d = 0;
        for (int k = 0; k < 3; ++k) d += double(q(k, i)) * q(k, j);
        ASSERT_NEAR(d, i == j ? 1.0 : 0.0, 16 * eps) << trial << " columns " << i << ", " << j;
      }
  }
}

// A generic matrix, solved through QR sweeps: accurate vectors, and recorded bits. Any change
// in the order or precision of an operation (a fused multiply-add, a double intermediate, a
// reordered sum, another sign convention) shows here; hull results depend on these values.
TEST(SymmetricEigen, GenericMatrixGivesAccurateVectorsAndRecordedBits) {
  const Mat3f a = symmetric(0.7f, -0.3f, 0.25f, 0.45f, -0.6f, 0.1f);
  const auto r = symmetric_eigen(a);
  for (int k = 0; k < 3; ++k)
    for (int row = 0; row < 3; ++row) {
      double av = 0;
      for (int c = 0; c < 3; ++c) av += double(a(row, c)) * r.eigenvectors(c, k);
      EXPECT_NEAR(av, double(r.eigenvalues[k]) * r.eigenvectors(row, k), 1e-6);
    }
  EXPECT_EQ(r.eigenvalues, (std::array<float, 3>{0x1.2f897ap+0f, -0x1.39d0b6p-1f, 0x1.3c547ep-4f}));
  const std::array<float, 9> q{0x1.a9fe86p-1f,  0x1.bdc72p-3f,   -0x1.0540bep-1f,
                               -0x1.d4aba2p-2f, 0x1.940574p-1f,  -0x1.a38368p-2f,
                               -0x1.40ff84p-2f, -0x1.2617eap-1f, -0x1.832908p-1f};
  EXPECT_EQ(r.eigenvectors.m, q);
}

// Dividing by the largest magnitude first removes a power-of-two factor exactly.
TEST(SymmetricEigen, PowerOfTwoScalingChangesNoBits) {
  std::mt19937 gen(5);
  for (int trial = 0; trial < 200; ++trial) {
    const Mat3f a = random_matrix(gen, trial % 4).a;
    const auto base = symmetric_eigen(a);
    for (int e : {-20, -1, 3, 40}) {
      Mat3f scaled = a;
      for (float& x : scaled.m) x = std::ldexp(x, e);
      const auto r = symmetric_eigen(scaled);
      for (int k = 0; k < 3; ++k)
        ASSERT_EQ(r.eigenvalues[k], std::ldexp(base.eigenvalues[k], e)) << trial << " 2^" << e;
      ASSERT_EQ(r.eigenvectors.m, base.eigenvectors.m) << trial << " 2^" << e;
    }
  }
}

}  // namespace
