// Per-signal statistics over the whole trace.
#pragma once

#include <cstdint>
#include <string_view>

#include "trace/trace.hpp"

namespace trelm {

struct SignalStats {
  uint64_t min = 0;
  uint64_t max = 0;
  uint64_t sum = 0;
  uint64_t count = 0;
  uint64_t transitions = 0;
  uint64_t num_x = 0;
  uint64_t num_z = 0;
};

SignalStats compute_stats(const Trace& trace, std::string_view name);

}  // namespace trelm
