// The extension module trelm._native: the front door's loading with options
// and its exact reads. Its traces are trelm._core.PyTrace objects, made and
// read with the same object code as trelm._core's own (the module takes the
// PyTrace and PyExpr classes from trelm._core when it is executed).
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "python/boundary.hpp"
#include "python/classes.hpp"
#include "python/native/functions.hpp"

namespace trelm::python {
namespace {

ModuleClasses classes;

// A class of trelm._core by name, as a new reference.
PyTypeObject* core_class(PyObject* core, const char* name) {
  PyObject* found = PyObject_GetAttrString(core, name);
  if (found == nullptr) return nullptr;
  if (!PyType_Check(found)) {
    Py_DECREF(found);
    PyErr_Format(PyExc_ImportError, "trelm._core.%s is not a class", name);
    return nullptr;
  }
  return reinterpret_cast<PyTypeObject*>(found);
}

int exec_module(PyObject*) {
  if (classes.trace != nullptr) return 0;  // the classes outlive every module object
  PyObject* core = PyImport_ImportModule("trelm._core");
  if (core == nullptr) return -1;
  PyTypeObject* trace = core_class(core, "PyTrace");
  PyTypeObject* expr = trace ? core_class(core, "PyExpr") : nullptr;
  Py_DECREF(core);
  if (expr == nullptr) {
    Py_XDECREF(trace);
    return -1;
  }
  classes = ModuleClasses{trace, expr};
  return 0;
}

namespace n = native;

PyMethodDef functions[] = {
    TRELM_METHOD("load", n::load, 0,
                 "load(path, format, signals=None, progress=None)\n--\n\n"
                 "Load the dump at `path` in `format` (vcd, vcd.gz, fst, fsdb, wlf, shm, vpd)\n"
                 "with the front door's names and exact values. `signals`, a sequence of glob\n"
                 "patterns (* any run, ? one character), keeps only the signals whose full name\n"
                 "matches one. `progress(done, total)` is called with the bytes read, about ten\n"
                 "times a second and once at the end; an exception from it stops the load.\n"
                 "Returns (trace, {'timescale': (magnitude, unit) or None,\n"
                 "'signals': [(name, id, width, kind, var_type), ...]}).\n"
                 "A reader's failure raises ValueError with its text."),
    TRELM_METHOD("loads", n::loads, 0,
                 "loads(text, signals=None)\n--\n\n"
                 "The same as load for VCD text held in memory."),
    TRELM_METHOD("times", n::times, 0,
                 "times(trace)\n--\n\n"
                 "The time of every sample index, as a bytearray of native uint64 words."),
    TRELM_METHOD("value_at", n::value_at, 0,
                 "value_at(trace, id, width, index)\n--\n\n"
                 "The exact value of signal `id` (declared `width` bits) at `index`: int, str,\n"
                 "float, or None past the end or where it has no value."),
    TRELM_METHOD("changes", n::changes, 0,
                 "changes(trace, id, width, layout)\n--\n\n"
                 "Every index where the exact value of signal `id` differs from the index before\n"
                 "(the first with a value included), with the values there, as\n"
                 "(indices, values, known). layout 'u64': three bytearrays of uint64 indices,\n"
                 "uint64 bits and one 0/1 byte per change (0 where a digit is not 0 or 1);\n"
                 "'f64': float64 values, NaN for no value, known None; 'object': a list of exact\n"
                 "values, known None."),
    TRELM_METHOD("values", n::values, 0,
                 "values(trace, id, width, layout, start, stop)\n--\n\n"
                 "The exact value at every index of [start, stop) in the layouts of changes(),\n"
                 "as (values, known)."),
    TRELM_METHOD("snapshot", n::snapshot, 0,
                 "snapshot(trace, index)\n--\n\n"
                 "Every signal's exact value at `index`, by full name in dump order."),
    TRELM_METHOD("changes_at", n::changes_at, 0,
                 "changes_at(trace, index)\n--\n\n"
                 "The signals whose exact value at `index` differs from the one at index - 1,\n"
                 "as [(name, old, new), ...] in dump order; empty at index 0."),
    TRELM_METHOD("find", n::find, 0,
                 "find(trace, expr, parallel)\n--\n\n"
                 "The indices where `expr` holds, as a bytearray of uint64 words; on the worker\n"
                 "pool when `parallel`."),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_native",
    "The front door's native functions: loading with options and exact reads.",
    0,
    functions,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

const ModuleClasses& module_classes() noexcept { return classes; }

}  // namespace trelm::python

PyMODINIT_FUNC PyInit__native(void) { return PyModuleDef_Init(&trelm::python::module_def); }
