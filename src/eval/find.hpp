// Whole-trace searches and change queries.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "eval/expr.hpp"

namespace trelm {

struct ChangeRecord {
  std::string name;
  SignalValue old_value;
  SignalValue new_value;
};

struct TransitionRecord {
  Index index;
  SignalValue old_value;
  SignalValue new_value;
};

// Every index in 0..max_index where the expression is true, ascending.
std::vector<Index> find(const Trace& trace, const Expr& expr);
// The same list, computed on the worker pool.
std::vector<Index> parallel_find(const Trace& trace, const Expr& expr);
// The length of that list, computed on the worker pool.
uint64_t parallel_count(const Trace& trace, const Expr& expr);

// Signals whose value at index differs from index - 1, in signal_names order.
std::vector<ChangeRecord> changed_at(const Trace& trace, Index index);
// The same, for names beginning with scope + ".".
std::vector<ChangeRecord> changed_at_scope(const Trace& trace, Index index, std::string_view scope);
// Every change of one signal after index 0.
std::vector<TransitionRecord> transitions(const Trace& trace, std::string_view name);

}  // namespace trelm
