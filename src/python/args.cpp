#include "python/args.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "python/classes.hpp"
#include "python/expr_object.hpp"
#include "python/py_ref.hpp"

namespace trelm::python {
namespace {

// Position of the parameter named by a keyword, or -1.
Py_ssize_t keyword_position(PyObject* keyword, std::span<const char* const> params) {
  if (!PyUnicode_Check(keyword)) return -1;
  Py_ssize_t length = 0;
  const char* text = PyUnicode_AsUTF8AndSize(keyword, &length);
  if (text == nullptr) {
    PyErr_Clear();  // not encodable, so it names no parameter
    return -1;
  }
  for (size_t i = 0; i < params.size(); ++i) {
    if (std::strlen(params[i]) == static_cast<size_t>(length) && std::memcmp(params[i], text, length) == 0)
      return static_cast<Py_ssize_t>(i);
  }
  return -1;
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_name_list(const std::vector<const char*>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i != 0) {
      if (names.size() > 2) out += ',';
      out += i + 1 == names.size() ? " and " : " ";
    }
    out += '\'';
    out += names[i];
    out += '\'';
  }
  return out;
}

// The name Python shows for the object's type.
PyRef type_name(PyObject* object) {
  PyRef name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  if (!name || !PyUnicode_Check(name.get())) {
    PyErr_Clear();
    name = PyRef(PyUnicode_FromString(Py_TYPE(object)->tp_name));
  }
  return name;
}

bool cannot_convert(PyObject* object, const char* param, const char* target) {
  PyRef name = type_name(object);
  if (!name) return false;
  PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object cannot be converted to '%s'", param, name.get(),
               target);
  return false;
}

// Takes the pending exception as one normalised instance.
PyRef take_exception() {
#if PY_VERSION_HEX >= 0x030C0000
  return PyRef(PyErr_GetRaisedException());
#else
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return PyRef(value);
#endif
}

void restore_exception(PyRef error) {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(error.release());
#else
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(error.get()));
  Py_INCREF(type);
  PyObject* traceback = PyException_GetTraceback(error.get());
  PyErr_Restore(type, error.release(), traceback);
#endif
}

// A pending TypeError gets the argument prefix (keeping its cause); any other
// pending exception, a subclass of TypeError included, stays as it is.
bool report_conversion_error(const char* param) {
  if (!PyErr_Occurred() || !PyErr_ExceptionMatches(PyExc_TypeError)) return false;
  PyRef error = take_exception();
  if (!error) return false;
  if (Py_TYPE(error.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
    restore_exception(std::move(error));
    return false;
  }
  PyRef reason(PyObject_Str(error.get()));
  if (!reason) return false;
  PyRef message(PyUnicode_FromFormat("argument '%s': %U", param, reason.get()));
  if (!message) return false;
  PyRef replacement(PyObject_CallOneArg(PyExc_TypeError, message.get()));
  if (!replacement) return false;
  PyRef cause(PyException_GetCause(error.get()));
  if (cause) PyException_SetCause(replacement.get(), cause.release());
  PyErr_SetObject(PyExc_TypeError, replacement.get());
  return false;
}

bool utf8_view(PyObject* object, const char* param, std::string_view& out) {
  if (!PyUnicode_Check(object)) return cannot_convert(object, param, "PyString");
  Py_ssize_t length = 0;
  const char* text = PyUnicode_AsUTF8AndSize(object, &length);
  if (text == nullptr) return report_conversion_error(param);
  out = std::string_view(text, static_cast<size_t>(length));
  return true;
}

// The int an object stands for, through __index__ where it is not an int.
PyRef as_int(PyObject* object) {
  if (PyLong_Check(object)) return PyRef::borrow(object);
  return PyRef(PyNumber_Index(object));
}

}  // namespace

bool bind_arguments(const char* method, std::span<const char* const> params, size_t required, PyObject* const* args,
                    Py_ssize_t nargs, PyObject* kwnames, PyObject** bound) {
  const size_t count = params.size();
  std::fill(bound, bound + count, nullptr);
  if (nargs < 0 || static_cast<size_t>(nargs) > count) {
    if (required < count)
      PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given", method, required,
                   count, nargs, nargs == 1 ? "was" : "were");
    else
      PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given", method, count, nargs,
                   nargs == 1 ? "was" : "were");
    return false;
  }
  std::copy(args, args + nargs, bound);
  if (kwnames != nullptr) {
    const Py_ssize_t keywords = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < keywords; ++k) {
      PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
      Py_ssize_t position = keyword_position(keyword, params);
      if (position < 0) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", method, keyword);
        return false;
      }
      if (bound[position] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", method, params[position]);
        return false;
      }
      bound[position] = args[nargs + k];
    }
  }
  std::vector<const char*> missing;
  for (size_t i = 0; i < required; ++i)
    if (bound[i] == nullptr) missing.push_back(params[i]);
  if (!missing.empty()) {
    std::string names = quoted_name_list(missing);
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", method, missing.size(),
                 missing.size() == 1 ? "argument" : "arguments", names.c_str());
    return false;
  }
  return true;
}

bool TextArg::convert(PyObject* object, const char* param, Value& out) { return utf8_view(object, param, out); }

bool OwnedTextArg::convert(PyObject* object, const char* param, Value& out) {
  std::string_view text;
  if (!utf8_view(object, param, text)) return false;
  out.assign(text.data(), text.size());
  return true;
}

bool U64Arg::convert(PyObject* object, const char* param, Value& out) {
  PyRef number = as_int(object);
  if (!number) return report_conversion_error(param);
  unsigned long long value = PyLong_AsUnsignedLongLong(number.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return report_conversion_error(param);
  out = value;
  return true;
}

bool SizeArg::convert(PyObject* object, const char* param, Value& out) {
  if constexpr (sizeof(size_t) == sizeof(unsigned long long)) {
    return U64Arg::convert(object, param, out);
  } else {
    PyRef number = as_int(object);
    if (!number) return report_conversion_error(param);
    size_t value = PyLong_AsSize_t(number.get());
    if (value == static_cast<size_t>(-1) && PyErr_Occurred()) return report_conversion_error(param);
    out = value;
    return true;
  }
}

bool I64Arg::convert(PyObject* object, const char* param, Value& out) {
  PyRef number = as_int(object);
  if (!number) return report_conversion_error(param);
  long long value = PyLong_AsLongLong(number.get());
  if (value == -1 && PyErr_Occurred()) return report_conversion_error(param);
  out = value;
  return true;
}

bool FloatArg::convert(PyObject* object, const char* param, Value& out) {
  double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) return report_conversion_error(param);
  out = value;
  return true;
}

bool ExprArg::convert(PyObject* object, const char* param, Value& out) {
  if (!is_expr_object(module_classes().expr, object)) return cannot_convert(object, param, "PyExpr");
  out = &expr_of(object);
  return true;
}

bool BoolArg::convert(PyObject* object, const char* param, Value& out) {
  if (!PyBool_Check(object)) return cannot_convert(object, param, "bool");
  out = object == Py_True;
  return true;
}

bool TraceArg::convert(PyObject* object, const char* param, Value& out) {
  if (!PyObject_TypeCheck(object, module_classes().trace)) return cannot_convert(object, param, "PyTrace");
  out = object;
  return true;
}

bool CallableArg::convert(PyObject* object, const char* param, Value& out) {
  if (!PyCallable_Check(object)) {
    PyRef name = type_name(object);
    if (name) PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object is not callable", param, name.get());
    return false;
  }
  out = object;
  return true;
}

bool TextListArg::convert(PyObject* object, const char* param, Value& out) {
  if (PyUnicode_Check(object)) {
    PyErr_Format(PyExc_TypeError, "argument '%s': Can't extract `str` to `Vec`", param);
    return false;
  }
  if (!PySequence_Check(object)) return cannot_convert(object, param, "Sequence");
  // The claimed length only sizes the first allocation, and is capped: a
  // sequence may claim more items than it yields.
  Py_ssize_t claimed = PySequence_Size(object);
  if (claimed < 0) PyErr_Clear();
  out.clear();
  out.reserve(static_cast<size_t>(std::clamp<Py_ssize_t>(claimed, 0, 4096)));
  PyRef iterator(PyObject_GetIter(object));
  if (!iterator) return report_conversion_error(param);
  while (PyRef item{PyIter_Next(iterator.get())}) {
    std::string_view text;
    if (!utf8_view(item.get(), param, text)) return false;
    out.emplace_back(text);
  }
  if (PyErr_Occurred()) return report_conversion_error(param);
  return true;
}

}  // namespace trelm::python
