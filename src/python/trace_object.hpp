// PyTrace: the Python class holding one finished trace behind a shared
// pointer. The trace is immutable, so the object is too.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

#include "trace/trace.hpp"

namespace trelm::python {

// The class object, ready for use, or nullptr with an exception set.
PyTypeObject* trace_type();

// A new PyTrace holding the trace.
PyObject* wrap_trace(std::shared_ptr<const Trace> trace);

// The trace held by a PyTrace instance (the method descriptors guarantee the
// type of self).
const Trace& trace_of(PyObject* self) noexcept;

}  // namespace trelm::python
