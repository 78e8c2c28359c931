// Binding a call's arguments to its parameters, and converting the plain ones.
// The binding messages are part of the module's interface: keep their exact wording.
#include "lib/arguments.h"

#include <string>

namespace vorn::py {

namespace {

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_list(const char* const* names, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) {
      if (count == 2)
        out += " and ";
      else if (i + 1 == count)
        out += ", and ";
      else
        out += ", ";
    }
    out += '\'';
    out += names[i];
    out += '\'';
  }
  return out;
}

}  // namespace

bool bind_arguments(const char* function, const char* const* parameters, std::size_t count,
                    PyObject* args, PyObject* kwargs, PyRef* out) {
  const Py_ssize_t given = PyTuple_Size(args);
  if (given < 0) return false;
  if (static_cast<std::size_t>(given) > count) {
    PyErr_Format(PyExc_TypeError, "%s() takes %zu positional arguments but %zd were given",
                 function, count, given);
    return false;
  }
  for (Py_ssize_t i = 0; i < given; ++i) out[i] = PyRef::borrow(PyTuple_GetItem(args, i));

  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      std::size_t slot = count;
      if (PyUnicode_Check(key)) {
        for (std::size_t p = 0; p < count; ++p) {
          if (PyUnicode_CompareWithASCIIString(key, parameters[p]) == 0) {
            slot = p;
            break;
          }
        }
      }
      if (slot == count) {
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", function,
                     key);
        return false;
      }
      if (out[slot]) {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function,
                     parameters[slot]);
        return false;
      }
      out[slot] = PyRef::borrow(value);
    }
  }

  const char* missing[kMaxParameters];
  std::size_t n_missing = 0;
  for (std::size_t p = 0; p < count; ++p) {
    if (!out[p]) missing[n_missing++] = parameters[p];
  }
  if (n_missing > 0) {
    const std::string list = quoted_list(missing, n_missing);
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional %s: %s", function,
                 n_missing, n_missing == 1 ? "argument" : "arguments", list.c_str());
    return false;
  }
  return true;
}

bool to_u64(PyObject* obj, std::uint64_t* out) {
  PyRef index;
  if (!PyLong_Check(obj)) {
    index = PyRef(PyNumber_Index(obj));
    if (!index) return false;
    obj = index.get();
  }
  const unsigned long long value = PyLong_AsUnsignedLongLong(obj);
  // 2^64 - 1 is a valid value; it is a failure only when an exception is pending.
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  *out = value;
  return true;
}

bool to_double(PyObject* obj, double* out) {
  const double value = PyFloat_AsDouble(obj);
  if (value == -1.0 && PyErr_Occurred()) return false;
  *out = value;
  return true;
}

void prefix_type_error(const char* parameter) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  // Exactly TypeError, not a subclass: every other exception passes untouched.
  if (type != PyExc_TypeError) {
    PyErr_Restore(type, value, traceback);
    return;
  }
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef caught_type(type), caught(value), caught_traceback(traceback);
  PyRef text(PyObject_Str(caught.get()));
  if (!text) return;
  PyRef message(PyUnicode_FromFormat("argument '%s': %U", parameter, text.get()));
  if (!message) return;
  PyRef replacement(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr));
  if (!replacement) return;
  PyObject* cause = PyException_GetCause(caught.get());                  // new reference or null
  if (cause != nullptr) PyException_SetCause(replacement.get(), cause);  // steals it
  PyErr_SetObject(PyExc_TypeError, replacement.get());
}

}  // namespace vorn::py
