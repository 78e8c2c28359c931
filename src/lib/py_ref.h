// PyRef: sole owner of one strong Python reference, released exactly once.
// Every reference the module layer creates lives in one of these; nothing is released by hand.
#pragma once

#include <Python.h>

namespace vorn::py {

class PyRef {
 public:
  PyRef() = default;
  // Takes over a new reference (may be null, as returned by a failed API call).
  explicit PyRef(PyObject* owned) : obj_(owned) {}
  static PyRef borrow(PyObject* borrowed) {
    Py_XINCREF(borrowed);
    return PyRef(borrowed);
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : obj_(other.obj_) { other.obj_ = nullptr; }
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      PyObject* old = obj_;
      obj_ = other.obj_;
      other.obj_ = nullptr;
      Py_XDECREF(old);
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(obj_); }

  PyObject* get() const { return obj_; }
  explicit operator bool() const { return obj_ != nullptr; }
  // Hands the reference to a caller that steals it (or returns it to the interpreter).
  PyObject* release() {
    PyObject* out = obj_;
    obj_ = nullptr;
    return out;
  }

 private:
  PyObject* obj_ = nullptr;
};

}  // namespace vorn::py
