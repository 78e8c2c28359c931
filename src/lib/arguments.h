// Binding a call's arguments to its parameters, and converting the plain ones.
// The binding messages are part of the module's interface: keep their exact wording.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>

#include "lib/py_ref.h"

namespace vorn::py {

constexpr std::size_t kMaxParameters = 5;

// Binds positional args (a tuple) and keywords (a dict or null) to the parameters, in the
// order: too many positionals, then each keyword in dict order, then missing ones.
// On success out[0 .. count) hold strong references; on failure a TypeError is set.
bool bind_arguments(const char* function, const char* const* parameters, std::size_t count,
                    PyObject* args, PyObject* kwargs, PyRef* out);

// An int (or an object with __index__) as an unsigned 64-bit value; false with the
// interpreter's exception set (OverflowError below 0 or from 2^64 on).
bool to_u64(PyObject* obj, std::uint64_t* out);

// The interpreter's float conversion; false with its exception set.
bool to_double(PyObject* obj, double* out);

// If the pending exception is exactly a TypeError, replaces it with a TypeError reading
// "argument '{parameter}': {text}", keeping the original's __cause__. Others pass unchanged.
void prefix_type_error(const char* parameter);

}  // namespace vorn::py
