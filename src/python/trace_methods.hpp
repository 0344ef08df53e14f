// The method bodies of PyTrace, in class order. Each parses its own
// arguments; trace_object.cpp puts them behind the exception boundary.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace trelm::python::trace_methods {

#define TRELM_TRACE_METHOD(name) \
  PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// Loaders (trace_loaders.cpp).
TRELM_TRACE_METHOD(from_vcd)
TRELM_TRACE_METHOD(from_vcd_string)
TRELM_TRACE_METHOD(from_fst)
TRELM_TRACE_METHOD(from_fsdb)
TRELM_TRACE_METHOD(from_shm)
TRELM_TRACE_METHOD(from_vpd)
TRELM_TRACE_METHOD(from_wlf)

// Direct reads of the trace (trace_accessors.cpp).
TRELM_TRACE_METHOD(signal_names)
TRELM_TRACE_METHOD(scopes)
TRELM_TRACE_METHOD(max_index)
TRELM_TRACE_METHOD(timestamp)
TRELM_TRACE_METHOD(signal_value)
TRELM_TRACE_METHOD(signal_value_raw)
TRELM_TRACE_METHOD(signal_width)
TRELM_TRACE_METHOD(signal_id)
TRELM_TRACE_METHOD(signal_values_range)
TRELM_TRACE_METHOD(bit_slice_val)
TRELM_TRACE_METHOD(sign_extend_val)
TRELM_TRACE_METHOD(snapshot)
TRELM_TRACE_METHOD(snapshot_scope)

// Query engine calls (trace_queries.cpp).
TRELM_TRACE_METHOD(resolve)
TRELM_TRACE_METHOD(local_signals)
TRELM_TRACE_METHOD(local_scopes)
TRELM_TRACE_METHOD(find)
TRELM_TRACE_METHOD(parallel_find)
TRELM_TRACE_METHOD(parallel_count)
TRELM_TRACE_METHOD(eval_expr)
TRELM_TRACE_METHOD(eval_expr_bool)
TRELM_TRACE_METHOD(changed_at)
TRELM_TRACE_METHOD(changed_at_scope)
TRELM_TRACE_METHOD(transitions)
TRELM_TRACE_METHOD(find_signals_containing)
TRELM_TRACE_METHOD(find_signals_glob)
TRELM_TRACE_METHOD(signal_stats)
TRELM_TRACE_METHOD(find_with_values)

#undef TRELM_TRACE_METHOD

}  // namespace trelm::python::trace_methods
