// The seven static loaders: convert the one argument, call exactly one
// reader, and raise its error text unchanged as ValueError.
#include <memory>
#include <string>
#include <utility>

#include "python/args.hpp"
#include "python/classes.hpp"
#include "python/convert.hpp"
#include "python/py_ref.hpp"
#include "python/trace_methods.hpp"
#include "python/trace_object.hpp"
#include "formats/scan/fsdb.hpp"
#include "formats/fst/fst.hpp"
#include "formats/scan/shm.hpp"
#include "formats/vcd/vcd.hpp"
#include "formats/scan/vpd.hpp"
#include "formats/scan/wlf.hpp"

namespace trelm::python::trace_methods {
namespace {

PyObject* raise_reader_error(const std::string& text) {
  PyRef message(text_to_py(text));
  if (message) PyErr_SetObject(PyExc_ValueError, message.get());
  return nullptr;
}

// The path is passed exactly as given, embedded NUL characters included: the
// readers refuse such a path like any file that cannot be opened.
template <class TraceType>
PyObject* load_file(const char* method, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<OwnedTextArg>(method, {"path"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto loaded = TraceType::from_file(std::get<0>(*parsed));
  if (!loaded.ok()) return raise_reader_error(loaded.error());
  return wrap_trace(module_classes().trace, std::shared_ptr<const Trace>(std::move(loaded).value()));
}

}  // namespace

PyObject* from_vcd(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return load_file<VcdTrace>("PyTrace.from_vcd()", args, nargs, kwnames);
}

PyObject* from_vcd_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg>("PyTrace.from_vcd_string()", {"data"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return wrap_trace(module_classes().trace, std::shared_ptr<const Trace>(VcdTrace::parse(std::get<0>(*parsed))));
}

PyObject* from_fst(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return load_file<FstTrace>("PyTrace.from_fst()", args, nargs, kwnames);
}

PyObject* from_fsdb(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return load_file<FsdbTrace>("PyTrace.from_fsdb()", args, nargs, kwnames);
}

PyObject* from_shm(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return load_file<ShmTrace>("PyTrace.from_shm()", args, nargs, kwnames);
}

PyObject* from_vpd(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return load_file<VpdTrace>("PyTrace.from_vpd()", args, nargs, kwnames);
}

PyObject* from_wlf(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return load_file<WlfTrace>("PyTrace.from_wlf()", args, nargs, kwnames);
}

}  // namespace trelm::python::trace_methods
