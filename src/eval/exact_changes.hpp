// The front door's change list at one index: the signals whose exact value
// differs from the index before.
#pragma once

#include <vector>

#include "trace/trace.hpp"

namespace trelm {

// Positions in signal_names (ascending) of the names with an id whose exact
// value at `index` differs from the one at index - 1; none at index 0.
std::vector<size_t> exact_changes_at(const Trace& trace, Index index);

}  // namespace trelm
