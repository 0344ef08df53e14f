// PythonProgress: a loader's progress passed on to a Python callable.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <chrono>
#include <cstdint>

#include "base/progress.hpp"

namespace trelm::python::native {

// Calls progress(done, total) at most about ten times a second (the first
// report and the end always), taking the interpreter lock for the call on
// the loading thread, which holds a thread state and has released the lock.
// An exception from the callable stays pending and stops the load.
class PythonProgress final : public ProgressSink {
 public:
  explicit PythonProgress(PyObject* callable) noexcept : callable_(callable) {}

  bool advance(uint64_t done, uint64_t total) override;
  // With the lock held once the load is done: the report of the end, unless
  // it was made. False when the callable raised (now or before).
  bool finish();
  bool failed() const noexcept { return failed_; }

 private:
  bool call(uint64_t done, uint64_t total);

  PyObject* callable_;
  std::chrono::steady_clock::time_point last_{};
  bool reported_ = false;
  bool failed_ = false;
  uint64_t done_ = 0, total_ = 0;          // the last progress seen
  bool end_reported_ = false;               // done == total was passed on
};

}  // namespace trelm::python::native
