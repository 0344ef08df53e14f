// The classes PyTrace and PyExpr as this extension module's code meets them.
// Both native modules compile the same code for the two classes' objects:
// trelm._core defines the classes, and trelm._native, which makes and reads
// objects of the same layout, takes them from trelm._core when it is
// imported. Each module defines module_classes() once.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace trelm::python {

struct ModuleClasses {
  PyTypeObject* trace = nullptr;
  PyTypeObject* expr = nullptr;
};

// Filled when the module is executed, before any of its functions runs.
const ModuleClasses& module_classes() noexcept;

}  // namespace trelm::python
