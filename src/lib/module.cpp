// The extension module vorn._core: initialisation and the one call sequence every function runs.
// Arguments are converted in declaration order before the point set is built: keep that order.
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "base/executor.h"
#include "lib/arguments.h"
#include "lib/errors.h"
#include "lib/function_table.h"
#include "lib/point_input.h"
#include "lib/py_ref.h"

namespace vorn::py {

namespace {

PyObject* to_python(double value) {
  return PyFloat_FromDouble(value);
}

PyObject* to_python(const Indices& indices) {
  PyRef list(PyList_New(static_cast<Py_ssize_t>(indices.size())));
  if (!list) return nullptr;
  for (std::size_t k = 0; k < indices.size(); ++k) {
    PyObject* item = PyLong_FromUnsignedLongLong(indices[k]);
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), item);  // steals item
  }
  return list.release();
}

using Result = std::variant<double, Indices>;

// The computation of one row, with its converted parameters.
struct Call {
  const PointSet& points;
  const Executor& executor;
  std::uint64_t count, seed, third, fourth;
  double voxel_size;
  Result operator()(Measure f) const { return f(points, executor); }
  Result operator()(Sampler f) const { return f(points, count, seed, executor); }
  Result operator()(VoxelSampler f) const { return f(points, count, seed, voxel_size, executor); }
  Result operator()(IterativeSampler f) const { return f(points, count, seed, third, executor); }
  Result operator()(StratifiedSampler f) const {
    return f(points, count, seed, third, fourth, executor);
  }
};

// Releases the interpreter lock for the numeric work, so that other Python threads run
// meanwhile. Its hook takes the lock back for a moment to run pending signal handlers: a
// KeyboardInterrupt they raise stays set and stops the computation.
class InterpreterReleased {
 public:
  InterpreterReleased() : state_(PyEval_SaveThread()) {}
  ~InterpreterReleased() { PyEval_RestoreThread(state_); }
  InterpreterReleased(const InterpreterReleased&) = delete;
  InterpreterReleased& operator=(const InterpreterReleased&) = delete;

  static bool signal_pending(void* self) {
    auto* released = static_cast<InterpreterReleased*>(self);
    PyEval_RestoreThread(released->state_);
    const bool raised = PyErr_CheckSignals() != 0;
    released->state_ = PyEval_SaveThread();
    return raised;
  }

 private:
  PyThreadState* state_;
};

// Steps of every call, in order: bind; convert points; convert the other parameters in
// declaration order; build the PointSet; compute and release the points without the
// interpreter lock; convert the result.
PyObject* call_function(const FunctionRow& row, PyObject* args, PyObject* kwargs) {
  const Signature& signature = kSignatures[row.compute.index()];
  PyRef bound[kMaxParameters];
  if (!bind_arguments(row.name, signature.parameters, signature.count, args, kwargs, bound)) {
    return nullptr;
  }

  CoordinateLists lists;
  ArrayView array;
  const bool converted = row.form == Form::Sequence
                             ? convert_sequence_points(bound[0].get(), &lists)
                             : convert_numpy_points(bound[0].get(), &array);
  if (!converted) {
    prefix_type_error("points");
    return nullptr;
  }

  std::uint64_t integers[kMaxParameters] = {};
  double reals[kMaxParameters] = {};
  for (std::size_t p = 1; p < signature.count; ++p) {
    const char* name = signature.parameters[p];
    const bool ok = p == signature.real_index ? to_double(bound[p].get(), &reals[p])
                                              : to_u64(bound[p].get(), &integers[p]);
    if (!ok) {
      prefix_type_error(name);
      return nullptr;
    }
  }

  PointSet points;
  const bool built = row.form == Form::Sequence ? parse_points(std::move(lists), &points)
                                                : parse_numpy_points(array, &points);
  if (!built) return nullptr;
  array.array = PyRef();
  Result result;
  {
    InterpreterReleased released;
    const Executor executor(default_threads(),
                            CancelHook{&InterpreterReleased::signal_pending, &released});
    result = std::visit(
        Call{points, executor, integers[1], integers[2], integers[3], integers[4], reals[3]},
        row.compute);
    points = PointSet();
  }
  return std::visit([](const auto& value) { return to_python(value); }, result);
}

template <std::size_t I>
PyObject* entry(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
  try {
    return call_function(kFunctions[I], args, kwargs);
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

template <std::size_t... I>
void fill_entries(PyMethodDef* defs, std::index_sequence<I...>) {
  ((defs[I] =
        PyMethodDef{kFunctions[I].name,
                    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(&entry<I>)),
                    METH_VARARGS | METH_KEYWORDS, nullptr}),
   ...);
}

// Method definitions and their "name(parameters)\n--\n\n" doc strings live for the whole
// process: the function objects point into them.
PyMethodDef* method_definitions() {
  static PyMethodDef* defs = nullptr;
  if (defs != nullptr) return defs;
  defs = new PyMethodDef[kFunctionCount];
  auto* docs = new std::string[kFunctionCount];
  fill_entries(defs, std::make_index_sequence<kFunctionCount>{});
  for (std::size_t i = 0; i < kFunctionCount; ++i) {
    const Signature& signature = kSignatures[kFunctions[i].compute.index()];
    std::string doc = std::string(kFunctions[i].name) + "(";
    for (std::size_t p = 0; p < signature.count; ++p) {
      if (p > 0) doc += ", ";
      doc += signature.parameters[p];
    }
    docs[i] = doc + ")\n--\n\n";
    defs[i].ml_doc = docs[i].c_str();
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
  return PyLong_FromSize_t(default_threads());
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
