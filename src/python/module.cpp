// The extension module trelm._core: multi-phase initialisation whose one
// execution step adds the classes PyTrace and PyExpr.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "python/classes.hpp"
#include "python/expr_object.hpp"
#include "python/trace_object.hpp"

namespace trelm::python {
namespace {

ModuleClasses classes;

int add_class(PyObject* module, PyTypeObject* type) {
  if (type == nullptr) return -1;
  return PyModule_AddType(module, type);
}

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "trelm._core can only be executed on a module object");
    return -1;
  }
  if (add_class(module, trace_type()) < 0) return -1;
  if (add_class(module, expr_type()) < 0) return -1;
  classes = ModuleClasses{trace_type(), expr_type()};
  return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_core",   // m_name
    "",        // m_doc
    0,         // m_size: no per-module state
    nullptr,   // m_methods
    module_slots,
    nullptr,  // m_traverse
    nullptr,  // m_clear
    nullptr,  // m_free
};

}  // namespace

const ModuleClasses& module_classes() noexcept { return classes; }

}  // namespace trelm::python

PyMODINIT_FUNC PyInit__core(void) { return PyModuleDef_Init(&trelm::python::module_def); }
