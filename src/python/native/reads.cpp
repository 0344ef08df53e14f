// Reading a loaded trace: times, exact values, change lists and value arrays
// (bytearrays of native machine words, filled in place), snapshots, and the
// indices of a search.
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "eval/exact_changes.hpp"
#include "eval/find.hpp"
#include "python/args.hpp"
#include "python/convert.hpp"
#include "python/native/exact_py.hpp"
#include "python/native/functions.hpp"
#include "python/py_ref.hpp"
#include "python/trace_object.hpp"
#include "python/without_gil.hpp"
#include "trace/record.hpp"

namespace trelm::python::native {

namespace {

// A bytearray of `count` elements of T, or nullptr with MemoryError set.
template <class T>
PyRef new_array(uint64_t count) {
  if (count > UINT64_MAX / sizeof(T)) return PyRef(PyErr_NoMemory());
  return PyRef(new_bytearray(count * sizeof(T)));
}

template <class T>
void put(PyObject* array, uint64_t position, T value) noexcept {
  std::memcpy(PyByteArray_AS_STRING(array) + position * sizeof(T), &value, sizeof(T));
}

const SignalColumn* column_of(PyObject* trace, uint64_t id) { return trace_of(trace).store().column(id); }

// The arrays of one layout: values (and known for u64), filled element by
// element or stretch by stretch.
class LayoutArrays {
 public:
  LayoutArrays(Layout layout, uint64_t width) : layout_(layout), width_(width) {}

  bool allocate(uint64_t count) {
    switch (layout_) {
      case Layout::U64:
        values_ = new_array<uint64_t>(count);
        known_ = new_array<uint8_t>(count);
        return values_ && known_;
      case Layout::F64: values_ = new_array<double>(count); return bool(values_);
      case Layout::Object: values_ = PyRef(new_list(count)); return bool(values_);
    }
    return false;
  }
  // Elements [begin, end) take the exact value of `run`.
  bool fill(uint64_t begin, uint64_t end, const ExactRun& run) {
    switch (layout_) {
      case Layout::U64: {
        ExactBits bits = exact_bits(run.view, run.kept);
        for (uint64_t i = begin; i < end; ++i) put<uint64_t>(values_.get(), i, bits.bits);
        std::memset(PyByteArray_AS_STRING(known_.get()) + begin, bits.known ? 1 : 0, end - begin);
        return true;
      }
      case Layout::F64: {
        double value = exact_double(run.view);
        for (uint64_t i = begin; i < end; ++i) put<double>(values_.get(), i, value);
        return true;
      }
      case Layout::Object: {
        PyObject* item = exact_to_py(run, width_);
        if (item == nullptr) return false;
        for (uint64_t i = begin; i < end; ++i) {
          if (i > begin) Py_INCREF(item);
          PyList_SET_ITEM(values_.get(), static_cast<Py_ssize_t>(i), item);
        }
        if (begin == end) Py_DECREF(item);
        return true;
      }
    }
    return false;
  }
  // (values, known) with None for a layout without a mask.
  PyObject* values() { return values_.release(); }
  PyObject* known() {
    if (known_) return known_.release();
    Py_RETURN_NONE;
  }

 private:
  Layout layout_;
  uint64_t width_;
  PyRef values_;
  PyRef known_;
};

}  // namespace

PyObject* times(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TraceArg>("times()", {"trace"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  const Trace& trace = trace_of(std::get<0>(*parsed));
  const Index count = trace.timestamp_count();
  PyRef array = new_array<uint64_t>(count);
  if (!array) return nullptr;
  // Traces on the common record hand their table over in one copy.
  if (const auto* record = dynamic_cast<const RecordTrace*>(&trace); record && count > 0) {
    std::memcpy(PyByteArray_AS_STRING(array.get()), record->record().timestamps.data(), count * sizeof(uint64_t));
    return array.release();
  }
  for (Index i = 0; i < count; ++i) put<uint64_t>(array.get(), i, trace.timestamp(i));
  return array.release();
}

PyObject* value_at(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TraceArg, U64Arg, U64Arg, U64Arg>("value_at()", {"trace", "id", "width", "index"},
                                                                  args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [object, id, width, index] = *parsed;
  if (index >= trace_of(object).timestamp_count()) Py_RETURN_NONE;
  return exact_at_to_py(column_of(object, id), index, width);
}

PyObject* changes(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TraceArg, U64Arg, U64Arg, TextArg>("changes()", {"trace", "id", "width", "layout"},
                                                                   args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [object, id, width, layout_name] = *parsed;
  std::optional<Layout> layout = parse_layout(layout_name);
  if (!layout) return nullptr;
  const SignalColumn* column = column_of(object, id);
  const Index count = trace_of(object).timestamp_count();
  std::vector<ExactChange> found = without_gil([&] { return exact_changes(column, count, width); });

  if (*layout == Layout::Object) {
    uint64_t text = 0;
    for (const ExactChange& change : found) text += exact_text_length(exact_run(column, change.run), width);
    if (!bytes_fit_in_memory(text)) return nullptr;
  }
  PyRef indices = new_array<uint64_t>(found.size());
  LayoutArrays arrays(*layout, width);
  if (!indices || !arrays.allocate(found.size())) return nullptr;
  for (size_t k = 0; k < found.size(); ++k) {
    put<uint64_t>(indices.get(), k, found[k].index);
    if (!arrays.fill(k, k + 1, exact_run(column, found[k].run))) return nullptr;
  }
  PyRef values(arrays.values());
  PyRef known(arrays.known());
  return PyTuple_Pack(3, indices.get(), values.get(), known.get());
}

PyObject* values(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TraceArg, U64Arg, U64Arg, TextArg, U64Arg, U64Arg>(
      "values()", {"trace", "id", "width", "layout", "start", "stop"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [object, id, width, layout_name, start, stop] = *parsed;
  std::optional<Layout> layout = parse_layout(layout_name);
  if (!layout) return nullptr;
  const SignalColumn* column = column_of(object, id);
  if (*layout == Layout::Object) {
    uint64_t text = 0;  // a stretch shares one object
    for_each_stretch(column, start, stop,
                     [&](Index, Index, size_t run) { text += exact_text_length(exact_run(column, run), width); });
    if (!bytes_fit_in_memory(text)) return nullptr;
  }
  LayoutArrays arrays(*layout, width);
  if (!arrays.allocate(start < stop ? stop - start : 0)) return nullptr;
  bool filled = true;
  for_each_stretch(column, start, stop, [&](Index begin, Index end, size_t run) {
    if (filled) filled = arrays.fill(begin - start, end - start, exact_run(column, run));
  });
  if (!filled) return nullptr;
  PyRef values(arrays.values());
  PyRef known(arrays.known());
  return PyTuple_Pack(2, values.get(), known.get());
}

PyObject* snapshot(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TraceArg, U64Arg>("snapshot()", {"trace", "index"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [object, index] = *parsed;
  const Trace& trace = trace_of(object);
  const bool inside = index < trace.timestamp_count();
  const SnapshotKeys* keys = snapshot_keys(object);
  if (!keys) return nullptr;
  // The values' runs first (no run: None), so that their texts are known to
  // fit in memory before any is made.
  std::vector<ExactRun> runs;
  runs.reserve(keys->ids.size());
  uint64_t text = 0;
  for (size_t k = 0; k < keys->ids.size(); ++k) {
    const SignalColumn* column = inside ? trace.store().column(keys->ids[k]) : nullptr;
    runs.push_back(exact_run(column, run_covering(column, index)));
    text += exact_text_length(runs.back(), keys->widths[k]);
  }
  if (!bytes_fit_in_memory(text)) return nullptr;
  // The copy of the keys is walked while its values are set, which leaves the
  // walk in place.
  PyRef dict(PyDict_Copy(keys->keys.get()));
  if (!dict) return nullptr;
  Py_ssize_t position = 0;
  PyObject* key;
  PyObject* unused;
  for (size_t k = 0; k < runs.size() && PyDict_Next(dict.get(), &position, &key, &unused); ++k) {
    PyRef value(exact_to_py(runs[k], keys->widths[k]));
    if (!value || PyDict_SetItem(dict.get(), key, value.get()) < 0) return nullptr;
  }
  return dict.release();
}

PyObject* changes_at(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TraceArg, U64Arg>("changes_at()", {"trace", "index"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [object, index] = *parsed;
  const Trace& trace = trace_of(object);
  std::vector<size_t> positions = without_gil([&] { return exact_changes_at(trace, index); });
  // The runs on either side first, so that their texts are known to fit in
  // memory before any is made.
  struct Changed {
    const std::string* name;
    ExactRun old_run, new_run;
    uint64_t width;
  };
  std::vector<Changed> changed;
  changed.reserve(positions.size());
  uint64_t text = 0;
  const std::vector<std::string>& names = trace.signal_names();
  for (size_t position : positions) {
    const std::string& name = names[position];
    const SignalColumn* column = trace.store().column(*trace.signal_id(name));
    Changed entry{&name, exact_run(column, run_covering(column, index - 1)),
                  exact_run(column, run_covering(column, index)), trace.signal_width(name)};
    text += exact_text_length(entry.old_run, entry.width) + exact_text_length(entry.new_run, entry.width);
    changed.push_back(std::move(entry));
  }
  if (!bytes_fit_in_memory(text)) return nullptr;
  PyRef list(new_list(changed.size()));
  if (!list) return nullptr;
  for (size_t k = 0; k < changed.size(); ++k) {
    const Changed& entry = changed[k];
    PyRef key(text_to_py(*entry.name));
    PyRef old_value(exact_to_py(entry.old_run, entry.width));
    PyRef new_value(exact_to_py(entry.new_run, entry.width));
    if (!key || !old_value || !new_value) return nullptr;
    PyObject* item = PyTuple_Pack(3, key.get(), old_value.get(), new_value.get());
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k), item);
  }
  return list.release();
}

PyObject* find(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TraceArg, ExprArg, BoolArg>("find()", {"trace", "expr", "parallel"}, args, nargs,
                                                            kwnames);
  if (!parsed) return nullptr;
  auto [object, expr, parallel] = *parsed;
  const Trace& trace = trace_of(object);
  std::vector<Index> found =
      without_gil([&] { return parallel ? trelm::parallel_find(trace, *expr) : trelm::find(trace, *expr); });
  PyRef array = new_array<uint64_t>(found.size());
  if (!array) return nullptr;
  if (!found.empty()) std::memcpy(PyByteArray_AS_STRING(array.get()), found.data(), found.size() * sizeof(Index));
  return array.release();
}

}  // namespace trelm::python::native
