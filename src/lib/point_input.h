// Reading `points` in its two forms (a sequence of sequences, a 2-d float64 NumPy array)
// into a PointSet. Conversion happens first; the dimension rules apply only when building.
#pragma once

#include <Python.h>

#include <cstddef>
#include <vector>

#include "base/point_set.h"
#include "lib/py_ref.h"

namespace vorn::py {

// Sequence form after conversion: every coordinate list in input order, not yet compared.
struct CoordinateLists {
  Coordinates values;                // all lists back to back
  std::vector<std::size_t> lengths;  // length of each list
};

// Converts a sequence of sequences of numbers. False with an exception set (TypeError for
// str or non-sequences, the interpreter's own for coordinates that are not numbers).
bool convert_sequence_points(PyObject* obj, CoordinateLists* out);

// Builds the PointSet from converted lists, consuming them. False with ValueError set for
// an empty first list or a list whose length differs from the first one's.
bool parse_points(CoordinateLists&& lists, PointSet* out);

// NumPy form after conversion: a 2-d float64 array (or float32, when asked for), held for the
// rest of the call.
struct ArrayView {
  PyRef array;
  bool float32_too = false;
};

// Checks that obj is a 2-d float64 NumPy array, or float32 when float32_too. False with an
// exception set: TypeError for anything else, PanicException when NumPy's C interface cannot
// be had.
bool convert_numpy_points(PyObject* obj, bool float32_too, ArrayView* out);

// The array's rows as a PointSet: float64 or float32 rows read in place when they lie back to
// back, aligned (the view holds while view.array does; kernels widen float32 values to double
// as they read them, exactly), otherwise copied through the strides into doubles. False with
// ValueError set for an array without columns.
bool parse_numpy_points(const ArrayView& view, PointSet* out);

}  // namespace vorn::py
