// Determinant of a small dense matrix: closed forms up to 3 x 3, LU with partial pivoting beyond.
// Every product and sum is rounded on its own in the grouping written here: results are compared
// bit for bit.
#pragma once

#include <cstddef>
#include <vector>

namespace vorn {

// In-place LU decomposition with partial pivoting.
// a: d x d matrix stored column by column (element (r, c) at a[r + c * d]).
// On return the upper triangle of a holds U and the strict lower triangle the multipliers
// of L, in the rows as exchanged. Returns the number of row exchanges made.
// Pivot: the first row of greatest |a(r, i)| at or below the diagonal; a zero pivot
// (either sign) skips its column without exchange or elimination. Never fails.
std::size_t lu_decompose(double* a, std::size_t d);

// a: d x d matrix stored column by column, d >= 1 (a.size() == d * d).
// d = 1, 2, 3: the cofactor closed forms; d >= 4: the product of U's diagonal from
// lu_decompose on a copy, taken from 1.0 upward and negated after an odd number of
// row exchanges. NaN and infinities propagate. Never fails.
double determinant(const std::vector<double>& a, std::size_t d);

}  // namespace vorn
