#include "python/native/progress.hpp"

#include "python/py_ref.hpp"

namespace trelm::python::native {

namespace {
constexpr std::chrono::milliseconds kInterval{100};
}

bool PythonProgress::call(uint64_t done, uint64_t total) {
  PyRef result(PyObject_CallFunction(callable_, "KK", static_cast<unsigned long long>(done),
                                     static_cast<unsigned long long>(total)));
  if (!result) failed_ = true;
  end_reported_ = !failed_ && done == total;
  return !failed_;
}

bool PythonProgress::advance(uint64_t done, uint64_t total) {
  if (failed_) return false;
  done_ = done;
  total_ = total;
  const auto now = std::chrono::steady_clock::now();
  if (reported_ && now - last_ < kInterval) {
    end_reported_ = false;
    return true;
  }
  reported_ = true;
  last_ = now;
  PyGILState_STATE state = PyGILState_Ensure();
  bool going_on = call(done, total);
  PyGILState_Release(state);
  return going_on;
}

bool PythonProgress::finish() {
  if (failed_) return false;
  if (end_reported_) return true;
  return call(total_ > done_ ? total_ : done_, total_ > done_ ? total_ : done_);
}

}  // namespace trelm::python::native
