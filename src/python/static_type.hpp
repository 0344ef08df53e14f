// Shared set-up of the two statically allocated classes.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace trelm::python {

// Fills the object header of a zero-initialised static type object (the
// interpreter's own initialiser, which differs between versions) and the
// fields both classes share: no constructor, no subclassing (no
// Py_TPFLAGS_BASETYPE), no docstring, no attributes beyond the methods.
inline void prepare_static_type(PyTypeObject& type, const char* name, Py_ssize_t basic_size, destructor dealloc,
                                PyMethodDef* methods) {
  struct Header {
    PyVarObject base;
  };
  static const Header header = {PyVarObject_HEAD_INIT(nullptr, 0)};
  type.ob_base = header.base;
  type.tp_name = name;
  type.tp_basicsize = basic_size;
  type.tp_dealloc = dealloc;
  type.tp_flags = Py_TPFLAGS_DEFAULT;
#ifdef Py_TPFLAGS_DISALLOW_INSTANTIATION
  type.tp_flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
#endif
#ifdef Py_TPFLAGS_IMMUTABLETYPE
  type.tp_flags |= Py_TPFLAGS_IMMUTABLETYPE;
#endif
  type.tp_methods = methods;
  type.tp_new = nullptr;
}

}  // namespace trelm::python
