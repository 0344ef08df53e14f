// PyTrace: the Python class holding one finished trace behind a shared
// pointer. The trace is immutable, so the object is too.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>
#include <vector>

#include "trace/trace.hpp"

namespace trelm::python {

// The class object, ready for use, or nullptr with an exception set.
PyTypeObject* trace_type();

// A new PyTrace holding the trace.
PyObject* wrap_trace(std::shared_ptr<const Trace> trace);

// The trace held by a PyTrace instance (the method descriptors guarantee the
// type of self).
const Trace& trace_of(PyObject* self) noexcept;

// A dict whose keys are the full names snapshot() lists, in list order
// (values are placeholders), and, through `ids`, their signal ids in the
// same order; built once and kept by the instance, never changed (borrowed
// reference, safe to read from any thread). nullptr with an exception set on
// failure.
PyObject* snapshot_keys(PyObject* self, const std::vector<SignalId>*& ids);

}  // namespace trelm::python
