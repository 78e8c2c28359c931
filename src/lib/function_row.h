// One row of the module's function table: a Python name, the input form of `points`, the
// parameter names, and the C++ computation, whose own parameter types say how to convert.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/executor.h"
#include "base/point_set.h"
#include "lib/arguments.h"
#include "lib/py_ref.h"

namespace vorn::py {

enum class Form { Sequence, Numpy };

struct FunctionRow;

// The whole call of one row (defined with the call sequence, in module.cpp).
using RowCall = PyObject* (*)(const FunctionRow& row, bool float32_too, PyObject* args,
                              PyObject* kwargs);

template <auto F>
PyObject* call_row(const FunctionRow& row, bool float32_too, PyObject* args, PyObject* kwargs);

struct FunctionRow {
  const char* name;
  Form form;
  const char* parameters[kMaxParameters];  // "points" first, then the computation's own
  std::size_t count;
  RowCall call;
};

// A Python argument converted by the C++ type of the parameter it is for. False with the
// interpreter's exception set.
inline bool from_python(PyObject* obj, std::uint64_t* out) {
  return to_u64(obj, out);
}
inline bool from_python(PyObject* obj, double* out) {
  return to_double(obj, out);
}

// What a row's computation takes and gives: R F(const PointSet&, parameters..., const Executor&).
template <auto F, class Type = decltype(F)>
struct Computation;

template <auto F, class R, class... A>
struct Computation<F, R (*)(const PointSet&, A...)> {
  static constexpr std::size_t kValues = sizeof...(A) - 1;  // the last is the Executor
  using Result = R;
  template <std::size_t I>
  using Value = std::decay_t<std::tuple_element_t<I, std::tuple<A...>>>;
  template <class Seq = std::make_index_sequence<kValues>>
  struct ValuesOf;
  template <std::size_t... I>
  struct ValuesOf<std::index_sequence<I...>> {
    using type = std::tuple<Value<I>...>;
  };
  using Values = typename ValuesOf<>::type;
  static_assert(std::is_same_v<std::tuple_element_t<kValues, std::tuple<A...>>, const Executor&>,
                "a row's computation takes the call's Executor last");

  // Converts bound[1 ..] in declaration order; the first failure ends it, with a TypeError
  // prefixed by the parameter's name.
  static bool convert(const FunctionRow& row, const PyRef* bound, Values& values) {
    return convert_each(row, bound, values, std::make_index_sequence<kValues>{});
  }

  static R compute(const PointSet& points, const Values& values, const Executor& executor) {
    return std::apply([&](const auto&... v) { return F(points, v..., executor); }, values);
  }

 private:
  template <class T>
  static bool convert_one(PyObject* obj, T* out, const char* name) {
    if (from_python(obj, out)) return true;
    prefix_type_error(name);
    return false;
  }

  template <std::size_t... I>
  static bool convert_each([[maybe_unused]] const FunctionRow& row,
                           [[maybe_unused]] const PyRef* bound, [[maybe_unused]] Values& values,
                           std::index_sequence<I...>) {
    return (convert_one(bound[I + 1].get(), &std::get<I>(values), row.parameters[I + 1]) && ...);
  }
};

// A row calling F, with the names of its parameters ("points" first), one for each parameter
// of F but the Executor.
template <auto F, std::size_t N>
constexpr FunctionRow row(const char* name, Form form, const char* const (&parameters)[N]) {
  static_assert(N == Computation<F>::kValues + 1, "one name for points and each parameter");
  static_assert(N <= kMaxParameters, "more parameters than a call binds");
  FunctionRow out{name, form, {}, N, &call_row<F>};
  for (std::size_t p = 0; p < N; ++p) out.parameters[p] = parameters[p];
  return out;
}

}  // namespace vorn::py
