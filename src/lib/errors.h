// Turning failures of the numeric code into Python exceptions.
// Called only from inside a catch block of a module entry point.
#pragma once

#include <Python.h>

namespace vorn::py {

// The PanicException class (a direct subclass of BaseException), created on first use.
// Returns a borrowed reference, or null with an exception set.
PyObject* panic_exception_type();

// Raises PanicException with the given message.
void raise_panic(const char* message);

// Sets the Python exception for the C++ exception being handled: Panic becomes
// PanicException, std::bad_alloc becomes MemoryError, anything else PanicException.
void raise_from_current_exception();

}  // namespace vorn::py
