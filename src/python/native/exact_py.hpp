// Exact values as Python objects, and the array layouts of the front door.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "signal/column_exact.hpp"

namespace trelm::python::native {

// int (two-state bits of any width), str (digits, or a string value), float
// (a real) or None (no value); a new reference, or nullptr with an exception.
PyObject* exact_to_py(const SignalValue& view, std::string_view kept, uint64_t width);
inline PyObject* exact_to_py(const ExactRun& run, uint64_t width) { return exact_to_py(run.view, run.kept, width); }

// The exact value of `column` at `index`.
inline PyObject* exact_at_to_py(const SignalColumn* column, Index index, uint64_t width) {
  return exact_to_py(exact_run(column, run_covering(column, index)), width);
}

enum class Layout { U64, F64, Object };

// "u64", "f64" or "object"; nothing with ValueError set otherwise.
std::optional<Layout> parse_layout(std::string_view name);

}  // namespace trelm::python::native
