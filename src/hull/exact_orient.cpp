// Exact signs of the 2-d and 3-d orientation determinants of double coordinates.
// A floating-point filter answers when its error bound allows; otherwise the determinant is summed
// exactly in floating-point expansions, so no answer is ever a guess.
#include "hull/exact_orient.h"

#include <cmath>

namespace vorn {

namespace {

// Error-free transformations: x is the rounded result and y its exact rounding error.
// They rely on every operation being rounded on its own (no contraction, no reassociation).
void two_sum(double a, double b, double& x, double& y) {
  x = a + b;
  const double bv = x - a;
  const double av = x - bv;
  y = (a - av) + (b - bv);
}

void two_diff(double a, double b, double& x, double& y) {
  x = a - b;
  const double bv = a - x;
  const double av = x + bv;
  y = (a - av) + (bv - b);
}

// Splits a into two halves of at most 26 bits each: a = hi + lo.
void split(double a, double& hi, double& lo) {
  const double splitter = 134217729.0;  // 2^27 + 1
  const double c = splitter * a;
  hi = c - (c - a);
  lo = a - hi;
}

void two_product(double a, double b, double& x, double& y) {
  x = a * b;
  double ahi, alo, bhi, blo;
  split(a, ahi, alo);
  split(b, bhi, blo);
  const double err1 = x - ahi * bhi;
  const double err2 = err1 - alo * bhi;
  const double err3 = err2 - ahi * blo;
  y = alo * blo - err3;
}

// A nonoverlapping expansion of at most N components: the exact sum of its components,
// smallest magnitude first, zeros removed. Its sign is the sign of its last component.
template <int N>
struct Expansion {
  double c[N];
  int n = 0;

  int sign() const { return n == 0 ? 0 : (c[n - 1] > 0.0 ? 1 : -1); }
};

// e += b in place; e needs room for one more component. Safe in place because the write
// position never passes the read position.
template <int N>
void grow(Expansion<N>& e, double b) {
  double q = b;
  int h = 0;
  for (int i = 0; i < e.n; ++i) {
    double sum, err;
    two_sum(q, e.c[i], sum, err);
    q = sum;
    if (err != 0.0) e.c[h++] = err;
  }
  if (q != 0.0) e.c[h++] = q;
  e.n = h;
}

// e + f, one component of f at a time: quadratic, but only reached when the filter fails.
template <int N, int M>
Expansion<N + M> add(const Expansion<N>& e, const Expansion<M>& f) {
  Expansion<N + M> h;
  for (int i = 0; i < e.n; ++i) h.c[i] = e.c[i];
  h.n = e.n;
  for (int i = 0; i < f.n; ++i) grow(h, f.c[i]);
  return h;
}

template <int N>
Expansion<N> negate(Expansion<N> e) {
  for (int i = 0; i < e.n; ++i) e.c[i] = -e.c[i];
  return e;
}

// e * b.
template <int N>
Expansion<2 * N> scale(const Expansion<N>& e, double b) {
  Expansion<2 * N> h;
  if (e.n == 0 || b == 0.0) return h;
  double q, t;
  two_product(e.c[0], b, q, t);
  if (t != 0.0) h.c[h.n++] = t;
  for (int i = 1; i < e.n; ++i) {
    double p1, p0, sum, err;
    two_product(e.c[i], b, p1, p0);
    two_sum(q, p0, sum, err);
    if (err != 0.0) h.c[h.n++] = err;
    two_sum(p1, sum, q, err);
    if (err != 0.0) h.c[h.n++] = err;
  }
  if (q != 0.0) h.c[h.n++] = q;
  return h;
}

template <int N, int M>
Expansion<2 * N * M> multiply(const Expansion<N>& e, const Expansion<M>& f) {
  Expansion<2 * N * M> h;
  for (int i = 0; i < f.n; ++i) {
    const Expansion<2 * N> part = scale(e, f.c[i]);
    for (int k = 0; k < part.n; ++k) grow(h, part.c[k]);
  }
  return h;
}

// The exact difference a - b: one component when the double subtraction was exact.
template <int N>
Expansion<N> difference(double a, double b) {
  double x, y;
  two_diff(a, b, x, y);
  Expansion<N> e;
  if (y != 0.0) e.c[e.n++] = y;
  if (x != 0.0) e.c[e.n++] = x;
  return e;
}

// Both determinants from their differences (D components each): D = 1 when every
// difference was exact in double, which is the rule for coordinates of similar magnitude.
template <int D>
int orient2d_exact(const double* a, const double* b, const double* c) {
  const Expansion<D> bx = difference<D>(b[0], a[0]), by = difference<D>(b[1], a[1]);
  const Expansion<D> cx = difference<D>(c[0], a[0]), cy = difference<D>(c[1], a[1]);
  return add(multiply(bx, cy), negate(multiply(by, cx))).sign();
}

template <int D>
int orient3d_exact(const double* a, const double* b, const double* c, const double* d) {
  Expansion<D> e[3], f[3], g[3];
  for (int k = 0; k < 3; ++k) {
    e[k] = difference<D>(b[k], a[k]);
    f[k] = difference<D>(c[k], a[k]);
    g[k] = difference<D>(d[k], a[k]);
  }
  // g . (e x f), one cross-product coordinate at a time.
  const auto term = [&](int k) {
    const int i = (k + 1) % 3, j = (k + 2) % 3;
    return multiply(g[k], add(multiply(e[i], f[j]), negate(multiply(e[j], f[i]))));
  };
  return add(add(term(0), term(1)), term(2)).sign();
}

bool exact_difference(double a, double b) {
  double x, y;
  two_diff(a, b, x, y);
  return y == 0.0;
}

// Relative error bounds of the filters, in units of the permanent (the same expression with
// every term taken by magnitude), with u = 2^-53: (3 + 16u)u in 2-d and (7 + 56u)u in 3-d.
// They cover the rounding of the differences as well as of the products and sums.
constexpr double kUnit = 1.1102230246251565e-16;  // 2^-53
constexpr double kBound2 = (3.0 + 16.0 * kUnit) * kUnit;
constexpr double kBound3 = (7.0 + 56.0 * kUnit) * kUnit;

int sign_of(double v) {
  return v > 0.0 ? 1 : (v < 0.0 ? -1 : 0);
}

}  // namespace

int orient2d(const double* a, const double* b, const double* c) {
  const double left = (b[0] - a[0]) * (c[1] - a[1]);
  const double right = (b[1] - a[1]) * (c[0] - a[0]);
  const double det = left - right;
  const double bound = kBound2 * (std::fabs(left) + std::fabs(right));
  if (det > bound || -det > bound) return sign_of(det);

  for (int k = 0; k < 2; ++k) {
    if (!exact_difference(b[k], a[k]) || !exact_difference(c[k], a[k])) {
      return orient2d_exact<2>(a, b, c);
    }
  }
  return orient2d_exact<1>(a, b, c);
}

Orient3dPlane orient3d_plane(const double* a, const double* b, const double* c) {
  const double bx = b[0] - a[0], by = b[1] - a[1], bz = b[2] - a[2];
  const double cx = c[0] - a[0], cy = c[1] - a[1], cz = c[2] - a[2];
  const double byc = by * cz, bzc = bz * cy;
  const double bzx = bz * cx, bxz = bx * cz;
  const double bxy = bx * cy, byx = by * cx;
  return {{byc - bzc, bzx - bxz, bxy - byx},
          {std::fabs(byc) + std::fabs(bzc), std::fabs(bzx) + std::fabs(bxz),
           std::fabs(bxy) + std::fabs(byx)}};
}

int orient3d(const double* a, const double* b, const double* c, const double* d) {
  double height;
  return orient3d(orient3d_plane(a, b, c), a, b, c, d, height);
}

int orient3d(const Orient3dPlane& plane, const double* a, const double* b, const double* c,
             const double* d, double& height) {
  const double dx = d[0] - a[0], dy = d[1] - a[1], dz = d[2] - a[2];
  const double det = dx * plane.normal[0] + dy * plane.normal[1] + dz * plane.normal[2];
  const double permanent = std::fabs(dx) * plane.magnitude[0] + std::fabs(dy) * plane.magnitude[1] +
                           std::fabs(dz) * plane.magnitude[2];
  const double bound = kBound3 * permanent;
  height = det;
  if (det > bound || -det > bound) return sign_of(det);

  for (int k = 0; k < 3; ++k) {
    if (!exact_difference(b[k], a[k]) || !exact_difference(c[k], a[k]) ||
        !exact_difference(d[k], a[k])) {
      return orient3d_exact<2>(a, b, c, d);
    }
  }
  return orient3d_exact<1>(a, b, c, d);
}

}  // namespace vorn
