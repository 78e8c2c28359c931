// Eigenvalues and unit eigenvectors of a symmetric 3 x 3 single-precision matrix by the symmetric
// QR algorithm. Householder reduction, then implicit QR sweeps with a Wilkinson shift; every sign
// convention fixes the eigenvectors' signs, so keep each as written.
#include "hull/symmetric_eigen.h"

#include <cmath>
#include <utility>

#include "base/panic.h"

namespace vorn {

namespace {

// +1 or -1 by the sign bit, so -0.0 gives -1.
float sign_bit_sign(float v) {
  return std::copysign(1.0f, v);
}

// The reflection axis of column i: the entries below the diagonal, stored in place in a.
struct Axis {
  float* x[2];
  int len;
};

Axis axis_of(Mat3f& a, int i) {
  if (i == 0) return {{&a(1, 0), &a(2, 0)}, 2};
  return {{&a(2, 1), nullptr}, 1};
}

// Sum of x[k] * y[k] started from +0.0 in entry order: the start value decides the sign of a zero
// sum.
float dot_from_zero(const float* x, const float* y, int len) {
  float s = x[0] * y[0] + 0.0f;
  if (len == 2) s = s + x[1] * y[1];
  return s;
}

// Reduces column i to tridiagonal form by one Householder reflection, updating the lower
// triangle of the trailing block in place. Returns the off-diagonal entry e[i].
float householder_step(Mat3f& a, int i) {
  const Axis ax = axis_of(a, i);
  float x[2] = {*ax.x[0], ax.len == 2 ? *ax.x[1] : 0.0f};
  const int len = ax.len;

  const float sq = dot_from_zero(x, x, len);
  const float norm = std::sqrt(sq);
  const float signed_norm = x[0] >= 0.0f ? norm : -norm;  // -0.0 counts as non-negative
  const float half = sq + norm * std::fabs(x[0]);
  x[0] = x[0] + signed_norm;
  *ax.x[0] = x[0];
  if (half + half == 0.0f) return signed_norm;

  const float f = std::sqrt(half + half);
  for (int k = 0; k < len; ++k) x[k] = x[k] / f;
  // Normalised a second time on purpose: the division by f alone leaves the axis off unit length.
  const float g2 = std::sqrt(dot_from_zero(x, x, len));
  for (int k = 0; k < len; ++k) x[k] = x[k] / g2;
  for (int k = 0; k < len; ++k) *ax.x[k] = x[k];

  // Trailing block B: rows and columns i + 1 .. 2, lower triangle only.
  const int o = i + 1;
  float p[2];
  p[0] = (x[0] + x[0]) * a(o, o);
  if (len == 2) {
    p[1] = (x[0] + x[0]) * a(o + 1, o);
    float t = a(o + 1, o) * x[1] + 0.0f;
    p[0] = (t + t) + p[0];
    t = 0.0f + a(o + 1, o + 1) * x[1];
    p[1] = (t + t) + p[1];
  }
  const float d = dot_from_zero(x, p, len);

  // Three separate passes over the lower triangle; each rounds before the next begins.
  for (int j = 0; j < len; ++j)
    for (int r = j; r < len; ++r) a(o + r, o + j) = a(o + r, o + j) - x[j] * p[r];
  for (int j = 0; j < len; ++j)
    for (int r = j; r < len; ++r) a(o + r, o + j) = a(o + r, o + j) - p[j] * x[r];
  for (int j = 0; j < len; ++j)
    for (int r = j; r < len; ++r) a(o + r, o + j) = ((d + d) * x[j]) * x[r] + a(o + r, o + j);
  return -signed_norm;
}

// Applies reflection i to rows i + 1 .. 2 of columns i .. 2 of q.
void reflect(Mat3f& q, Mat3f& a, int i, float e) {
  const Axis ax = axis_of(a, i);
  const float x[2] = {*ax.x[0], ax.len == 2 ? *ax.x[1] : 0.0f};
  const float s = std::isnan(e) ? e : sign_bit_sign(e);
  for (int c = i; c < 3; ++c) {
    float v[2] = {q(i + 1, c), ax.len == 2 ? q(i + 2, c) : 0.0f};
    const float g = dot_from_zero(x, v, ax.len) * (s * -2.0f);
    for (int k = 0; k < ax.len; ++k) q(i + 1 + k, c) = g * x[k] + s * v[k];
  }
}

struct Block {
  int start, end;
};

// The last unreduced block ending at or before `end`; negligible off-diagonals met while
// looking for its start are set to zero.
Block delimit(float d[3], float e[2], int end) {
  const float eps = float_epsilon();
  int n = end;
  while (n > 0) {
    if (std::fabs(e[n - 1]) > eps * (std::fabs(d[n]) + std::fabs(d[n - 1]))) break;
    --n;
  }
  if (n == 0) return {0, 0};
  int start = n - 1;
  while (start > 0) {
    const float off = e[start - 1];
    if (off == 0.0f || std::fabs(off) <= eps * (std::fabs(d[start]) + std::fabs(d[start - 1]))) {
      e[start - 1] = 0.0f;
      break;
    }
    --start;
  }
  return {start, n};
}

// One implicit QR sweep with a Wilkinson shift over the whole 3 x 3 tridiagonal form.
void qr_sweep(float d[3], float e[2], Mat3f& q) {
  float shift;
  const float qq = e[1] * e[1];
  if (qq == 0.0f) {
    shift = d[2];
  } else {
    const float h = (d[1] - d[2]) * 0.5f;
    shift = d[2] - qq / (h + sign_bit_sign(h) * std::sqrt(qq + h * h));
  }
  float x = d[0] - shift;
  float y = e[0];
  for (int i = 0; i < 2; ++i) {
    const int j = i + 1;
    if (y == 0.0f) return;
    const float m = std::fabs(x);
    const float sigma = x >= 0.0f ? 1.0f : -1.0f;
    const float den = std::sqrt(m * m + y * y);
    const float c = m / den;
    const float s = -y / (sigma * den);
    const float r = sigma * den;
    if (i == 1) e[0] = r;

    const float a = d[i], b = d[j], o = e[i];
    const float cc = c * c, ss = s * s, cs = c * s;
    const float beta = (cs + cs) * o;
    d[i] = (cc * a + ss * b) - beta;
    d[j] = (ss * a + cc * b) + beta;
    e[i] = cs * (a - b) + o * (cc - ss);
    if (i == 0) {
      x = e[0];
      y = -s * e[1];
      e[1] = e[1] * c;
    }
    // Columns turn with (c, -s) here; the 2 x 2 solution below uses (c, s).
    for (int row = 0; row < 3; ++row) {
      const float u = q(row, i), w = q(row, j);
      q(row, i) = c * u - s * w;
      q(row, j) = s * u + c * w;
    }
  }
}

// Solves the 2 x 2 block at rows k, k + 1 directly.
void solve_2x2(float d[3], const float e[2], Mat3f& q, int k) {
  const float a = d[k], b = d[k + 1], o = e[k];
  const float h = (a - b) * 0.5f;
  const float disc = o * o + h * h;
  if (!(disc >= 0.0f)) throw Panic("Symmetric eigen-decomposition met a not-a-number entry.");
  const float root = std::sqrt(disc);
  const float la = (a + b) * 0.5f + root;
  const float lb = (a + b) * 0.5f - root;

  const float x = la - b;
  const float y = o;
  const float m = std::fabs(x);
  const float sigma = x >= 0.0f ? 1.0f : -1.0f;
  const float den = std::sqrt(m * m + y * y);
  if (den > float_epsilon()) {
    const float c = m / den;
    const float s = y / (sigma * den);
    for (int row = 0; row < 3; ++row) {
      const float u = q(row, k), w = q(row, k + 1);
      q(row, k) = c * u + s * w;
      q(row, k + 1) = c * w - s * u;
    }
  }
  d[k] = la;
  d[k + 1] = lb;
}

}  // namespace

SymmetricEigen symmetric_eigen(const Mat3f& input) {
  Mat3f a = input;
  float amax = 0.0f;
  for (float v : a.m)
    if (std::fabs(v) > amax) amax = std::fabs(v);
  // Dividing by the largest magnitude and multiplying back at the end makes a power-of-two
  // scaling of the input vanish exactly.
  if (amax != 0.0f)
    for (float& v : a.m) v = v / amax;

  float e[2];
  e[0] = householder_step(a, 0);
  e[1] = householder_step(a, 1);
  float d[3] = {a(0, 0), a(1, 1), a(2, 2)};

  Mat3f q = Mat3f::identity();
  reflect(q, a, 1, e[1]);
  reflect(q, a, 0, e[0]);

  e[0] = std::fabs(e[0]);
  e[1] = std::fabs(e[1]);

  Block block = delimit(d, e, 2);
  while (block.end != block.start) {
    int end = block.end;
    if (end - block.start == 2) {
      qr_sweep(d, e, q);
      if (std::fabs(e[1]) <= float_epsilon() * (std::fabs(d[1]) + std::fabs(d[2]))) end = end - 1;
    } else {
      solve_2x2(d, e, q, block.start);
      end = end - 1;
    }
    block = delimit(d, e, end);
  }

  SymmetricEigen out;
  for (int k = 0; k < 3; ++k) out.eigenvalues[k] = d[k] * amax;  // also when amax == 0
  out.eigenvectors = q;
  return out;
}

}  // namespace vorn
