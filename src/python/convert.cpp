#include "python/convert.hpp"

#include <unistd.h>

#include <limits>

#include "python/py_ref.hpp"

namespace trelm::python {

PyObject* value_to_py(const SignalValue& value) {
  switch (value.kind()) {
    case ValueKind::Int:
      return PyLong_FromUnsignedLongLong(value.int_value());
    case ValueKind::Wide: {
      auto words = value.wide_words();
      return PyLong_FromUnsignedLongLong(words.empty() ? 0 : words[0]);
    }
    case ValueKind::Real:
      return PyFloat_FromDouble(value.real_value());
    case ValueKind::Str:
      return text_to_py(value.text());
    case ValueKind::Logic:
    case ValueKind::Unknown:
      break;
  }
  Py_RETURN_NONE;
}

PyObject* u64_to_py(uint64_t value) { return PyLong_FromUnsignedLongLong(value); }

// Texts from the readers are meant to be UTF-8; a stray invalid byte becomes
// U+FFFD rather than making a query fail.
PyObject* text_to_py(std::string_view text) {
  if (text.size() > static_cast<size_t>(std::numeric_limits<Py_ssize_t>::max())) return PyErr_NoMemory();
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

namespace {

uint64_t memory_bytes() {
  static const uint64_t bytes = [] {
    long pages = sysconf(_SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
  }();
  return bytes;
}

}  // namespace

bool list_fits_in_memory(uint64_t count) {
  const uint64_t max_items = static_cast<uint64_t>(std::numeric_limits<Py_ssize_t>::max()) / sizeof(PyObject*);
  if (count > max_items || count > memory_bytes() / sizeof(PyObject*)) {
    PyErr_NoMemory();
    return false;
  }
  return true;
}

bool bytes_fit_in_memory(uint64_t bytes) {
  if (bytes > static_cast<uint64_t>(std::numeric_limits<Py_ssize_t>::max()) || bytes > memory_bytes()) {
    PyErr_NoMemory();
    return false;
  }
  return true;
}

PyObject* new_bytearray(uint64_t bytes) {
  if (!bytes_fit_in_memory(bytes)) return nullptr;
  return PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(bytes));
}

PyObject* new_list(uint64_t count) {
  if (!list_fits_in_memory(count)) return nullptr;
  return PyList_New(static_cast<Py_ssize_t>(count));
}

PyObject* text_list_to_py(const std::vector<std::string>& texts) {
  PyRef list(new_list(texts.size()));
  if (!list) return nullptr;
  for (size_t i = 0; i < texts.size(); ++i) {
    PyObject* item = text_to_py(texts[i]);
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

PyObject* index_list_to_py(const std::vector<Index>& indices) {
  PyRef list(new_list(indices.size()));
  if (!list) return nullptr;
  for (size_t i = 0; i < indices.size(); ++i) {
    PyObject* item = PyLong_FromUnsignedLongLong(indices[i]);
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

}  // namespace trelm::python
