// Conversion of core results to new Python objects. Every function returns a
// new reference, or nullptr with an exception set.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "signal/store.hpp"
#include "signal/value.hpp"

namespace trelm::python {

// Int -> int, Wide -> int of word 0 (0 when empty), Real -> float,
// Str -> str, Logic and Unknown -> None.
PyObject* value_to_py(const SignalValue& value);

PyObject* u64_to_py(uint64_t value);
PyObject* text_to_py(std::string_view text);
PyObject* text_list_to_py(const std::vector<std::string>& texts);
PyObject* index_list_to_py(const std::vector<Index>& indices);

// Sets MemoryError and returns false when a list of `count` items could not
// fit in this machine's memory, so that absurd requests fail at once instead
// of after exhausting memory.
bool list_fits_in_memory(uint64_t count);

// A new list of `count` slots, or nullptr with MemoryError set.
PyObject* new_list(uint64_t count);

// The same as list_fits_in_memory for a buffer of `bytes` bytes.
bool bytes_fit_in_memory(uint64_t bytes);
// A new bytearray of `bytes` bytes, not yet filled, or nullptr with
// MemoryError set.
PyObject* new_bytearray(uint64_t bytes);

}  // namespace trelm::python
