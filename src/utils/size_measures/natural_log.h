// Natural logarithm from additions, multiplications and one division only, so that it gives the
// same bits on every platform (a C library's log need not): never replace it by std::log.
#pragma once

#include <cstdint>

namespace vorn {

// The natural logarithm of x * 2^exponent, for x >= 0 (a sign is ignored: |x| is used), with an
// error below two units in the last place. The exponent lets a product too small or too large
// for a double keep its scale. x = 0 gives -infinity, an infinite x +infinity, NaN gives NaN.
// Never fails.
double natural_log(double x, std::int64_t exponent = 0);

}  // namespace vorn
