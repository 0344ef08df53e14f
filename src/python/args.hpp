// The one argument parser shared by every method of PyTrace and PyExpr and
// every function of the front door's module.
//
// Every parameter is positional-or-keyword, and required unless its kind is
// OptionalArg (those come last). Binding follows
// the interpreter's own rules and messages: too many positional arguments,
// then each keyword (unknown or given twice), then the missing ones. The
// bound arguments are then converted in parameter order; a conversion that
// fails with TypeError is reported as "argument '{name}': {reason}", any other
// failure (OverflowError for integers out of range) is raised unchanged.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "eval/expr.hpp"

namespace trelm::python {

// Binds args/kwnames to the parameter names; `bound` receives one borrowed
// reference per parameter (nullptr for an optional one left out). The first
// `required` parameters must be given. On failure a TypeError is set and
// false returned.
bool bind_arguments(const char* method, std::span<const char* const> params, size_t required, PyObject* const* args,
                    Py_ssize_t nargs, PyObject* kwnames, PyObject** bound);

// Parameter kinds. Each converts one bound argument, or sets an exception
// and returns false.

// Any str; a view of its UTF-8 text, valid while the argument lives.
struct TextArg {
  using Value = std::string_view;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// Any str; its whole UTF-8 text, embedded NUL characters included.
struct OwnedTextArg {
  using Value = std::string;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// An int from 0 to the largest value of size_t.
struct SizeArg {
  using Value = uint64_t;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// An int from 0 to 2^64 - 1.
struct U64Arg {
  using Value = uint64_t;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// An int from -2^63 to 2^63 - 1.
struct I64Arg {
  using Value = int64_t;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// Anything the interpreter converts to a C double.
struct FloatArg {
  using Value = double;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// A PyExpr instance; a pointer to the tree it holds, valid while it lives.
struct ExprArg {
  using Value = const Expr*;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// A sequence whose items are all str (a str itself is refused).
struct TextListArg {
  using Value = std::vector<std::string>;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// True or False.
struct BoolArg {
  using Value = bool;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// A PyTrace instance (of trelm._core's class); the object itself, borrowed.
struct TraceArg {
  using Value = PyObject*;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// Any callable; the object itself, borrowed.
struct CallableArg {
  using Value = PyObject*;
  static bool convert(PyObject* object, const char* param, Value& out);
};

// A parameter that may be left out or given as None, which both give nothing.
template <class Kind>
struct OptionalArg {
  using Value = std::optional<typename Kind::Value>;
  static constexpr bool kOptional = true;
  static bool convert(PyObject* object, const char* param, Value& out) {
    if (object == nullptr || object == Py_None) {
      out.reset();
      return true;
    }
    out.emplace();
    return Kind::convert(object, param, *out);
  }
};

template <class Kind>
constexpr bool is_optional_arg() {
  if constexpr (requires { Kind::kOptional; }) return Kind::kOptional;
  return false;
}

// Binds and converts the arguments of one call; nothing when an exception
// has been set.
template <class... Kinds>
std::optional<std::tuple<typename Kinds::Value...>> parse_arguments(
    const char* method, const std::array<const char*, sizeof...(Kinds)>& params, PyObject* const* args,
    Py_ssize_t nargs, PyObject* kwnames) {
  constexpr size_t required = (size_t{0} + ... + (is_optional_arg<Kinds>() ? 0 : 1));
  std::array<PyObject*, sizeof...(Kinds) + 1> bound{};
  if (!bind_arguments(method, std::span<const char* const>(params.data(), params.size()), required, args, nargs,
                      kwnames, bound.data()))
    return std::nullopt;
  std::tuple<typename Kinds::Value...> values{};
  bool ok = [&]<size_t... I>(std::index_sequence<I...>) {
    return (Kinds::convert(bound[I], params[I], std::get<I>(values)) && ...);
  }(std::index_sequence_for<Kinds...>{});
  if (!ok) return std::nullopt;
  return values;
}

}  // namespace trelm::python
