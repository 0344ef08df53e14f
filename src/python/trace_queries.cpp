// The methods that call the query engine: scope and name queries,
// expression evaluation and searches, change queries and statistics.
#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "eval/changes.hpp"
#include "eval/expr.hpp"
#include "eval/find.hpp"
#include "eval/find_stream.hpp"
#include "eval/find_values.hpp"
#include "eval/names/scope.hpp"
#include "eval/stats.hpp"
#include "python/args.hpp"
#include "python/convert.hpp"
#include "python/py_ref.hpp"
#include "python/trace_methods.hpp"
#include "python/trace_object.hpp"
#include "python/without_gil.hpp"

namespace trelm::python::trace_methods {
namespace {

// (first, old, new) with the two values converted.
template <class First>
PyObject* change_tuple(First first, const SignalValue& old_value, const SignalValue& new_value) {
  PyRef head;
  if constexpr (std::is_same_v<First, Index>) {
    head = PyRef(u64_to_py(first));
  } else {
    head = PyRef(text_to_py(first));
  }
  if (!head) return nullptr;
  PyRef old_py(value_to_py(old_value));
  if (!old_py) return nullptr;
  PyRef new_py(value_to_py(new_value));
  if (!new_py) return nullptr;
  return PyTuple_Pack(3, head.get(), old_py.get(), new_py.get());
}

// New references collected for a list whose length is not known yet;
// released if the list is never made.
class OwnedItems {
 public:
  OwnedItems() = default;
  OwnedItems(const OwnedItems&) = delete;
  OwnedItems& operator=(const OwnedItems&) = delete;
  ~OwnedItems() {
    for (PyObject* item : items_) Py_DECREF(item);
  }
  // Room for `more` items beyond those held, growing by doubling.
  void reserve(size_t more) {
    if (items_.size() + more > items_.capacity())
      items_.reserve(std::max(items_.size() + more, items_.capacity() * 2));
  }
  void push_back(PyObject* item) { items_.push_back(item); }
  PyObject* into_list() {
    PyObject* list = new_list(items_.size());
    if (list == nullptr) return nullptr;
    for (size_t i = 0; i < items_.size(); ++i) PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), items_[i]);
    items_.clear();
    return list;
  }

 private:
  std::vector<PyObject*> items_;
};

PyObject* change_list(const std::vector<ChangeRecord>& changes) {
  PyRef list(new_list(changes.size()));
  if (!list) return nullptr;
  for (size_t i = 0; i < changes.size(); ++i) {
    PyObject* item = change_tuple<std::string_view>(changes[i].name, changes[i].old_value, changes[i].new_value);
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

}  // namespace

PyObject* resolve(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg, TextArg>("PyTrace.resolve()", {"scope_name", "short_name"}, args, nargs,
                                                  kwnames);
  if (!parsed) return nullptr;
  auto [scope_name, short_name] = *parsed;
  std::optional<std::string> full = trelm::resolve(trace_of(self), scope_name, short_name);
  if (!full) Py_RETURN_NONE;
  return text_to_py(*full);
}

PyObject* local_signals(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg>("PyTrace.local_signals()", {"scope_name"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return text_list_to_py(trelm::local_signals(trace_of(self), std::get<0>(*parsed)));
}

PyObject* local_scopes(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg>("PyTrace.local_scopes()", {"scope_name"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return text_list_to_py(trelm::local_scopes(trace_of(self), std::get<0>(*parsed)));
}

PyObject* find(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<ExprArg>("PyTrace.find()", {"expr"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  const Trace& trace = trace_of(self);
  const Expr& expr = *std::get<0>(*parsed);
  // The ints are made while the scan goes on in its own thread.
  auto stream = without_gil([&] { return std::make_unique<FindStream>(trace, expr); });
  OwnedItems items;
  for (;;) {
    std::span<const Index> part = without_gil([&] { return stream->next(); });
    if (part.empty()) break;
    items.reserve(part.size());
    for (Index index : part) {
      PyObject* item = PyLong_FromUnsignedLongLong(index);
      if (item == nullptr) return nullptr;
      items.push_back(item);
    }
  }
  return items.into_list();
}

PyObject* parallel_find(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<ExprArg>("PyTrace.parallel_find()", {"expr"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  const Trace& trace = trace_of(self);
  const Expr& expr = *std::get<0>(*parsed);
  return index_list_to_py(without_gil([&] { return trelm::parallel_find(trace, expr); }));
}

PyObject* parallel_count(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<ExprArg>("PyTrace.parallel_count()", {"expr"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  const Trace& trace = trace_of(self);
  const Expr& expr = *std::get<0>(*parsed);
  return u64_to_py(without_gil([&] { return trelm::parallel_count(trace, expr); }));
}

PyObject* eval_expr(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed =
      parse_arguments<ExprArg, SizeArg>("PyTrace.eval_expr()", {"expr", "index"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [expr, index] = *parsed;
  return value_to_py(trelm::eval(trace_of(self), *expr, index));
}

PyObject* eval_expr_bool(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed =
      parse_arguments<ExprArg, SizeArg>("PyTrace.eval_expr_bool()", {"expr", "index"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [expr, index] = *parsed;
  return PyBool_FromLong(trelm::eval_bool(trace_of(self), *expr, index));
}

PyObject* changed_at(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<SizeArg>("PyTrace.changed_at()", {"index"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  const Trace& trace = trace_of(self);
  const Index index = std::get<0>(*parsed);
  return change_list(without_gil([&] { return trelm::changed_at(trace, index); }));
}

PyObject* changed_at_scope(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed =
      parse_arguments<SizeArg, TextArg>("PyTrace.changed_at_scope()", {"index", "scope"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [index, scope] = *parsed;
  const Trace& trace = trace_of(self);
  return change_list(without_gil([&] { return trelm::changed_at_scope(trace, index, scope); }));
}

PyObject* transitions(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg>("PyTrace.transitions()", {"name"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  const Trace& trace = trace_of(self);
  const auto& name = std::get<0>(*parsed);
  std::vector<TransitionRecord> records = without_gil([&] { return trelm::transitions(trace, name); });
  PyRef list(new_list(records.size()));
  if (!list) return nullptr;
  for (size_t i = 0; i < records.size(); ++i) {
    PyObject* item = change_tuple<Index>(records[i].index, records[i].old_value, records[i].new_value);
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

PyObject* find_signals_containing(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed =
      parse_arguments<TextArg>("PyTrace.find_signals_containing()", {"substring"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return text_list_to_py(trelm::find_signals_containing(trace_of(self), std::get<0>(*parsed)));
}

PyObject* find_signals_glob(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg>("PyTrace.find_signals_glob()", {"pattern"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return text_list_to_py(trelm::find_signals_glob(trace_of(self), std::get<0>(*parsed)));
}

PyObject* signal_stats(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg>("PyTrace.signal_stats()", {"name"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  const Trace& trace = trace_of(self);
  const auto& name = std::get<0>(*parsed);
  SignalStats stats = without_gil([&] { return compute_stats(trace, name); });
  return Py_BuildValue("(KKKKKKK)", static_cast<unsigned long long>(stats.min),
                       static_cast<unsigned long long>(stats.max), static_cast<unsigned long long>(stats.sum),
                       static_cast<unsigned long long>(stats.count),
                       static_cast<unsigned long long>(stats.transitions),
                       static_cast<unsigned long long>(stats.num_x), static_cast<unsigned long long>(stats.num_z));
}

PyObject* find_with_values(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<ExprArg, TextListArg>("PyTrace.find_with_values()", {"expr", "signal_names"},
                                                      args, nargs, kwnames);
  if (!parsed) return nullptr;
  const auto& [expr, names] = *parsed;
  const Trace& trace = trace_of(self);
  FindWithValues search = without_gil([&] { return FindWithValues(trace, *expr, names); });
  PyRef rows(new_list(search.matches().size()));
  if (!rows) return nullptr;
  Py_ssize_t row = 0;
  const bool done = search.for_each_row([&](Index index, std::span<const SignalValue* const> values) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return false;
    for (size_t k = 0; k < values.size(); ++k) {
      PyObject* value = value_to_py(*values[k]);
      if (value == nullptr) return false;
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k), value);
    }
    PyRef index_py(u64_to_py(index));
    if (!index_py) return false;
    PyObject* pair = PyTuple_Pack(2, index_py.get(), list.get());
    if (pair == nullptr) return false;
    PyList_SET_ITEM(rows.get(), row++, pair);
    return true;
  });
  return done ? rows.release() : nullptr;
}

}  // namespace trelm::python::trace_methods
