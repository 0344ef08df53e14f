// Exact values as Python objects, and the array layouts of the front door.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

#include "signal/column_exact.hpp"

namespace trelm::python::native {

// int (two-state bits of any width), str (digits, or a string value), float
// (a real) or None (no value); a new reference, or nullptr with an exception.
PyObject* exact_to_py(const SignalValue& view, std::string_view kept, uint64_t width);
inline PyObject* exact_to_py(const ExactRun& run, uint64_t width) { return exact_to_py(run.view, run.kept, width); }

// The characters of the text exact_to_py makes for a value: a Logic view's
// digits extended to the declared width (at most one past kMaxDigitText, which
// is refused anyway); 0 for the other kinds, which hold no more than the dump
// wrote. A damaged dump can declare millions of bits and give such a signal
// thousands of values of a few bytes each, so a read of many values adds these
// up and checks the total against memory before it makes any text.
inline uint64_t exact_text_length(const ExactRun& run, uint64_t width) noexcept {
  if (run.view.kind() != ValueKind::Logic) return 0;
  const uint64_t digits = run.kept.empty() ? run.view.logic_bits().size() : run.kept.size();
  return std::min(std::max(width, digits), kMaxDigitText + 1);
}

// The exact value of `column` at `index`.
inline PyObject* exact_at_to_py(const SignalColumn* column, Index index, uint64_t width) {
  return exact_to_py(exact_run(column, run_covering(column, index)), width);
}

enum class Layout { U64, F64, Object };

// "u64", "f64" or "object"; nothing with ValueError set otherwise.
std::optional<Layout> parse_layout(std::string_view name);

}  // namespace trelm::python::native
