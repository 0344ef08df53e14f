// load and loads: read a dump with the front door's options, without the
// interpreter lock, and describe it.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "python/args.hpp"
#include "python/classes.hpp"
#include "python/convert.hpp"
#include "python/native/functions.hpp"
#include "python/native/loaders.hpp"
#include "python/native/progress.hpp"
#include "python/py_ref.hpp"
#include "python/trace_object.hpp"
#include "python/without_gil.hpp"

namespace trelm::python::native {

namespace {

PyObject* timescale_to_py(const std::optional<Timescale>& timescale) {
  if (!timescale) Py_RETURN_NONE;
  PyRef magnitude(PyLong_FromUnsignedLongLong(timescale->magnitude));
  PyRef unit(text_to_py(timescale->unit));
  if (!magnitude || !unit) return nullptr;
  return PyTuple_Pack(2, magnitude.get(), unit.get());
}

// [(name, id, width, kind, var_type), ...] for the listed names with an id.
PyObject* signals_to_py(const Trace& trace, const DumpInfo& info) {
  const std::vector<std::string>& names = trace.signal_names();
  PyRef list(PyList_New(0));
  if (!list) return nullptr;
  for (size_t k = 0; k < names.size(); ++k) {
    auto id = trace.signal_id(names[k]);
    if (!id) continue;
    const SignalDeclaration declaration = k < info.declarations.size() ? info.declarations[k] : SignalDeclaration{};
    PyRef name(text_to_py(names[k]));
    PyRef id_py(PyLong_FromUnsignedLongLong(*id));
    PyRef width(PyLong_FromUnsignedLongLong(trace.signal_width(names[k])));
    PyRef kind(PyUnicode_FromString(signal_kind_name(declaration.kind)));
    PyRef var_type(text_to_py(declaration.var_type));
    if (!name || !id_py || !width || !kind || !var_type) return nullptr;
    PyRef item(PyTuple_Pack(5, name.get(), id_py.get(), width.get(), kind.get(), var_type.get()));
    if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}

// (trace, {"timescale": ..., "signals": [...]}).
PyObject* loaded_to_py(LoadedDump dump) {
  PyRef info(PyDict_New());
  if (!info) return nullptr;
  PyRef timescale(timescale_to_py(dump.info.timescale));
  PyRef signals(signals_to_py(*dump.trace, dump.info));
  if (!timescale || !signals || PyDict_SetItemString(info.get(), "timescale", timescale.get()) < 0 ||
      PyDict_SetItemString(info.get(), "signals", signals.get()) < 0)
    return nullptr;
  PyRef trace(wrap_trace(module_classes().trace, std::shared_ptr<const Trace>(std::move(dump.trace))));
  if (!trace) return nullptr;
  return PyTuple_Pack(2, trace.get(), info.get());
}

PyObject* raise_load_error(const std::string& text) {
  PyRef message(text_to_py(text));
  if (message) PyErr_SetObject(PyExc_ValueError, message.get());
  return nullptr;
}

}  // namespace

PyObject* load(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<OwnedTextArg, TextArg, OptionalArg<TextListArg>, OptionalArg<CallableArg>>(
      "load()", {"path", "format", "signals", "progress"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto& [path, format_name, signals, callable] = *parsed;
  std::optional<DumpFormat> format = parse_format(format_name);
  if (!format) {
    PyErr_Format(PyExc_ValueError, "unknown format '%s': one of vcd, vcd.gz, fst, fsdb, wlf, shm, vpd",
                 std::string(format_name).c_str());
    return nullptr;
  }
  LoadOptions options;
  options.exact = true;
  if (signals) {
    options.filter = true;
    options.signals = std::move(*signals);
  }
  std::optional<PythonProgress> progress;
  if (callable) options.progress = &progress.emplace(*callable);

  Result<LoadedDump> loaded = without_gil([&] { return load_dump(path, *format, options); });
  if (progress && progress->failed()) return nullptr;
  if (!loaded.ok()) return raise_load_error(loaded.error());
  if (progress && !progress->finish()) return nullptr;
  return loaded_to_py(std::move(loaded).value());
}

PyObject* loads(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg, OptionalArg<TextListArg>>("loads()", {"text", "signals"}, args, nargs,
                                                                   kwnames);
  if (!parsed) return nullptr;
  auto& [text, signals] = *parsed;
  LoadOptions options;
  options.exact = true;
  if (signals) {
    options.filter = true;
    options.signals = std::move(*signals);
  }
  Result<LoadedDump> loaded = without_gil([&] { return load_vcd_text(text, options); });
  if (!loaded.ok()) return raise_load_error(loaded.error());
  return loaded_to_py(std::move(loaded).value());
}

}  // namespace trelm::python::native
