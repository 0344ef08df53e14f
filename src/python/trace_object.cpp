#include "python/trace_object.hpp"

#include <atomic>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "eval/names/snapshot_signals.hpp"
#include "python/boundary.hpp"
#include "python/convert.hpp"
#include "python/py_ref.hpp"
#include "python/static_type.hpp"
#include "python/trace_methods.hpp"
#include "python/without_gil.hpp"

namespace trelm::python {
namespace {

struct PyTraceObject {
  PyObject_HEAD
  std::shared_ptr<const Trace> trace;
  // Built on first use and never changed after. Threads that find it missing
  // at the same time (the interpreter may run without the GIL, and building
  // lets it go for a while) each build one; the first to publish wins and the
  // others drop theirs. A lock held while building Python objects could
  // deadlock against the GIL, or against a garbage collection that has to
  // wait for the thread blocked on the lock.
  std::atomic<SnapshotKeys*> snapshot_keys;
};

PyTypeObject trace_type_object{};

void dealloc(PyObject* self) {
  auto* object = reinterpret_cast<PyTraceObject*>(self);
  delete object->snapshot_keys.load(std::memory_order_acquire);
  object->snapshot_keys.~atomic();
  object->trace.~shared_ptr();
  PyObject_Free(self);
}

// The keys of the signals listed, in their order. Two names can read alike in
// Python (invalid UTF-8 becomes U+FFFD): as with setting one after the other,
// the key keeps its first place and takes the later signal.
std::unique_ptr<SnapshotKeys> build_snapshot_keys(const Trace& trace) {
  std::vector<NamedSignal> signals = without_gil([&] { return snapshot_signals(trace); });
  auto built = std::make_unique<SnapshotKeys>();
  built->keys = PyRef(PyDict_New());
  if (!built->keys) return nullptr;
  PyObject* keys = built->keys.get();
  std::vector<SignalId>& ids = built->ids;
  std::vector<uint64_t>& widths = built->widths;
  ids.reserve(signals.size());
  widths.reserve(signals.size());
  for (const NamedSignal& signal : signals) {
    PyRef key(text_to_py(signal.name));
    if (!key) return nullptr;
    PyObject* seen = PyDict_GetItemWithError(keys, key.get());
    if (seen) {
      const auto position = static_cast<size_t>(PyLong_AsSsize_t(seen));
      ids[position] = signal.id;
      widths[position] = trace.signal_width(signal.name);
      continue;
    }
    if (PyErr_Occurred()) return nullptr;
    PyRef position(PyLong_FromSize_t(ids.size()));
    if (!position || PyDict_SetItem(keys, key.get(), position.get()) < 0) return nullptr;
    ids.push_back(signal.id);
    widths.push_back(trace.signal_width(signal.name));
  }
  return built;
}

namespace m = trace_methods;

// Loaders first, then the queries in their fixed order.
PyMethodDef trace_methods_table[] = {
    TRELM_METHOD("from_vcd", m::from_vcd, METH_STATIC, "from_vcd(path)\n--\n\n"),
    TRELM_METHOD("from_vcd_string", m::from_vcd_string, METH_STATIC, "from_vcd_string(data)\n--\n\n"),
    TRELM_METHOD("from_fst", m::from_fst, METH_STATIC, "from_fst(path)\n--\n\n"),
    TRELM_METHOD("from_fsdb", m::from_fsdb, METH_STATIC, "from_fsdb(path)\n--\n\n"),
    TRELM_METHOD("from_shm", m::from_shm, METH_STATIC, "from_shm(path)\n--\n\n"),
    TRELM_METHOD("from_vpd", m::from_vpd, METH_STATIC, "from_vpd(path)\n--\n\n"),
    TRELM_METHOD("from_wlf", m::from_wlf, METH_STATIC, "from_wlf(path)\n--\n\n"),
    TRELM_METHOD("signal_names", m::signal_names, 0, "signal_names($self)\n--\n\n"),
    TRELM_METHOD("scopes", m::scopes, 0, "scopes($self)\n--\n\n"),
    TRELM_METHOD("max_index", m::max_index, 0, "max_index($self)\n--\n\n"),
    TRELM_METHOD("timestamp", m::timestamp, 0, "timestamp($self, index)\n--\n\n"),
    TRELM_METHOD("signal_value", m::signal_value, 0, "signal_value($self, name, index)\n--\n\n"),
    TRELM_METHOD("signal_value_raw", m::signal_value_raw, 0, "signal_value_raw($self, name, index)\n--\n\n"),
    TRELM_METHOD("signal_width", m::signal_width, 0, "signal_width($self, name)\n--\n\n"),
    TRELM_METHOD("signal_id", m::signal_id, 0, "signal_id($self, name)\n--\n\n"),
    TRELM_METHOD("signal_values_range", m::signal_values_range, 0,
                 "signal_values_range($self, name, start, end)\n--\n\n"),
    TRELM_METHOD("resolve", m::resolve, 0, "resolve($self, scope_name, short_name)\n--\n\n"),
    TRELM_METHOD("local_signals", m::local_signals, 0, "local_signals($self, scope_name)\n--\n\n"),
    TRELM_METHOD("local_scopes", m::local_scopes, 0, "local_scopes($self, scope_name)\n--\n\n"),
    TRELM_METHOD("find", m::find, 0, "find($self, expr)\n--\n\n"),
    TRELM_METHOD("parallel_find", m::parallel_find, 0,
                 "parallel_find($self, expr)\n--\n\n"
                 "Find matching indices using rayon parallel iteration across all CPU cores."),
    TRELM_METHOD("parallel_count", m::parallel_count, 0,
                 "parallel_count($self, expr)\n--\n\n"
                 "Count matching indices using rayon parallel iteration."),
    TRELM_METHOD("eval_expr", m::eval_expr, 0, "eval_expr($self, expr, index)\n--\n\n"),
    TRELM_METHOD("eval_expr_bool", m::eval_expr_bool, 0, "eval_expr_bool($self, expr, index)\n--\n\n"),
    TRELM_METHOD("bit_slice_val", m::bit_slice_val, 0, "bit_slice_val($self, val, high, low)\n--\n\n"),
    TRELM_METHOD("sign_extend_val", m::sign_extend_val, 0, "sign_extend_val($self, val, width)\n--\n\n"),
    TRELM_METHOD("changed_at", m::changed_at, 0,
                 "changed_at($self, index)\n--\n\n"
                 "Get all signals that changed value at a specific index.\n"
                 "Returns list of (name, old_value, new_value) tuples."),
    TRELM_METHOD("changed_at_scope", m::changed_at_scope, 0,
                 "changed_at_scope($self, index, scope)\n--\n\n"
                 "Get signals that changed at index within a scope."),
    TRELM_METHOD("transitions", m::transitions, 0,
                 "transitions($self, name)\n--\n\n"
                 "Get all transitions for a signal: [(index, old, new), ...]"),
    TRELM_METHOD("find_signals_containing", m::find_signals_containing, 0,
                 "find_signals_containing($self, substring)\n--\n\n"
                 "Find signals containing a substring (case-insensitive)."),
    TRELM_METHOD("find_signals_glob", m::find_signals_glob, 0,
                 "find_signals_glob($self, pattern)\n--\n\n"
                 "Find signals matching a glob pattern."),
    TRELM_METHOD("snapshot", m::snapshot, 0,
                 "snapshot($self, index)\n--\n\n"
                 "Snapshot: get all signal values at a specific index as a dict.\n"
                 "Uses signal_value_by_id for O(1) access per signal."),
    TRELM_METHOD("snapshot_scope", m::snapshot_scope, 0,
                 "snapshot_scope($self, index, scope)\n--\n\n"
                 "Snapshot within a scope.\n"
                 "Uses signal_value_by_id for O(1) access per signal."),
    TRELM_METHOD("signal_stats", m::signal_stats, 0,
                 "signal_stats($self, name)\n--\n\n"
                 "Compute stats for a signal: (min, max, sum, count, transitions, num_x, num_z)"),
    TRELM_METHOD("find_with_values", m::find_with_values, 0,
                 "find_with_values($self, expr, signal_names)\n--\n\n"
                 "Find with value extraction in one pass: returns list of (index, [values]) tuples.\n"
                 "Resolves signal IDs once upfront, uses signal_value_by_id in the hot loop."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyTypeObject* trace_type() {
  if (trace_type_object.tp_flags & Py_TPFLAGS_READY) return &trace_type_object;
  prepare_static_type(trace_type_object, "trelm._core.PyTrace", sizeof(PyTraceObject), dealloc, trace_methods_table);
  if (PyType_Ready(&trace_type_object) < 0) return nullptr;
  return &trace_type_object;
}

PyObject* wrap_trace(PyTypeObject* type, std::shared_ptr<const Trace> trace) {
  if (!trace) {
    PyErr_SetString(PyExc_SystemError, "internal error: reader returned no trace");
    return nullptr;
  }
  PyTraceObject* object = PyObject_New(PyTraceObject, type);
  if (object == nullptr) return nullptr;
  new (&object->trace) std::shared_ptr<const Trace>(std::move(trace));
  new (&object->snapshot_keys) std::atomic<SnapshotKeys*>(nullptr);
  return reinterpret_cast<PyObject*>(object);
}

const Trace& trace_of(PyObject* self) noexcept { return *reinterpret_cast<PyTraceObject*>(self)->trace; }

const SnapshotKeys* snapshot_keys(PyObject* self) {
  auto* object = reinterpret_cast<PyTraceObject*>(self);
  SnapshotKeys* keys = object->snapshot_keys.load(std::memory_order_acquire);
  if (!keys) {
    std::unique_ptr<SnapshotKeys> built = build_snapshot_keys(*object->trace);
    if (!built) return nullptr;
    if (object->snapshot_keys.compare_exchange_strong(keys, built.get(), std::memory_order_acq_rel,
                                                      std::memory_order_acquire))
      keys = built.release();
  }
  return keys;
}

}  // namespace trelm::python
