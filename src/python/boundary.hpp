// The boundary between Python and C++: every method body runs inside it, so
// that no C++ exception reaches the interpreter. Allocation failures become
// MemoryError; anything else (which would be a defect) becomes SystemError.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <stdexcept>

namespace trelm::python {

using FastcallBody = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

template <FastcallBody Body>
PyObject* guarded(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  try {
    return Body(self, args, nargs, kwnames);
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::length_error&) {
    return PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_Format(PyExc_SystemError, "internal error: %s", error.what());
    return nullptr;
  } catch (...) {
    PyErr_SetString(PyExc_SystemError, "internal error: unknown C++ exception");
    return nullptr;
  }
}

// A method table entry for a fast-call method with keywords.
#define TRELM_METHOD(name, body, extra_flags, doc)                                                 \
  {                                                                                                \
    name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(&::trelm::python::guarded<body>)), \
        METH_FASTCALL | METH_KEYWORDS | (extra_flags), doc                                         \
  }

}  // namespace trelm::python
