// The functions of trelm._native, each behind the exception boundary.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace trelm::python::native {

#define TRELM_NATIVE_FUNCTION(name) \
  PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// Loading (load.cpp).
TRELM_NATIVE_FUNCTION(load)
TRELM_NATIVE_FUNCTION(loads)

// Reading a loaded trace (reads.cpp).
TRELM_NATIVE_FUNCTION(times)
TRELM_NATIVE_FUNCTION(value_at)
TRELM_NATIVE_FUNCTION(changes)
TRELM_NATIVE_FUNCTION(values)
TRELM_NATIVE_FUNCTION(snapshot)
TRELM_NATIVE_FUNCTION(changes_at)
TRELM_NATIVE_FUNCTION(find)

#undef TRELM_NATIVE_FUNCTION

}  // namespace trelm::python::native
