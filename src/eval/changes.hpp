// Change queries: which signals change at an index, and every change of one
// signal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "trace/trace.hpp"

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

// Signals whose value at index differs from index - 1, in signal_names order.
std::vector<ChangeRecord> changed_at(const Trace& trace, Index index);
// The same, for names beginning with scope + ".".
std::vector<ChangeRecord> changed_at_scope(const Trace& trace, Index index, std::string_view scope);
// Every change of one signal after index 0.
std::vector<TransitionRecord> transitions(const Trace& trace, std::string_view name);

}  // namespace trelm
