#include "python/native/exact_py.hpp"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "python/convert.hpp"

namespace trelm::python::native {

namespace {

// An int of all the words, least significant first, through its hex digits.
PyObject* words_to_py(std::span<const uint64_t> words) {
  size_t top = words.size();
  while (top > 1 && words[top - 1] == 0) --top;
  if (top <= 1) return PyLong_FromUnsignedLongLong(top == 0 ? 0 : words[0]);
  std::string hex;
  hex.reserve(16 * top + 1);
  char word[17];
  std::snprintf(word, sizeof word, "%" PRIx64, words[top - 1]);
  hex += word;
  for (size_t k = top - 1; k-- > 0;) {
    std::snprintf(word, sizeof word, "%016" PRIx64, words[k]);
    hex += word;
  }
  return PyLong_FromString(hex.c_str(), nullptr, 16);
}

}  // namespace

PyObject* exact_to_py(const SignalValue& view, std::string_view kept, uint64_t width) {
  switch (view.kind()) {
    case ValueKind::Int: return PyLong_FromUnsignedLongLong(view.int_value());
    case ValueKind::Wide: return words_to_py(view.wide_words());
    case ValueKind::Logic: return text_to_py(exact_digits(view, kept, width));
    case ValueKind::Real: return PyFloat_FromDouble(view.real_value());
    case ValueKind::Str: return text_to_py(view.text());
    case ValueKind::Unknown: break;
  }
  Py_RETURN_NONE;
}

std::optional<Layout> parse_layout(std::string_view name) {
  if (name == "u64") return Layout::U64;
  if (name == "f64") return Layout::F64;
  if (name == "object") return Layout::Object;
  PyErr_SetString(PyExc_ValueError, "layout must be 'u64', 'f64' or 'object'");
  return std::nullopt;
}

}  // namespace trelm::python::native
