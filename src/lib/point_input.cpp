// Reading `points` in its two forms (a sequence of sequences, a 2-d float64 NumPy array)
// into a PointSet. Conversion happens first; the dimension rules apply only when building.
#include "lib/point_input.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "lib/arguments.h"
#include "lib/errors.h"

namespace vorn::py {

namespace {

// Largest number of entries reserved on the strength of a len() alone: 2^24 coordinates
// (128 MiB); longer inputs grow their buffers as they are read.
constexpr std::size_t kMaxReservedFromHint = std::size_t(1) << 24;

// "'{type}' object cannot be cast as '{target}'", type being the __qualname__ of obj's type.
bool fail_cast(PyObject* obj, const char* target) {
  PyRef name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__qualname__"));
  if (name && PyUnicode_Check(name.get())) {
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as '%s'", name.get(), target);
  } else {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object cannot be cast as '%s'",
                 target);
  }
  return false;
}

// The outer and the point level accept any sequence except str.
bool check_sequence(PyObject* obj) {
  if (PyUnicode_Check(obj)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return false;
  }
  if (!PySequence_Check(obj)) return fail_cast(obj, "Sequence");
  return true;
}

// len(obj) as a capacity hint only; a failing len() is ignored.
std::size_t length_hint(PyObject* obj) {
  const Py_ssize_t len = PyObject_Length(obj);
  if (len < 0) {
    PyErr_Clear();
    return 0;
  }
  return static_cast<std::size_t>(len);
}

bool append_coordinate(PyObject* item, Coordinates* values) {
  const double v = PyFloat_AsDouble(item);
  if (v == -1.0 && PyErr_Occurred()) return false;
  values->push_back(v);
  return true;
}

// Calls visit(item) for each item of obj in iteration order; stops at the first false.
// Exact lists and tuples are walked by index, which sees exactly what their iterators
// would (the length is re-read at every step); items are held while visited, since
// converting one may run Python code that changes the container.
template <class Visit>
bool for_each_item(PyObject* obj, Visit visit) {
  if (PyList_CheckExact(obj)) {
    for (Py_ssize_t i = 0; i < PyList_Size(obj); ++i) {
      PyRef item = PyRef::borrow(PyList_GetItem(obj, i));
      if (!visit(item.get())) return false;
    }
    return true;
  }
  if (PyTuple_CheckExact(obj)) {
    const Py_ssize_t size = PyTuple_Size(obj);
    for (Py_ssize_t i = 0; i < size; ++i) {
      if (!visit(PyTuple_GetItem(obj, i))) return false;  // a tuple keeps its items alive
    }
    return true;
  }
  PyRef iterator(PyObject_GetIter(obj));
  if (!iterator) return false;
  while (PyRef item{PyIter_Next(iterator.get())}) {
    if (!visit(item.get())) return false;
  }
  return !PyErr_Occurred();
}

}  // namespace

bool convert_sequence_points(PyObject* obj, CoordinateLists* out) {
  if (!check_sequence(obj)) return false;
  // Lengths are hints that a sequence may overstate; reserve from them only up to a fixed
  // cap, and past it let the buffers grow with what is actually read.
  const std::size_t n_hint = length_hint(obj);
  out->lengths.reserve(std::min(n_hint, kMaxReservedFromHint));
  Coordinates& values = out->values;
  return for_each_item(obj, [&](PyObject* point) {
    if (!check_sequence(point)) return false;
    const std::size_t start = values.size();
    const std::size_t d_hint = length_hint(point);
    // One allocation when every point is like the first. The guess n * d0 stays under the
    // cap: a long first point followed by short ones must reach the dimension check rather
    // than fail to reserve memory for points that are not there.
    std::size_t wanted = start + std::min(d_hint, kMaxReservedFromHint);
    if (out->lengths.empty() && d_hint > 0 && n_hint <= kMaxReservedFromHint / d_hint) {
      wanted = std::max(wanted, n_hint * d_hint);
    }
    if (wanted > values.capacity()) {
      values.reserve(std::max(wanted, 2 * values.capacity()));  // geometric: linear in total
    }
    const bool ok = for_each_item(
        point, [&](PyObject* coordinate) { return append_coordinate(coordinate, &values); });
    if (!ok) return false;
    out->lengths.push_back(values.size() - start);
    return true;
  });
}

bool parse_points(CoordinateLists&& lists, PointSet* out) {
  CoordinateLists consumed = std::move(lists);
  const std::size_t n = consumed.lengths.size();
  if (n == 0) {
    *out = PointSet();
    return true;
  }
  const std::size_t d = consumed.lengths[0];
  if (d == 0) {
    PyErr_SetString(PyExc_ValueError, "Points must have at least one dimension");
    return false;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (consumed.lengths[i] != d) {
      PyErr_Format(PyExc_ValueError, "Point %zu has dimension %zu, expected %zu", i,
                   consumed.lengths[i], d);
      return false;
    }
  }
  out->n = n;
  out->d = d;
  out->coords = CoordinateBlock(std::move(consumed.values));
  return true;
}

// --- NumPy form ---------------------------------------------------------------------

namespace {

// The leading fields of NumPy's array object, a layout NumPy keeps stable across 1.x and 2.x.
struct NumpyArrayFields {
  PyObject_HEAD char* data;
  int nd;
  Py_ssize_t* dimensions;
  Py_ssize_t* strides;
  PyObject* base;
  PyObject* descr;
  int flags;
};

// The three entries of NumPy's C function table that are needed here.
constexpr int kArrayTypeSlot = 2;
constexpr int kDescrFromTypeSlot = 45;
constexpr int kEquivTypesSlot = 182;
constexpr int kFloat32TypeNumber = 11;
constexpr int kFloat64TypeNumber = 12;

enum class ArrayElement { None, Float64, Float32 };

struct NumpyApi {
  PyTypeObject* array_type = nullptr;
  PyObject* float64 = nullptr;  // the descriptors, kept for the life of the process
  PyObject* float32 = nullptr;
  unsigned char (*equiv_types)(PyObject*, PyObject*) = nullptr;
};

// Replaces the pending exception by PanicException "Failed to access NumPy array API
// capsule: {repr of the original}".
void raise_capsule_failure() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef owned_type(type), owned_value(value), owned_traceback(traceback);
  PyObject* panic = panic_exception_type();
  if (panic == nullptr) return;
  PyRef message(owned_value
                    ? PyUnicode_FromFormat("Failed to access NumPy array API capsule: %R", value)
                    : PyUnicode_FromString("Failed to access NumPy array API capsule"));
  if (message) PyErr_SetObject(panic, message.get());
}

// Imports NumPy and reads its C function table from the _ARRAY_API capsule; null with
// the pending exception left set on failure.
void** load_array_api() {
  PyRef numpy(PyImport_ImportModule("numpy"));
  if (!numpy) return nullptr;
  PyRef version(PyObject_GetAttrString(numpy.get(), "__version__"));
  if (!version) return nullptr;
  PyRef lib(PyObject_GetAttrString(numpy.get(), "lib"));
  if (!lib) return nullptr;
  PyRef parsed(PyObject_CallMethod(lib.get(), "NumpyVersion", "O", version.get()));
  if (!parsed) return nullptr;
  PyRef major(PyObject_GetAttrString(parsed.get(), "major"));
  if (!major) return nullptr;
  const long major_value = PyLong_AsLong(major.get());
  if (major_value == -1 && PyErr_Occurred()) return nullptr;
  const char* name = major_value < 2 ? "numpy.core.multiarray" : "numpy._core.multiarray";
  PyRef multiarray(PyImport_ImportModule(name));
  if (!multiarray) return nullptr;
  PyRef capsule(PyObject_GetAttrString(multiarray.get(), "_ARRAY_API"));
  if (!capsule) return nullptr;
  return static_cast<void**>(PyCapsule_GetPointer(capsule.get(), nullptr));
}

const NumpyApi* numpy_api() {
  // Filled once under the interpreter lock; importing NumPy may let another thread in,
  // which then fills the same values.
  static NumpyApi api;
  if (api.array_type != nullptr) return &api;
  void** table = load_array_api();
  if (table == nullptr) {
    raise_capsule_failure();
    return nullptr;
  }
  auto descr_from_type = reinterpret_cast<PyObject* (*)(int)>(table[kDescrFromTypeSlot]);
  PyRef float64(descr_from_type(kFloat64TypeNumber));
  PyRef float32(float64 ? descr_from_type(kFloat32TypeNumber) : nullptr);
  if (!float32) {
    raise_capsule_failure();
    return nullptr;
  }
  if (api.array_type == nullptr) {
    api.float64 = float64.release();
    api.float32 = float32.release();
    api.equiv_types =
        reinterpret_cast<unsigned char (*)(PyObject*, PyObject*)>(table[kEquivTypesSlot]);
    api.array_type = static_cast<PyTypeObject*>(table[kArrayTypeSlot]);
  }
  return &api;
}

const NumpyArrayFields* fields(PyObject* array) {
  return reinterpret_cast<const NumpyArrayFields*>(array);
}

// The element type of a 2-d array of float64 values in native byte order (Float32 for float32
// values, accepted only when asked for), or None.
ArrayElement matrix_element(const NumpyApi& api, PyObject* obj, bool float32_too) {
  if (!PyObject_TypeCheck(obj, api.array_type)) return ArrayElement::None;
  const NumpyArrayFields* a = fields(obj);
  if (a->nd != 2) return ArrayElement::None;
  const auto is = [&](PyObject* descr) {
    return a->descr == descr || api.equiv_types(a->descr, descr) != 0;
  };
  if (is(api.float64)) return ArrayElement::Float64;
  if (float32_too && is(api.float32)) return ArrayElement::Float32;
  return ArrayElement::None;
}

// Rows of T back to back in native order, each coordinate aligned: the array's own block is the
// PointSet's.
template <class T>
bool readable_in_place(const NumpyArrayFields& a, std::size_t cols) {
  const auto row_bytes = static_cast<Py_ssize_t>(cols * sizeof(T));
  return a.strides[1] == static_cast<Py_ssize_t>(sizeof(T)) &&
         (a.strides[0] == row_bytes || a.dimensions[0] <= 1) &&
         reinterpret_cast<std::uintptr_t>(a.data) % alignof(T) == 0;
}

// Copies the rows through the array's strides, a row at a time where its elements are
// contiguous doubles. Float32 values are widened, exactly.
template <class T>
void copy_rows(const NumpyArrayFields& a, std::size_t rows, std::size_t cols, double* dst) {
  const Py_ssize_t row_stride = a.strides[0];
  const Py_ssize_t col_stride = a.strides[1];
  for (std::size_t i = 0; i < rows; ++i) {
    const char* row = a.data + static_cast<Py_ssize_t>(i) * row_stride;
    if (std::is_same<T, double>::value && col_stride == static_cast<Py_ssize_t>(sizeof(T))) {
      std::memcpy(dst + i * cols, row, cols * sizeof(double));
      continue;
    }
    for (std::size_t j = 0; j < cols; ++j) {
      T value;
      std::memcpy(&value, row + static_cast<Py_ssize_t>(j) * col_stride, sizeof(T));
      dst[i * cols + j] = static_cast<double>(value);
    }
  }
}

}  // namespace

bool convert_numpy_points(PyObject* obj, bool float32_too, ArrayView* out) {
  const NumpyApi* api = numpy_api();
  if (api == nullptr) return false;
  if (matrix_element(*api, obj, float32_too) == ArrayElement::None) {
    return fail_cast(obj, "ndarray");
  }
  out->array = PyRef::borrow(obj);
  out->float32_too = float32_too;
  return true;
}

bool parse_numpy_points(const ArrayView& view, PointSet* out) {
  PyObject* obj = view.array.get();
  // Converting the other arguments may have run Python code; the array's shape and dtype
  // are therefore read again here rather than trusted from the conversion step.
  const NumpyApi* api = numpy_api();
  if (api == nullptr) return false;
  const ArrayElement element = matrix_element(*api, obj, view.float32_too);
  if (element == ArrayElement::None) {
    fail_cast(obj, "ndarray");
    prefix_type_error("points");
    return false;
  }
  const NumpyArrayFields* a = fields(obj);
  const std::size_t rows = static_cast<std::size_t>(a->dimensions[0]);
  const std::size_t cols = static_cast<std::size_t>(a->dimensions[1]);
  if (cols == 0) {
    PyErr_SetString(PyExc_ValueError, "Points must have at least one dimension");
    return false;
  }
  if (element == ArrayElement::Float64 && readable_in_place<double>(*a, cols)) {
    *out = PointSet::view(reinterpret_cast<const double*>(a->data), rows, cols);
    return true;
  }
  if (element == ArrayElement::Float32 && readable_in_place<float>(*a, cols)) {
    *out = PointSet::view(reinterpret_cast<const float*>(a->data), rows, cols);
    return true;
  }
  PointSet points = PointSet::uninitialized(rows, cols);
  if (element == ArrayElement::Float64) {
    copy_rows<double>(*a, rows, cols, points.coords.data());
  } else {
    copy_rows<float>(*a, rows, cols, points.coords.data());
  }
  *out = std::move(points);
  return true;
}

}  // namespace vorn::py
