// Turning failures of the numeric code into Python exceptions.
// Exhausted memory raises MemoryError: the host process is never stopped from here.
#include "lib/errors.h"

#include <exception>
#include <new>
#include <stdexcept>

#include "base/panic.h"
#include "lib/py_ref.h"

namespace vorn::py {

PyObject* panic_exception_type() {
  // Created once under the interpreter lock and kept for the life of the process.
  static PyObject* type = nullptr;
  if (type == nullptr) {
    type = PyErr_NewExceptionWithDoc(
        "vorn.PanicException",
        "An internal failure of vorn's numeric code. Derived from BaseException, so\n"
        "`except Exception` does not catch it; the module stays usable afterwards.",
        PyExc_BaseException, nullptr);
  }
  return type;
}

void raise_panic(const char* message) {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;
  PyRef text(PyUnicode_FromString(message));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

void raise_from_current_exception() {
  try {
    throw;
  } catch (const Panic& e) {
    // A stop asked for by a signal handler: the handler's exception is already set.
    if (e.is_interrupted() && PyErr_Occurred() != nullptr) return;
    raise_panic(e.what());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {
    PyErr_NoMemory();  // a buffer longer than the address space can hold
  } catch (const std::exception& e) {
    raise_panic(e.what());
  } catch (...) {
    raise_panic("unknown internal failure");
  }
}

}  // namespace vorn::py
