// Natural logarithm from additions, multiplications and one division only, so that it gives the
// same bits on every platform (a C library's log need not): never replace it by std::log.
#include "utils/size_measures/natural_log.h"

#include <cmath>
#include <limits>

namespace vorn {

namespace {

// ln 2 split so that e * kLn2High is exact for |e| < 2^21 (its low 21 bits are zero), and
// kLn2Low the double nearest to ln 2 - kLn2High.
constexpr double kLn2High = 0x1.62e42fee00000p-1;
constexpr double kLn2Low = 0x1.a39ef35793c76p-33;
// The boundary of the reduced range [sqrt(1/2), sqrt(2)), rounded up.
constexpr double kSqrtHalf = 0x1.6a09e667f3bcdp-1;

// R(z) = sum over k >= 1 of 2 z^k / (2k + 1), the series of ln((1 + s) / (1 - s)) / s - 2 in
// z = s^2; for |s| <= 3 - 2 sqrt 2 ten terms leave a remainder below 2^-60 of the result.
double atanh_series_tail(double z) {
  double r = 2.0 / 21.0;
  for (int k = 9; k >= 1; --k) r = r * z + 2.0 / (2 * k + 1);
  return r * z;
}

}  // namespace

double natural_log(double x, std::int64_t exponent) {
  x = std::fabs(x);
  if (std::isnan(x) || x == std::numeric_limits<double>::infinity()) return x;
  if (x == 0.0) return -std::numeric_limits<double>::infinity();
  int e = 0;
  double m = std::frexp(x, &e);  // exact: m in [1/2, 1)
  std::int64_t k = exponent + e;
  if (m < kSqrtHalf) {
    m = m * 2.0;  // exact
    --k;
  }
  // ln(1 + f) = 2 atanh(s) with s = f / (2 + f); written as f - (h - s (h + R)), h = f^2 / 2,
  // so that the leading term f = m - 1 (exact) carries no rounding.
  const double f = m - 1.0;
  const double s = f / (2.0 + f);
  const double h = 0.5 * f * f;
  const double tail = atanh_series_tail(s * s);
  const double kd = static_cast<double>(k);
  return kd * kLn2High - ((h - (s * (h + tail) + kd * kLn2Low)) - f);
}

}  // namespace vorn
