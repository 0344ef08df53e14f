// PyRef: one owned reference to a Python object, released on scope exit, so
// that no reference leaks when a C++ exception unwinds a method body.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace trelm::python {

class PyRef {
 public:
  PyRef() noexcept = default;
  // Takes over a new reference (which may be null after a failed call).
  explicit PyRef(PyObject* owned) noexcept : object_(owned) {}
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(object_);
      object_ = other.object_;
      other.object_ = nullptr;
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(object_); }

  static PyRef borrow(PyObject* borrowed) noexcept {
    Py_XINCREF(borrowed);
    return PyRef(borrowed);
  }

  PyObject* get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  // Hands the reference to the caller.
  PyObject* release() noexcept {
    PyObject* out = object_;
    object_ = nullptr;
    return out;
  }

 private:
  PyObject* object_ = nullptr;
};

}  // namespace trelm::python
