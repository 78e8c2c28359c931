// Determinant of a small dense matrix: closed forms up to 3 x 3, LU with partial pivoting beyond.
// Every product and sum is rounded on its own in the grouping written here: results are compared
// bit for bit.
#include "utils/size_measures/determinant.h"

#include <cmath>
#include <utility>

namespace vorn {

std::size_t lu_decompose(double* a, std::size_t d) {
  auto at = [a, d](std::size_t r, std::size_t c) -> double& { return a[r + c * d]; };
  std::size_t exchanges = 0;
  for (std::size_t i = 0; i < d; ++i) {
    // Strictly greater replaces: the first of equal maxima wins, and NaN never wins
    // unless it already stands on the diagonal.
    std::size_t p = i;
    double best = std::fabs(at(i, i));
    for (std::size_t r = i + 1; r < d; ++r) {
      const double m = std::fabs(at(r, i));
      if (m > best) {
        best = m;
        p = r;
      }
    }
    const double v = at(p, i);
    if (v == 0.0) continue;  // the whole column below is zero: nothing to eliminate
    if (p != i) {
      ++exchanges;
      for (std::size_t c = 0; c < d; ++c) std::swap(at(i, c), at(p, c));
    }
    // A multiplication by the reciprocal, not a division: it rounds differently.
    const double q = 1.0 / v;
    for (std::size_t r = i + 1; r < d; ++r) at(r, i) = at(r, i) * q;
    for (std::size_t k = i + 1; k < d; ++k) {
      const double u = at(i, k);
      for (std::size_t r = i + 1; r < d; ++r) at(r, k) = at(r, k) - at(r, i) * u;
    }
  }
  return exchanges;
}

double determinant(const std::vector<double>& a, std::size_t d) {
  auto at = [&a, d](std::size_t r, std::size_t c) { return a[r + c * d]; };
  if (d == 1) return at(0, 0);
  if (d == 2) return at(0, 0) * at(1, 1) - at(1, 0) * at(0, 1);
  if (d == 3) {
    const double A = at(1, 1) * at(2, 2) - at(2, 1) * at(1, 2);
    const double B = at(1, 0) * at(2, 2) - at(2, 0) * at(1, 2);
    const double C = at(1, 0) * at(2, 1) - at(2, 0) * at(1, 1);
    // This exact grouping: the first two terms together, then the third.
    return (at(0, 0) * A - at(0, 1) * B) + at(0, 2) * C;
  }
  std::vector<double> lu(a);
  const std::size_t exchanges = lu_decompose(lu.data(), d);
  double det = 1.0;
  for (std::size_t i = 0; i < d; ++i) det = det * lu[i + i * d];
  return exchanges % 2 == 1 ? -det : det;
}

}  // namespace vorn
