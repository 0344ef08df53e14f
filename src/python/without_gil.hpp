// Runs C++ work with the GIL released, so that other Python threads go on
// while a query scans a trace (traces and expressions never change, and the
// work touches no Python object). The GIL is taken back however the work
// ends, an exception included, before the method boundary turns it into a
// Python error.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace trelm::python {

template <class Work>
auto without_gil(Work&& work) -> decltype(work()) {
  struct Retake {
    PyThreadState* state;
    ~Retake() { PyEval_RestoreThread(state); }
  } retake{PyEval_SaveThread()};
  return work();
}

}  // namespace trelm::python
