// Determinant of a small dense matrix: closed forms up to 3 x 3, LU with partial pivoting beyond.
// Every product and sum is rounded on its own in the grouping written here: results are compared
// bit for bit.
#include "utils/size_measures/determinant.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "base/simd_clones.h"
#include "utils/size_measures/natural_log.h"

namespace vorn {

namespace {

// Entries updated by one range of an elimination step: the unit of polling and of sharing out.
constexpr std::size_t kRangeEntries = std::size_t(1) << 15;

// The row at or below i holding the pivot of column i. Strictly greater replaces: the first
// of equal maxima wins, and NaN never wins unless it already stands on the diagonal.
std::size_t pivot_row(const double* a, std::size_t d, std::size_t i) {
  const double* column = a + i * d;
  std::size_t p = i;
  double best = std::fabs(column[i]);
  for (std::size_t r = i + 1; r < d; ++r) {
    const double m = std::fabs(column[r]);
    if (m > best) {
      best = m;
      p = r;
    }
  }
  return p;
}

// Columns [k0, k1) of the trailing block lose their multiple of row i. Each column is its own
// chain of updates, so columns may run on any thread in any order; the rows of one column are
// independent too, so they go in lanes.
VORN_SIMD_CLONES
void eliminate_columns(double* a, std::size_t d, std::size_t i, std::size_t k0, std::size_t k1) {
  const double* l = a + i * d;
  for (std::size_t k = k0; k < k1; ++k) {
    double* column = a + k * d;
    const double u = column[i];
    for (std::size_t r = i + 1; r < d; ++r) column[r] = column[r] - l[r] * u;
  }
}

// The closed forms of d = 1, 2, 3.
double small_determinant(const std::vector<double>& a, std::size_t d) {
  auto at = [&a, d](std::size_t r, std::size_t c) { return a[r + c * d]; };
  if (d == 1) return at(0, 0);
  if (d == 2) return at(0, 0) * at(1, 1) - at(1, 0) * at(0, 1);
  const double A = at(1, 1) * at(2, 2) - at(2, 1) * at(1, 2);
  const double B = at(1, 0) * at(2, 2) - at(2, 0) * at(1, 2);
  const double C = at(1, 0) * at(2, 1) - at(2, 0) * at(1, 1);
  // This exact grouping: the first two terms together, then the third.
  return (at(0, 0) * A - at(0, 1) * B) + at(0, 2) * C;
}

}  // namespace

std::size_t lu_decompose(double* a, std::size_t d, const Executor& executor) {
  std::size_t exchanges = 0;
  for (std::size_t i = 0; i < d; ++i) {
    const std::size_t p = pivot_row(a, d, i);
    const double v = a[p + i * d];
    if (v == 0.0) continue;  // the whole column below is zero: nothing to eliminate
    if (p != i) {
      ++exchanges;
      for (std::size_t c = 0; c < d; ++c) std::swap(a[i + c * d], a[p + c * d]);
    }
    // A multiplication by the reciprocal, not a division: it rounds differently.
    const double q = 1.0 / v;
    for (std::size_t r = i + 1; r < d; ++r) a[r + i * d] = a[r + i * d] * q;
    // A large matrix takes seconds: the elimination goes in ranges of columns, and the
    // executor polls between them.
    const std::size_t width = d - i - 1;
    const std::size_t grain = std::max<std::size_t>(1, kRangeEntries / (width + 1));
    executor.for_ranges(width, grain, [&](std::size_t begin, std::size_t end) {
      eliminate_columns(a, d, i, i + 1 + begin, i + 1 + end);
    });
  }
  return exchanges;
}

double determinant(std::vector<double> a, std::size_t d, const Executor& executor) {
  if (d <= 3) return small_determinant(a, d);
  const std::size_t exchanges = lu_decompose(a.data(), d, executor);
  double det = 1.0;
  for (std::size_t i = 0; i < d; ++i) det = det * a[i + i * d];
  return exchanges % 2 == 1 ? -det : det;
}

double log_abs_determinant(std::vector<double> a, std::size_t d, const Executor& executor) {
  if (d <= 3) return natural_log(small_determinant(a, d));
  lu_decompose(a.data(), d, executor);
  // |det| = m 2^e. Both factors of each product are scaled into [1/2, 1) by powers of two
  // (exact), so the product never leaves the normal range and rounds to the same significand
  // as the unscaled product of determinant() while every partial product of that one stays
  // normal.
  double m = 1.0;
  std::int64_t e = 0;
  for (std::size_t i = 0; i < d; ++i) {
    const double u = a[i + i * d];
    if (u == 0.0 || !std::isfinite(u) || m == 0.0 || !std::isfinite(m)) {
      m = m * u;  // zeros, infinities and NaN combine as in the plain product
      continue;
    }
    int eu = 0, em = 0;
    m = std::frexp(m, &em) * std::frexp(u, &eu);
    e += em + eu;
  }
  return natural_log(m, e);
}

}  // namespace vorn
