// The extension module vorn._core: initialisation and the one call sequence every function runs.
// Arguments are converted in declaration order before the point set is built: keep that order.
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/executor.h"
#include "lib/arguments.h"
#include "lib/errors.h"
#include "lib/function_table.h"
#include "lib/interpreter_lock.h"
#include "lib/point_input.h"
#include "lib/py_ref.h"

namespace vorn::py {

namespace {

PyObject* to_python(double value) {
  return PyFloat_FromDouble(value);
}

PyObject* to_python(std::uint64_t value) {
  return PyLong_FromUnsignedLongLong(value);
}

PyObject* to_python(std::int64_t value) {
  return PyLong_FromLongLong(value);
}

// A list of ints: indices, positions or stratum numbers.
template <class T>
PyObject* to_python(const std::vector<T>& values) {
  PyRef list(PyList_New(static_cast<Py_ssize_t>(values.size())));
  if (!list) return nullptr;
  for (std::size_t k = 0; k < values.size(); ++k) {
    PyObject* item = to_python(values[k]);
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), item);  // steals item
  }
  return list.release();
}

// A tuple of the converted parts, in order.
template <class... T>
PyObject* to_tuple(const T&... parts) {
  PyRef items[] = {PyRef(to_python(parts))...};
  for (const PyRef& item : items) {
    if (!item) return nullptr;
  }
  PyRef tuple(PyTuple_New(sizeof...(T)));
  if (!tuple) return nullptr;
  for (std::size_t k = 0; k < sizeof...(T); ++k) {
    PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(k), items[k].release());  // steals
  }
  return tuple.release();
}

PyObject* to_python(const MedoidLabels& result) {
  return to_tuple(result.medoids, result.labels, result.cost);
}

PyObject* to_python(const StrataLabels& result) {
  return to_tuple(result.chosen, result.strata);
}

// default_threads(), with one RuntimeWarning for a VORN_NUM_THREADS that was refused. False
// with an exception set when warnings are errors.
bool checked_default_threads(std::size_t* threads) {
  *threads = default_threads();
  const std::optional<std::string> refused = take_refused_thread_setting();
  if (!refused) return true;
  PyRef text(PyUnicode_DecodeFSDefault(refused->c_str()));
  if (!text) return false;
  return PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                          "VORN_NUM_THREADS must be a thread count from 1 to %zu, or -1 for "
                          "every hardware thread; ignoring %R and using %zu threads",
                          kMaxThreads, text.get(), *threads) == 0;
}

// `points` from its conversion (step 2) to the PointSet (step 4): coordinate lists, or the
// array, held until the computation is done.
struct PointInput {
  CoordinateLists lists;
  ArrayView array;

  bool convert(Form form, PyObject* obj, bool float32_too) {
    const bool converted = form == Form::Sequence ? convert_sequence_points(obj, &lists)
                                                  : convert_numpy_points(obj, float32_too, &array);
    if (!converted) prefix_type_error("points");
    return converted;
  }

  bool build(Form form, PointSet* out) {
    return form == Form::Sequence ? parse_points(std::move(lists), out)
                                  : parse_numpy_points(array, out);
  }
};

// Runs compute(executor) without the interpreter lock and releases the points there too.
// False with an exception set when the thread setting's warning is an error.
template <class Compute>
bool compute_released(PointSet& points, const Compute& compute) {
  std::size_t threads = 0;
  if (!checked_default_threads(&threads)) return false;
  InterpreterReleased released;
  const Executor executor(threads, CancelHook{&InterpreterReleased::signal_pending, &released});
  compute(executor);
  points = PointSet();
  return true;
}

}  // namespace

// Steps of every call, in order: bind; convert points; convert the other parameters in
// declaration order; build the PointSet; compute and release the points without the
// interpreter lock; convert the result.
template <auto F>
PyObject* call_row(const FunctionRow& row, bool float32_too, PyObject* args, PyObject* kwargs) {
  using Row = Computation<F>;
  PyRef bound[kMaxParameters];
  if (!bind_arguments(row.name, row.parameters, row.count, args, kwargs, bound)) return nullptr;
  PointInput input;
  if (!input.convert(row.form, bound[0].get(), float32_too)) return nullptr;
  typename Row::Values values;
  if (!Row::convert(row, bound, values)) return nullptr;
  PointSet points;
  if (!input.build(row.form, &points)) return nullptr;
  typename Row::Result result{};
  const bool done = compute_released(
      points, [&](const Executor& executor) { result = Row::compute(points, values, executor); });
  if (!done) return nullptr;
  input.array.array = PyRef();  // the points may have been read in place until now
  return to_python(result);
}

namespace {

template <std::size_t I, bool kFloat32Too>
PyObject* entry(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
  try {
    return kFunctions[I].call(kFunctions[I], kFloat32Too, args, kwargs);
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

template <bool kFloat32Too, std::size_t... I>
void fill_entries(PyMethodDef* defs, std::index_sequence<I...>) {
  ((defs[I] = PyMethodDef{kFunctions[I].name,
                          reinterpret_cast<PyCFunction>(
                              reinterpret_cast<void (*)(void)>(&entry<I, kFloat32Too>)),
                          METH_VARARGS | METH_KEYWORDS, nullptr}),
   ...);
}

// "name(parameters)\n--\n\n": the text signature that starts a doc string.
std::string signature_doc(const std::string& name, const FunctionRow& row) {
  std::string doc = name + "(";
  for (std::size_t p = 0; p < row.count; ++p) {
    if (p > 0) doc += ", ";
    doc += row.parameters[p];
  }
  return doc + ")\n--\n\n";
}

// Method definitions, their names and doc strings live for the whole process: the function
// objects point into them.
PyMethodDef* method_definitions() {
  static PyMethodDef* defs = nullptr;
  if (defs != nullptr) return defs;
  defs = new PyMethodDef[kFunctionCount];
  auto* docs = new std::string[kFunctionCount];
  fill_entries<false>(defs, std::make_index_sequence<kFunctionCount>{});
  for (std::size_t i = 0; i < kFunctionCount; ++i) {
    docs[i] = signature_doc(kFunctions[i].name, kFunctions[i]);
    defs[i].ml_doc = docs[i].c_str();
  }
  return defs;
}

// The package's twins of the NumPy-form rows, "_{name without _numpy}_array": the same call,
// except that a float32 array is read too (widened to double, exactly, so that the package
// need not make a float64 copy). Private, outside __all__; the list ends with an empty entry.
PyMethodDef* array_method_definitions() {
  static PyMethodDef* defs = nullptr;
  if (defs != nullptr) return defs;
  PyMethodDef every[kFunctionCount];
  fill_entries<true>(every, std::make_index_sequence<kFunctionCount>{});
  defs = new PyMethodDef[kFunctionCount + 1]{};
  auto* names = new std::string[kFunctionCount];
  auto* docs = new std::string[kFunctionCount];
  std::size_t k = 0;
  for (std::size_t i = 0; i < kFunctionCount; ++i) {
    if (kFunctions[i].form != Form::Numpy) continue;
    const std::string name = kFunctions[i].name;
    const char* prefix = name[0] == '_' ? "" : "_";  // a private row keeps its one underscore
    names[k] = prefix + name.substr(0, name.size() - std::strlen("_numpy")) + "_array";
    docs[k] = signature_doc(names[k], kFunctions[i]) + "Same as " + name +
              ", and reads a float32 array too.";
    defs[k] = every[i];
    defs[k].ml_name = names[k].c_str();
    defs[k].ml_doc = docs[k].c_str();
    ++k;
  }
  return defs;
}

// Thread-count controls for the package layer; private, outside __all__.
bool size_from_python(PyObject* value, std::size_t* out) {
  const unsigned long long n = PyLong_AsUnsignedLongLong(value);
  if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  *out = static_cast<std::size_t>(n);
  return true;
}

PyObject* num_threads(PyObject*, PyObject*) {
  std::size_t threads = 0;
  if (!checked_default_threads(&threads)) return nullptr;
  return PyLong_FromSize_t(threads);
}

PyObject* set_num_threads(PyObject*, PyObject* value) {
  std::size_t threads = 0;
  if (!size_from_python(value, &threads)) return nullptr;
  set_default_threads(threads);
  Py_RETURN_NONE;
}

PyObject* set_thread_num_threads(PyObject*, PyObject* value) {
  std::size_t threads = 0;
  if (!size_from_python(value, &threads)) return nullptr;
  const std::size_t previous = thread_threads();
  set_thread_threads(threads);
  return PyLong_FromSize_t(previous);
}

PyMethodDef thread_controls[] = {
    {"_num_threads", &num_threads, METH_NOARGS,
     "_num_threads()\n--\n\nThreads a call made now on this thread may use."},
    {"_set_num_threads", &set_num_threads, METH_O,
     "_set_num_threads(threads)\n--\n\nSets the process-wide thread count (0: the default)."},
    {"_set_thread_num_threads", &set_thread_num_threads, METH_O,
     "_set_thread_num_threads(threads)\n--\n\nSets this thread's own count (0: none); "
     "returns the previous one."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "_core",
    "The compiled core of vorn: size measures and seeded samplers of point clouds.\n"
    "Its initialisation function PyInit__core must match the library name configured\n"
    "in the build, or the interpreter cannot import the module.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Creates the function object of one row and registers it: __all__ first (public rows only),
// then the attribute.
bool add_function(PyObject* module, PyObject* module_name, PyMethodDef* def) {
  PyRef function(PyCMethod_New(def, module, module_name, nullptr));
  if (!function) return false;
  PyRef name(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return false;
  if (def->ml_name[0] == '_') return PyObject_SetAttr(module, name.get(), function.get()) == 0;
  PyRef all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = PyRef(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
  }
  if (PyList_Append(all.get(), name.get()) < 0) {
    PyErr_Clear();
    raise_panic("could not append __name__ to __all__");
    return false;
  }
  return PyObject_SetAttr(module, name.get(), function.get()) == 0;
}

PyObject* create_module() {
  PyRef module(PyModule_Create(&module_definition));
  if (!module) return nullptr;
  PyRef module_name(PyModule_GetNameObject(module.get()));
  if (!module_name) return nullptr;
  PyMethodDef* defs = method_definitions();
  for (std::size_t i = 0; i < kFunctionCount; ++i) {
    if (!add_function(module.get(), module_name.get(), &defs[i])) return nullptr;
  }
  if (PyModule_AddFunctions(module.get(), thread_controls) < 0) return nullptr;
  if (PyModule_AddFunctions(module.get(), array_method_definitions()) < 0) return nullptr;
  if (!watch_interpreter_exit()) return nullptr;
  PyObject* panic = panic_exception_type();
  if (panic == nullptr || PyObject_SetAttrString(module.get(), "PanicException", panic) < 0) {
    return nullptr;
  }
  return module.release();
}

}  // namespace

}  // namespace vorn::py

extern "C" PyMODINIT_FUNC PyInit__core() {
  using namespace vorn::py;
  // The module keeps process-wide state, so it lives in one interpreter only.
  static std::atomic<std::int64_t> recorded_interpreter{-1};
  static PyObject* created = nullptr;
  const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id == -1 && PyErr_Occurred()) return nullptr;
  std::int64_t expected = -1;
  if (!recorded_interpreter.compare_exchange_strong(expected, id) && expected != id) {
    PyErr_SetString(PyExc_ImportError, "vorn._core does not support loading in subinterpreters");
    return nullptr;
  }
  if (created != nullptr) {
    Py_INCREF(created);
    return created;
  }
  try {
    created = create_module();
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
  if (created == nullptr) return nullptr;
  Py_INCREF(created);  // one reference for the process-wide cell, one for the caller
  return created;
}
