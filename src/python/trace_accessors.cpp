// Direct reads of a trace: the accessors, the two snapshots and the two bit
// operations on plain integers.
#include <algorithm>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "python/args.hpp"
#include "python/convert.hpp"
#include "python/py_ref.hpp"
#include "python/trace_methods.hpp"
#include "python/trace_object.hpp"
#include "signal/run_cursor.hpp"

namespace trelm::python::trace_methods {
namespace {

// Adds the converted value of every listed signal that has an id and whose
// name begins with `prefix`, keyed by the rest of its name, in list order.
PyObject* snapshot_with_prefix(const Trace& trace, Index index, std::string_view prefix) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  for (const std::string& name : trace.signal_names()) {
    if (name.size() < prefix.size() || std::string_view(name).substr(0, prefix.size()) != prefix) continue;
    auto id = trace.signal_id(name);
    if (!id) continue;
    PyRef key(text_to_py(std::string_view(name).substr(prefix.size())));
    if (!key) return nullptr;
    PyRef value(value_to_py(trace.signal_value_by_id(*id, index)));
    if (!value || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
  }
  return dict.release();
}

// snapshot(index): a copy of the instance's key dict with every value set.
PyObject* full_snapshot(PyObject* self, Index index) {
  const SnapshotKeys* keys = snapshot_keys(self);
  if (!keys) return nullptr;
  const std::vector<SignalId>* ids = &keys->ids;
  const SignalStore& store = trace_of(self).store();
  PyRef dict(PyDict_Copy(keys->keys.get()));
  if (!dict) return nullptr;
  // The values are read a batch at a time, the columns' look-ups overlapping.
  // The copy is walked, not the shared keys: setting the value of a key
  // already there leaves the walk in place.
  constexpr size_t kBatch = 128;
  SignalValue values[kBatch];
  Py_ssize_t position = 0;
  for (size_t begin = 0; begin < ids->size(); begin += kBatch) {
    const size_t n = std::min(kBatch, ids->size() - begin);
    store.get_many(std::span<const SignalId>(ids->data() + begin, n), index, std::span<SignalValue>(values, n));
    for (size_t k = 0; k < n; ++k) {
      PyObject* key;
      PyObject* unused;
      if (!PyDict_Next(dict.get(), &position, &key, &unused)) break;
      PyRef value(value_to_py(values[k]));
      if (!value || PyDict_SetItem(dict.get(), key, value.get()) < 0) return nullptr;
    }
  }
  return dict.release();
}

}  // namespace

PyObject* signal_names(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  if (!parse_arguments<>("PyTrace.signal_names()", {}, args, nargs, kwnames)) return nullptr;
  return text_list_to_py(trace_of(self).signal_names());
}

PyObject* scopes(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  if (!parse_arguments<>("PyTrace.scopes()", {}, args, nargs, kwnames)) return nullptr;
  return text_list_to_py(trace_of(self).scopes());
}

PyObject* max_index(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  if (!parse_arguments<>("PyTrace.max_index()", {}, args, nargs, kwnames)) return nullptr;
  return u64_to_py(trace_of(self).max_index());
}

PyObject* timestamp(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<SizeArg>("PyTrace.timestamp()", {"index"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return u64_to_py(trace_of(self).timestamp(std::get<0>(*parsed)));
}

PyObject* signal_value(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed =
      parse_arguments<TextArg, SizeArg>("PyTrace.signal_value()", {"name", "index"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [name, index] = *parsed;
  return value_to_py(trace_of(self).signal_value(name, index));
}

PyObject* signal_value_raw(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed =
      parse_arguments<TextArg, SizeArg>("PyTrace.signal_value_raw()", {"name", "index"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [name, index] = *parsed;
  return u64_to_py(trace_of(self).signal_value(name, index).to_u64().value_or(0));
}

PyObject* signal_width(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg>("PyTrace.signal_width()", {"name"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return u64_to_py(trace_of(self).signal_width(std::get<0>(*parsed)));
}

PyObject* signal_id(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg>("PyTrace.signal_id()", {"name"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto id = trace_of(self).signal_id(std::get<0>(*parsed));
  if (!id) Py_RETURN_NONE;
  return u64_to_py(*id);
}

// Builds the list straight from the store, one conversion per stretch of
// equal values, without materialising the values first; a count that no
// memory could hold raises MemoryError before anything is allocated.
PyObject* signal_values_range(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg, SizeArg, SizeArg>("PyTrace.signal_values_range()",
                                                           {"name", "start", "end"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [name, start, end] = *parsed;
  const Trace& trace = trace_of(self);
  const uint64_t count = start < end ? end - start : 0;
  PyRef list(new_list(count));
  if (!list) return nullptr;
  auto id = trace.signal_id(name);
  RunCursor cursor(id ? trace.store().column(*id) : nullptr);
  Index i = start;
  while (i < end) {
    PyRef item(value_to_py(cursor.at(i)));
    if (!item) return nullptr;
    const Index stretch_end = cursor.segment_end() < end ? cursor.segment_end() : end;
    for (; i < stretch_end; ++i) {
      Py_INCREF(item.get());
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i - start), item.get());
    }
  }
  return list.release();
}

PyObject* bit_slice_val(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<U64Arg, SizeArg, SizeArg>("PyTrace.bit_slice_val()", {"val", "high", "low"},
                                                          args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [val, high, low] = *parsed;
  if (high < low) return u64_to_py(0);
  const uint64_t shifted = val >> (low % 64);
  // The slice holds high - low + 1 bits; computing that count could wrap to 0
  // (high = 2^64 - 1, low = 0), so compare the difference instead.
  if (high - low >= 63) return u64_to_py(shifted);
  const uint64_t width = high - low + 1;
  return u64_to_py(shifted & ((uint64_t{1} << width) - 1));
}

PyObject* sign_extend_val(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed =
      parse_arguments<U64Arg, SizeArg>("PyTrace.sign_extend_val()", {"val", "width"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [val, width] = *parsed;
  uint64_t bits = val;
  if (width >= 1 && width <= 63 && ((bits >> (width - 1)) & 1) != 0) bits |= ~uint64_t{0} << width;
  return PyLong_FromLongLong(static_cast<long long>(bits));
}

PyObject* snapshot(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<SizeArg>("PyTrace.snapshot()", {"index"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return full_snapshot(self, std::get<0>(*parsed));
}

PyObject* snapshot_scope(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed =
      parse_arguments<SizeArg, TextArg>("PyTrace.snapshot_scope()", {"index", "scope"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [index, scope] = *parsed;
  std::string prefix(scope);
  prefix += '.';
  return snapshot_with_prefix(trace_of(self), index, prefix);
}

}  // namespace trelm::python::trace_methods
