// The signals a snapshot of a whole trace lists.
#pragma once

#include <string_view>
#include <vector>

#include "trace/trace.hpp"

namespace trelm {

struct NamedSignal {
  std::string_view name;  // into the trace's signal_names
  SignalId id;
};

// Every name of signal_names that has an id, in that order, a name listed
// more than once at its first place only.
std::vector<NamedSignal> snapshot_signals(const Trace& trace);

}  // namespace trelm
