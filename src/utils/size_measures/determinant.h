// Determinant of a small dense matrix: closed forms up to 3 x 3, LU with partial pivoting beyond.
// Every product and sum is rounded on its own in the grouping written here: results are compared
// bit for bit.
#pragma once

#include <cstddef>
#include <vector>

#include "base/executor.h"

namespace vorn {

// In-place LU decomposition with partial pivoting.
// a: d x d matrix stored column by column (element (r, c) at a[r + c * d]).
// On return the upper triangle of a holds U and the strict lower triangle the multipliers
// of L, in the rows as exchanged. Returns the number of row exchanges made.
// Pivot: the first row of greatest |a(r, i)| at or below the diagonal; a zero pivot
// (either sign) skips its column without exchange or elimination. The columns of one
// elimination step are shared out over the executor's threads (each is its own output).
// Throws Panic::interrupted() when the executor is stopped.
std::size_t lu_decompose(double* a, std::size_t d, const Executor& executor = Executor());

// a: d x d matrix stored column by column, d >= 1 (a.size() == d * d); taken by value, so
// that a caller done with it can move it in instead of having it copied.
// d = 1, 2, 3: the cofactor closed forms; d >= 4: the product of U's diagonal from
// lu_decompose, taken from 1.0 upward and negated after an odd number of row exchanges.
// NaN and infinities propagate. Throws Panic::interrupted() when the executor is stopped.
double determinant(std::vector<double> a, std::size_t d, const Executor& executor = Executor());

// ln |det a| from the same closed forms or the same factorisation as determinant(), with the
// product of U's diagonal kept as a mantissa and a separate power of two, so that it neither
// underflows nor overflows: while determinant() stays a normal double, this is natural_log of
// exactly its value. 0 gives -infinity, NaN gives NaN. Throws Panic::interrupted() when the
// executor is stopped.
double log_abs_determinant(std::vector<double> a, std::size_t d,
                           const Executor& executor = Executor());

}  // namespace vorn
