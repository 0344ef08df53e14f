// PyExpr: the Python class holding one expression tree by value.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "eval/expr.hpp"

namespace trelm::python {

// The class object, ready for use (PyType_Ready done), or nullptr with an
// exception set.
PyTypeObject* expr_type();

// Whether the object is an instance of `type` (trelm._core's PyExpr).
bool is_expr_object(PyTypeObject* type, PyObject* object) noexcept;
// The tree held by a PyExpr instance (is_expr_object must hold).
const Expr& expr_of(PyObject* object) noexcept;

}  // namespace trelm::python
