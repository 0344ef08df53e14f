// PyTrace: the Python class holding one finished trace behind a shared
// pointer. The trace is immutable, so the object is too.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>
#include <vector>

#include "python/py_ref.hpp"
#include "trace/trace.hpp"

namespace trelm::python {

// The class object, ready for use, or nullptr with an exception set.
PyTypeObject* trace_type();

// A new instance of `type` (trelm._core's PyTrace) holding the trace.
PyObject* wrap_trace(PyTypeObject* type, std::shared_ptr<const Trace> trace);

// The trace held by a PyTrace instance (the method descriptors guarantee the
// type of self).
const Trace& trace_of(PyObject* self) noexcept;

// The keys of a snapshot of the whole trace: a dict whose keys are the full
// names snapshot() lists, in list order (each key's value its position), and
// the signal id and declared width behind each key, in the same order. A
// snapshot copies the dict and sets the values, which spares creating and
// hashing every name again.
struct SnapshotKeys {
  PyRef keys;
  std::vector<SignalId> ids;
  std::vector<uint64_t> widths;
};

// The instance's snapshot keys: built once and kept by the instance, never
// changed (borrowed, safe to read from any thread). nullptr with an exception
// set on failure.
const SnapshotKeys* snapshot_keys(PyObject* self);

}  // namespace trelm::python
